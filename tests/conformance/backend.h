// Which Windows the conformance suite runs against: the simulated one on the
// host (reset before each test), or the real one (or Wine) when built for it.
#pragma once

#include "platform/platform.h"

#ifndef _WIN32
#include "sim/control.h"
#endif

namespace conformance {

// What a buffer or an out parameter holds before a call, to see whether the
// call wrote it.
constexpr BYTE kPoison = 0xCC;
constexpr DWORD kPoisonDword = 0xdeadbeef;

}  // namespace conformance

namespace backend {

#ifdef _WIN32
constexpr bool kSimulated = false;
inline void ResetMachine() {}
// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
// A real process is what it was built as: 64-bit or not, under WOW64 or not.
inline bool RunAs64BitProgram() {
    return sizeof(void*) == 8;
}
inline void RunAsWow64Program() {}
#else
constexpr bool kSimulated = true;
inline void ResetMachine() {
    sim::ResetMachine();
}
inline bool RunningUnderWine() {
    return false;
}
// The simulated machine becomes 64-bit Windows, running this program as a
// 64-bit one or as a 32-bit one under WOW64.
inline bool RunAs64BitProgram() {
    sim::SetProcessKind(sim::ProcessKind::Native64);
    return true;
}
inline void RunAsWow64Program() {
    sim::SetProcessKind(sim::ProcessKind::Wow64);
}
#endif

}  // namespace backend
