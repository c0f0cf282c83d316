// Reads of registry values named by one backslash-separated path below a root
// key, opening and closing every key on the way, each in the registry view
// the reader was made for.
#pragma once

#include "platform/platform.h"

// What the registry is asked to fill in a string read.
constexpr DWORD kRegistryStringCapacity = 256;

// The result of every string read. The byte beyond the capacity is never
// handed to the registry and stays NUL, so the text is always terminated.
extern char RegistryStringBuffer[kRegistryStringCapacity + 1];

class CRegistryPathReader {
public:
    // `view` is KEY_WOW64_64KEY to read 64-bit Windows' own view of every key
    // opened, or 0 for the view Windows gives this program; any other flag is
    // dropped. A key that is not in that view is not there.
    explicit CRegistryPathReader(REGSAM view = 0) : view_(view & KEY_WOW64_64KEY) {}
    ~CRegistryPathReader();
    CRegistryPathReader(const CRegistryPathReader&) = delete;
    CRegistryPathReader& operator=(const CRegistryPathReader&) = delete;

    // The value at `path` below `*root` (HKEY_CLASSES_ROOT when `root` is
    // null) as text in RegistryStringBuffer, or null. A missing value is
    // looked for as the default value of a subkey of the same name.
    const char* QueryStringByPath(const HKEY* root, const char* path);
    // Reads the value at `path` into `data`, whose capacity `*size` holds; 1
    // when the value exists, even if larger than `data`, and `*size` then holds
    // its stored size; 0 otherwise.
    int QueryBinaryByPath(const HKEY* root, const char* path, BYTE* data, DWORD* size);

    // Closed on destruction unless it is still HKEY_CLASSES_ROOT.
    HKEY heldKey = HKEY_CLASSES_ROOT;

private:
    REGSAM view_;
};
