// Whether this 32-bit program runs on 64-bit Windows.
#include "support/wow64.h"

#include "platform/platform.h"

namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);

IsWow64ProcessFunction FindIsWow64Process() {
    const HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == nullptr) {
        return nullptr;
    }
    const FARPROC found = GetProcAddress(kernel, "IsWow64Process");
    // The detour through a function taking nothing keeps the compiler from
    // warning about a cast between unrelated function types.
    return reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

bool RunsUnderWow64() {
    const IsWow64ProcessFunction isWow64Process = FindIsWow64Process();
    BOOL wow64 = FALSE;
    if (isWow64Process == nullptr || !isWow64Process(GetCurrentProcess(), &wow64)) {
        return false;
    }
    return wow64 != FALSE;
}
