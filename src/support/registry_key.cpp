// Opening registry keys in the 64-bit view when running under WOW64.
#include "support/registry_key.h"

#include "support/wow64.h"

LSTATUS CRegistryKey::OpenNativeViewFirst(HKEY parent, const char* subKey, REGSAM access) {
    if (!RunsUnderWow64()) {
        // Windows 2000 refuses the view flags with ERROR_ACCESS_DENIED.
        return Open(parent, subKey, access);
    }
    // The view flag applies to this one open: Windows does not remember it for
    // the keys later opened below this one.
    const LSTATUS status = Open(parent, subKey, access | KEY_WOW64_64KEY);
    if (status != ERROR_FILE_NOT_FOUND) {
        return status;
    }
    return Open(parent, subKey, access);
}
