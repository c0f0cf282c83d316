// An open registry key that closes itself.
#pragma once

#include "platform/platform.h"

class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens `subKey` of `parent` with `access`; the registry's status.
    LSTATUS Open(HKEY parent, const char* subKey, REGSAM access) {
        Close();
        HKEY opened = nullptr;
        const LSTATUS status = RegOpenKeyExA(parent, subKey, 0, access, &opened);
        if (status == ERROR_SUCCESS) {
            key_ = opened;
        }
        return status;
    }
    // Opens like Open, but where a 32-bit program runs on 64-bit Windows, looks
    // in the 64-bit view of HKEY_LOCAL_MACHINE\SOFTWARE first, where 64-bit
    // programs keep their data; the 32-bit view, where Windows sends this
    // program, only when the key is not there. A key that is there but does
    // not open is not looked for elsewhere. `subKey` is a whole path from the
    // root: below a key of the 64-bit view Windows stays in that view. Once
    // the key is open, `*view` (if given) holds the view flag it was opened
    // with: KEY_WOW64_64KEY, or 0 for the default view.
    LSTATUS OpenNativeViewFirst(HKEY parent, const char* subKey, REGSAM access,
                                REGSAM* view = nullptr);
    void Close() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }
    HKEY Get() const { return key_; }
    bool IsOpen() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};
