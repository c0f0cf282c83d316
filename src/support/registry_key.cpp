// Opening registry keys in the 64-bit view when running under WOW64.
#include "support/registry_key.h"

#include "support/wow64.h"

namespace {

// KEY_WOW64_64KEY where this 32-bit program runs on 64-bit Windows, which
// otherwise shows it the 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE; 0 on
// every other system, as Windows 2000 refuses the flag.
REGSAM NativeViewFlag() {
    return RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
}

}  // namespace

LSTATUS CRegistryKey::OpenNativeViewFirst(HKEY parent, const char* subKey, REGSAM access,
                                          REGSAM* view) {
    const REGSAM nativeView = NativeViewFlag();
    if (nativeView != 0) {
        const LSTATUS status = Open(parent, subKey, access | nativeView);
        if (status != ERROR_FILE_NOT_FOUND) {
            if (status == ERROR_SUCCESS && view != nullptr) {
                *view = nativeView;
            }
            return status;
        }
    }
    const LSTATUS status = Open(parent, subKey, access);
    if (status == ERROR_SUCCESS && view != nullptr) {
        *view = 0;
    }
    return status;
}
