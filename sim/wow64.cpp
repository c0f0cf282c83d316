// The simulated process's width: whether it runs under WOW64, the registry
// views that follow from it, and IsWow64Process, which a program looks up in
// kernel32 to find out.
#include <cstring>
#include <string>

#include "internal.h"
#include "registry_store.h"
#include "sim/control.h"

namespace {

constexpr const char kRedirectedRoot[] = "SOFTWARE";
constexpr const char kWow64Node[] = "Wow6432Node";
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

sim::ProcessKind processKind = sim::ProcessKind::Native32;
int viewFlagOpens = 0;

std::string FirstComponent(const std::string& path, size_t* end) {
    *end = path.find('\\');
    return path.substr(0, *end);
}

// A view flag places the whole path, the parent handle's included. Without
// one, a 32-bit program is sent to the 32-bit view only on its way through
// SOFTWARE from the root: below a key opened in the 64-bit view it stays there,
// as Windows 7 and later do.
bool SeesThirtyTwoBitView(REGSAM access, bool fromRoot) {
    if ((access & KEY_WOW64_64KEY) != 0) {
        return false;
    }
    if ((access & KEY_WOW64_32KEY) != 0) {
        return true;
    }
    return processKind == sim::ProcessKind::Wow64 && fromRoot;
}

// Windows XP Service Pack 2, Server 2003 and every later NT export
// IsWow64Process; older systems do not.
bool ExportsIsWow64Process() {
    return sim::internal::NtAtLeast(5, 2) || sim::internal::NtAtLeast(5, 1, 2);
}

}  // namespace

namespace sim {

void SetProcessKind(ProcessKind kind) {
    processKind = kind;
    if (kind != ProcessKind::Native32) {
        registry_store::CreateKeyPath(HKEY_LOCAL_MACHINE,
                                      std::string(kRedirectedRoot) + "\\" + kWow64Node);
    }
}

ProcessKind CurrentProcessKind() {
    return processKind;
}

int ViewFlagOpenCount() {
    return viewFlagOpens;
}

namespace internal {

void ResetProcessKind() {
    processKind = ProcessKind::Native32;
    viewFlagOpens = 0;
}

std::string LocalMachineViewPath(const std::string& path, REGSAM access, bool fromRoot) {
    if (processKind == ProcessKind::Native32 || !SeesThirtyTwoBitView(access, fromRoot)) {
        return path;
    }
    size_t end = 0;
    if (!sim::internal::SameNameIgnoringCase(FirstComponent(path, &end), kRedirectedRoot)) {
        return path;
    }
    if (end == std::string::npos) {
        return path + "\\" + kWow64Node;
    }
    size_t secondEnd = 0;
    const std::string rest = path.substr(end + 1);
    if (sim::internal::SameNameIgnoringCase(FirstComponent(rest, &secondEnd), kWow64Node)) {
        return path;
    }
    return path.substr(0, end) + "\\" + kWow64Node + "\\" + rest;
}

// Windows XP and later ignore the view flags where there is no WOW64, as do
// Windows 95, 98 and Me, which take no notice of access rights at all. NT up
// to Windows 2000 knows no such rights and refuses them.
LSTATUS ViewFlagsStatus(REGSAM access) {
    if ((access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY)) == 0) {
        return ERROR_SUCCESS;
    }
    ++viewFlagOpens;
    if (processKind != ProcessKind::Native32) {
        return ERROR_SUCCESS;
    }
    const Version version = CurrentVersion();
    const bool knowsFlags = version.platformId != VER_PLATFORM_WIN32_NT || version.major > 5 ||
                            (version.major == 5 && version.minor >= 1);
    return knowsFlags ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace internal
}  // namespace sim

HANDLE GetCurrentProcess() {
    return kCurrentProcess;
}

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
    DWORD status = ERROR_SUCCESS;
    if (sim::internal::CallFails("IsWow64Process", &status)) {
        SetLastError(status);
        return FALSE;
    }
    if (process != kCurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (wow64 == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64 = processKind == sim::ProcessKind::Wow64 ? TRUE : FALSE;
    return TRUE;
}

namespace {

// kernel32 exports IsWow64Process from Windows XP Service Pack 2 on.
[[maybe_unused]] const bool isWow64ProcessRegistered = [] {
    sim::internal::RegisterDll(
        "kernel32.dll", sim::internal::kKernel32Base,
        {{"IsWow64Process", reinterpret_cast<void (*)()>(&IsWow64Process), ExportsIsWow64Process}});
    return true;
}();

}  // namespace
