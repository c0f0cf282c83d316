// System DLLs that the exe does not import, loaded by their full path.
#include "support/system_library.h"

#include <cstddef>
#include <cstring>

#include "support/system_functions.h"

namespace {

// The longest file name asked for, with room to spare.
constexpr std::size_t kFileNameCapacity = 32;

// By bare name, Windows looks for a DLL that is no known DLL in the exe's own
// folder first (a download folder, a USB stick). By full path through plain
// LoadLibraryA, the DLL's own imports are searched for there too;
// LOAD_WITH_ALTERED_SEARCH_PATH starts that search in the system directory,
// where the DLL lies.
HMODULE LoadFromSystemDirectory(const char* fileName) {
    const std::size_t nameLength = std::strlen(fileName);
    if (nameLength >= kFileNameCapacity) {
        return nullptr;
    }
    char path[MAX_PATH + 1 + kFileNameCapacity];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, fileName, nameLength + 1);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Whether the exe's manifest sends `fileName` to the side-by-side store.
// Windows before XP has no activation contexts and takes no notice of
// manifests.
bool RedirectedByManifest(const char* fileName) {
    FindActCtxSectionStringAFunction findSectionString = nullptr;
    if (!FindExport(GetModuleHandleA("kernel32"), "FindActCtxSectionStringA", &findSectionString)) {
        return false;
    }
    ACTCTX_SECTION_KEYED_DATA data;
    std::memset(&data, 0, sizeof data);
    // Windows XP's record ends at ulAssemblyRosterIndex; later versions take
    // that size too.
    data.cbSize = offsetof(ACTCTX_SECTION_KEYED_DATA, ulFlags);
    return findSectionString(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, fileName,
                             &data) != FALSE;
}

// A name the manifest redirects is taken from the side-by-side store before
// any folder is searched, so it is loaded by that name alone: by full path it
// would be the system directory's older version.
HMODULE Load(const char* fileName, DllSource source) {
    if (source == DllSource::ManifestFirst && RedirectedByManifest(fileName)) {
        return LoadLibraryExA(fileName, nullptr, 0);
    }
    return LoadFromSystemDirectory(fileName);
}

}  // namespace

CSystemLibrary::CSystemLibrary(const char* fileName, DllSource source)
    : module_(Load(fileName, source)) {}

CSystemLibrary::~CSystemLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}
