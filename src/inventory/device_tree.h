// The device registry scan: the full walk of a device tree, and the read of
// one device instance.
#pragma once

// 1 when the walk of the tree below `rootPath` (under the local-machine root)
// reached its end, 0 when it stopped on an error.
int ScanDeviceTree(const char* rootPath);

// 1 when the port name of the instance at `instancePath` was read, else 0.
int ReadDeviceInstance(const char* instancePath);
