// The pass over the print spooler's port list.
#pragma once

// 1 after a spooler listing, otherwise the result of the registry walk of ENUM.
int ScanSpoolerPorts();
