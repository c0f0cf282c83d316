// The WIDCOMM pass: which Bluetooth ports are bound to a paired device.
#pragma once

class CLogSink;

// `logSink` may be null; the pass then writes nothing.
void ScanWidcommPairings(CLogSink* logSink);
