// The single entry into the inventory: detect the Bluetooth stack, empty the
// port table, and run the passes that suit the running Windows version.
#pragma once

#include <cstdint>

class CLogSink;

enum class BluetoothStackKind : int32_t {
    None = 0,
    Widcomm = 1,  // "SOFTWARE\WIDCOMM\btConfig\AutoConnect" exists
    Socket = 2,   // no WIDCOMM key, but "SOFTWARE\Socket Communications" exists
};

// The stack the last discovery found; read by the WIDCOMM pass.
extern BluetoothStackKind BluetoothStack;

// `logSink` receives the driver's and the passes' lines; it must not be null.
void DiscoverPorts(CLogSink* logSink);
