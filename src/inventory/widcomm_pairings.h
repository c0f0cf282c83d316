// The WIDCOMM pass: which Bluetooth ports are bound to a paired device.
#pragma once

class CPortTestDlg;

// `logSink` may be null; the pass then writes nothing.
void ScanWidcommPairings(CPortTestDlg* logSink);
