// The single entry into the inventory: detect the Bluetooth stack, empty the
// port table, and run the passes that suit the running Windows version.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class CLogSink;

enum class BluetoothStackKind : int32_t {
    None = 0,
    Widcomm = 1,  // "SOFTWARE\WIDCOMM\btConfig\AutoConnect" exists
    Socket = 2,   // no WIDCOMM key, but "SOFTWARE\Socket Communications" exists
};

// The stack the last discovery found; read by the WIDCOMM pass.
extern BluetoothStackKind BluetoothStack;

// The registry view in which the last discovery found the WIDCOMM stack's
// key: KEY_WOW64_64KEY when this 32-bit program runs on 64-bit Windows and
// the key is in the 64-bit view, otherwise 0, the default view. Every read
// of the WIDCOMM pass uses it, so one run never mixes the two views.
extern REGSAM WidcommRegistryView;

// `logSink` receives the driver's and the passes' lines; it must not be null.
void DiscoverPorts(CLogSink* logSink);
