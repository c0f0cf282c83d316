// System DLLs that the exe does not import: each loaded by its full path in
// the system directory (or where the exe's manifest sends it), its functions
// looked up by name, and freed again.
#pragma once

#include "platform/platform.h"

// `*function` gets `module`'s export `name` as the caller's pointer type.
// False, with a null pointer, when the module is null or lacks the export.
template <typename Function>
bool FindExport(HMODULE module, const char* name, Function* function) {
    const FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    // The detour through a function taking nothing keeps the compiler from
    // warning about a cast between unrelated function types.
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return found != nullptr;
}

// Where a system DLL is taken from.
enum class DllSource {
    SystemDirectory,
    // The side-by-side store where the exe's manifest sends the DLL's name
    // there (Windows XP and later), else the system directory.
    ManifestFirst,
};

// A DLL of the system directory, loaded for as long as this object lives.
class CSystemLibrary {
public:
    // `fileName` as it lies in the system directory: "setupapi.dll",
    // "winspool.drv". Nothing is loaded when the DLL is missing or the
    // directory's path does not fit MAX_PATH.
    explicit CSystemLibrary(const char* fileName, DllSource source = DllSource::SystemDirectory);
    ~CSystemLibrary();
    CSystemLibrary(const CSystemLibrary&) = delete;
    CSystemLibrary& operator=(const CSystemLibrary&) = delete;

    bool IsLoaded() const { return module_ != nullptr; }
    // As FindExport; the function may be called only while this object lives.
    template <typename Function>
    bool Find(const char* name, Function* function) const {
        return FindExport(module_, name, function);
    }

private:
    HMODULE module_;
};
