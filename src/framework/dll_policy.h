// The process's DLL policy, which the framework's start sets up ahead of the
// application's InitInstance and keeps until the program ends: the DLL search
// narrowed where the system allows it, the census's DLLs loaded from the
// system directory where it does not, and the common controls held for the
// whole run, the error box after an uncaught exception included.
#pragma once

#include <cstddef>
#include <iterator>

#include "platform/platform.h"
#include "support/dll_census.h"

class CDllPolicy {
public:
    CDllPolicy();
    ~CDllPolicy();
    CDllPolicy(const CDllPolicy&) = delete;
    CDllPolicy& operator=(const CDllPolicy&) = delete;

private:
    void Preload();

    HMODULE preloaded_[std::size(kDllCensus)] = {};
    HMODULE commonControls_ = nullptr;
};
