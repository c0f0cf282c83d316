// The process's DLL search, narrowed at start where the system allows it.
#include "support/dll_search.h"

#include "support/system_functions.h"
#include "support/system_library.h"

bool NarrowDllSearch() {
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories = nullptr;
    const bool narrowed =
        FindKernel32Export("SetDefaultDllDirectories", &setDefaultDllDirectories) &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryAFunction setDllDirectory = nullptr;
    if (FindKernel32Export("SetDllDirectoryA", &setDllDirectory)) {
        setDllDirectory("");
    }
    return narrowed;
}
