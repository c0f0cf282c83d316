// The one place the Windows API comes from. On Windows these are the real
// headers and libraries; elsewhere the simulated Windows in sim/ stands in
// for them. Product code includes this header and nothing else of either.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>
#include <winspool.h>
#include <mbctype.h>
#include <mbstring.h>

#include <cstdlib>

// The runtime heap. On the simulated machine it is counted and can refuse.
namespace crt {
inline void* malloc(std::size_t bytes) {
    return std::malloc(bytes);
}
inline void free(void* block) {
    std::free(block);
}
}  // namespace crt
#else
#include "sim/win32.h"
#include "sim/ui.h"
#include "sim/crt.h"
#endif

// The exe binds these at run time, because some supported Windows lacks them
// or because their DLL is no known DLL and would be looked for in the exe's
// own folder first (support/system_library.h). A direct call must not build.
// Only the check of their types, the simulated Windows' own tests and the
// conformance suite name them.
#ifndef VARNOBEL_NAMES_LATE_BOUND_FUNCTIONS
#pragma GCC poison SetupDiGetClassDevsA SetupDiEnumDeviceInterfaces
#pragma GCC poison SetupDiGetDeviceInterfaceDetailA SetupDiDestroyDeviceInfoList
#pragma GCC poison EnumPortsA InitCommonControls IsWow64Process FindActCtxSectionStringA
#pragma GCC poison SetDllDirectoryA SetDefaultDllDirectories
#pragma GCC poison QueryActCtxW ReleaseActCtx GetSystemWindowsDirectoryW
#endif

// A DLL loaded by bare name is looked for in the exe's own folder first on
// many systems. Only support/system_library.cpp, which loads system DLLs by
// their full path, names the calls that load one.
#if !defined(VARNOBEL_NAMES_LATE_BOUND_FUNCTIONS) && !defined(VARNOBEL_LOADS_SYSTEM_DLLS)
#pragma GCC poison LoadLibraryA LoadLibraryExA
#endif
