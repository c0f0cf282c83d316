// The Setup-API pass over the serial-port device interfaces.
#pragma once

#include <cstddef>

class CString;

// 1 when setupapi.dll and its four functions were found and neither
// interface enumeration was abandoned (after the SERIALCOMM pass), otherwise
// the result of the full device registry walk.
int ScanInterfaceClasses();

// Turns a device path such as '\\?\acpi#pnp0501#1#{...}' into the registry
// path of its device instance, 'SYSTEM\CURRENTCONTROLSET\ENUM\acpi\pnp0501\1'.
// `devicePath` is read no further than `capacity` bytes. False, and the path
// left alone, for a path not terminated within them or shorter than the three
// characters the conversion drops.
bool InstancePathFromDevicePath(const char* devicePath, std::size_t capacity,
                                CString& instancePath);
