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

// FindExport in kernel32, which every process has loaded: for the functions
// that some supported Windows lacks.
template <typename Function>
bool FindKernel32Export(const char* name, Function* function) {
    return FindExport(GetModuleHandleA("kernel32"), name, function);
}

// Where a system DLL is taken from.
enum class DllSource {
    SystemDirectory,
    // The side-by-side store of the Windows directory where the exe's
    // manifest sends the DLL's name there (Windows XP and later), else the
    // system directory.
    ManifestFirst,
};

// Loads `fileName` ("setupapi.dll") from where `source` says, or returns
// null: when the DLL is missing, when the system directory's path is too
// long, and wherever Windows would take it from the exe's own folder instead
// (a Varnobel.exe.local beside the exe on Windows 98, Me and 2000). The
// caller frees what it gets.
HMODULE LoadSystemDll(const char* fileName, DllSource source);

// A DLL of the system directory, loaded for as long as this object lives.
class CSystemLibrary {
public:
    // As LoadSystemDll: nothing is loaded when that gives null.
    explicit CSystemLibrary(const char* fileName, DllSource source = DllSource::SystemDirectory);
    ~CSystemLibrary();
    CSystemLibrary(const CSystemLibrary&) = delete;
    CSystemLibrary& operator=(const CSystemLibrary&) = delete;

    // As FindExport; the function may be called only while this object lives.
    template <typename Function>
    bool Find(const char* name, Function* function) const {
        return FindExport(module_, name, function);
    }

private:
    HMODULE module_;
};
