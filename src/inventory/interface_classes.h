// The Setup-API pass over the serial-port device interfaces.
#pragma once

// 1 when neither interface enumeration was abandoned, otherwise the result of
// the full device registry walk.
int ScanInterfaceClasses();
