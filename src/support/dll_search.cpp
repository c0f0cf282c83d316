// The process's DLL search, narrowed at start where the system allows it.
#include "support/dll_search.h"

#include "support/system_functions.h"
#include "support/system_library.h"

void NarrowDllSearch() {
    const HMODULE kernel = GetModuleHandleA("kernel32");
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories = nullptr;
    if (FindExport(kernel, "SetDefaultDllDirectories", &setDefaultDllDirectories)) {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryAFunction setDllDirectory = nullptr;
    if (FindExport(kernel, "SetDllDirectoryA", &setDllDirectory)) {
        setDllDirectory("");
    }
}
