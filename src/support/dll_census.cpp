// Which Windows release the process runs on, for the census of its DLLs.
#include "support/dll_census.h"

#include <cstring>

#include "platform/platform.h"

namespace {

WindowsRelease NtRelease(DWORD major, DWORD minor) {
    if (major <= 4) {
        return kWindowsNt4;
    }
    if (major == 5) {
        return minor == 0 ? kWindows2000 : minor == 1 ? kWindowsXp : kWindowsServer2003;
    }
    if (major == 6) {
        return minor == 0 ? kWindowsVista : minor == 1 ? kWindows7 : kWindows8;
    }
    return kWindows10;
}

}  // namespace

WindowsRelease RunningRelease() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        return static_cast<WindowsRelease>(kNoRelease);
    }
    switch (version.dwPlatformId) {
        case VER_PLATFORM_WIN32_WINDOWS:
            // 4.0 is 95, 4.10 is 98, 4.90 is Me.
            return version.dwMinorVersion < 10   ? kWindows95
                   : version.dwMinorVersion < 90 ? kWindows98
                                                 : kWindowsMe;
        case VER_PLATFORM_WIN32_NT:
            return NtRelease(version.dwMajorVersion, version.dwMinorVersion);
        default:
            return static_cast<WindowsRelease>(kNoRelease);
    }
}
