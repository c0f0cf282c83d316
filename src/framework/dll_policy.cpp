// The process's DLL policy: the search, the preloads and the common controls.
#include "framework/dll_policy.h"

#include "support/dll_search.h"
#include "support/system_functions.h"
#include "support/system_library.h"

// Where the search keeps the exe's folder (everywhere before Windows 8 unless
// Vista or 7 has the update), a system DLL that loads a census DLL by bare
// name, or imports it, would take a copy left in the exe's folder. Loaded
// first by its full path, with its own imports from the system directory,
// the DLL is then the module the later load finds by name. A DLL this
// Windows lacks is skipped.
void CDllPolicy::Preload() {
    const WindowsRelease release = RunningRelease();
    for (std::size_t i = 0; i < std::size(kDllCensus); ++i) {
        if (PreloadedOn(kDllCensus[i], release)) {
            preloaded_[i] = LoadSystemDll(kDllCensus[i].fileName, DllSource::SystemDirectory);
        }
    }
}

// The manifest asks for version 6 of the common controls, whose buttons and
// list box take the system's visual style; Windows XP creates them only once
// that comctl32.dll is loaded. Older systems ignore the manifest, and there
// comctl32.dll, no known DLL, comes from the system directory.
CDllPolicy::CDllPolicy() {
    if (!NarrowDllSearch()) {
        Preload();
    }
    commonControls_ = LoadSystemDll("comctl32.dll", DllSource::ManifestFirst);
    InitCommonControlsFunction initCommonControls = nullptr;
    if (FindExport(commonControls_, "InitCommonControls", &initCommonControls)) {
        initCommonControls();
    }
}

CDllPolicy::~CDllPolicy() {
    if (commonControls_ != nullptr) {
        FreeLibrary(commonControls_);
    }
    for (std::size_t i = std::size(kDllCensus); i-- > 0;) {
        if (preloaded_[i] != nullptr) {
            FreeLibrary(preloaded_[i]);
        }
    }
}
