// Direct access to the simulated registry's contents, bypassing handles, access
// rights and fault injection: what a machine profile uses to set up a machine.
#pragma once

#include <string>
#include <vector>

#include "sim/win32.h"

namespace sim::registry_store {

// `root` is one of the predefined keys; `path` is backslash-separated and may
// be empty for the root itself. Missing keys on the way are created.
void CreateKeyPath(HKEY root, const std::string& path);
void DeleteKeyTree(HKEY root, const std::string& path);

// Stores the bytes exactly as given, with no terminator added.
void StoreValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::vector<BYTE>& data);
void DeleteValue(HKEY root, const std::string& path, const std::string& name);

// Reading, for the parts of the simulated Windows that keep their data in the
// registry (the Setup API's device interfaces). None of these counts as an API
// call or can be made to fail.
bool KeyExists(HKEY root, const std::string& path);
// The subkeys' names in the order RegEnumKeyExA gives them; none for a missing key.
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);
// False when the key or the value is missing.
bool ReadValue(HKEY root, const std::string& path, const std::string& name, DWORD* type,
               std::vector<BYTE>* data);

}  // namespace sim::registry_store
