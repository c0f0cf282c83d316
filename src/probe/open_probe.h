// Whether a port can be opened right now.
#pragma once

#include <cstdint>

// For slot `index` (port number - 1): 1 if the port opened, 0 if it didn't or
// the slot is absent or out of range; a Bluetooth slot answers its
// `available` flag without being opened.
int32_t ProbePort(uint32_t index);
