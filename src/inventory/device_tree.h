// The device registry scan: the full walk of a device tree, the read of one
// device instance, and the two registry routines both use.
#pragma once

#include "platform/platform.h"

class CHeapBlock;
class CRegistryKey;

// 1 when the walk of the tree below `rootPath` (under the local-machine root)
// reached its end, 0 when it stopped on an error.
int ScanDeviceTree(const char* rootPath);

// 1 when the port name of the instance at `instancePath` was read, else 0.
// When the heap refuses a block the read needs, it records nothing and raises
// the framework's out-of-memory exception, for its caller to give up on what
// it was enumerating.
int ReadDeviceInstance(const char* instancePath);

// Reads the value `valueName` of `key` into `buffer`, re-allocating it until
// the value fits. On success the buffer holds the value as text, terminated
// within the block. Returns the registry's status, or ERROR_NOT_ENOUGH_MEMORY
// with `buffer` empty when the heap refuses.
LSTATUS QueryValueGrow(HKEY key, const char* valueName, CHeapBlock& buffer);

// Opens the subkey at `index` of `parent` with `access` into `outKey`; the
// status of the open, or of the enumeration when that failed.
LSTATUS OpenSubkeyAt(HKEY parent, DWORD index, REGSAM access, CRegistryKey& outKey);
