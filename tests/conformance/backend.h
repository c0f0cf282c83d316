// Which Windows the conformance suite runs against: the simulated one on the
// host (reset before each test), or the real one (or Wine) when built for it.
#pragma once

#include "platform/platform.h"

#ifndef _WIN32
#include "sim/control.h"
#endif

namespace backend {

#ifdef _WIN32
constexpr bool kSimulated = false;
inline void ResetMachine() {}
// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
#else
constexpr bool kSimulated = true;
inline void ResetMachine() {
    sim::ResetMachine();
}
inline bool RunningUnderWine() {
    return false;
}
#endif

}  // namespace backend
