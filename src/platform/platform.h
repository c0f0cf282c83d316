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
