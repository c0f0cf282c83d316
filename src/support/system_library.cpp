// System DLLs that the exe does not import, loaded by their full path. The one
// file that names the calls that load a DLL.
#define VARNOBEL_LOADS_SYSTEM_DLLS
#include "support/system_library.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/dll_census.h"
#include "support/system_functions.h"

namespace {

// The longest file name asked for, with room to spare.
constexpr std::size_t kFileNameCapacity = 32;

// By bare name, Windows looks for a DLL that is no known DLL in the exe's own
// folder first (a download folder, a USB stick). By full path through plain
// LoadLibraryA, the DLL's own imports are searched for there too;
// LOAD_WITH_ALTERED_SEARCH_PATH starts that search in the system directory,
// where the DLL lies. A path of MAX_PATH characters or more is refused by the
// ANSI calls, so the directory and the name must fit together.
HMODULE LoadFromSystemDirectory(const char* fileName) {
    const std::size_t nameLength = std::strlen(fileName);
    if (nameLength >= kFileNameCapacity) {
        return nullptr;
    }
    char path[MAX_PATH];
    // Too small a buffer gets the size it would need, and Windows may have
    // written anything into it.
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, fileName, nameLength + 1);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The exe's path with ".local" appended; false when it does not fit.
bool DotLocalPath(char (&path)[MAX_PATH]) {
    constexpr char kSuffix[] = ".local";
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length + sizeof kSuffix > MAX_PATH) {
        return false;
    }
    std::memcpy(path + length, kSuffix, sizeof kSuffix);
    return true;
}

// Windows 98, Me and 2000 take a DLL from the exe's folder before the path
// asked for, however full, once a file or folder named Varnobel.exe.local lies
// beside the exe. Known DLLs are exempt, but none that the exe loads is one
// there. Where the name cannot be formed or its presence not ruled out, the
// redirection counts as on.
bool RedirectedToExeFolder() {
    if ((RunningRelease() & kHonoursDotLocal) == 0) {
        return false;
    }
    char path[MAX_PATH];
    if (!DotLocalPath(path)) {
        return true;
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// An activation context handle from FindActCtxSectionStringA, released when
// this object goes.
class CActivationContext {
public:
    explicit CActivationContext(ReleaseActCtxFunction release) : release_(release) {}
    ~CActivationContext() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            release_(handle_);
        }
    }
    CActivationContext(const CActivationContext&) = delete;
    CActivationContext& operator=(const CActivationContext&) = delete;

    void Hold(HANDLE handle) { handle_ = handle; }

private:
    ReleaseActCtxFunction release_;
    HANDLE handle_ = nullptr;
};

char FoldAscii(WCHAR c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c < 0x80 ? static_cast<char>(c) : '\0';
}

// Whether `path`, `length` characters, lies in the side-by-side store of the
// Windows directory (...\WinSxS\), where only the system installs. The shared
// Windows directory is asked for: under Terminal Services GetWindowsDirectory
// answers a folder of the user's own. Letters compare as Windows' file system
// does for ASCII; any other character must be the same.
bool InSystemSideBySideStore(const WCHAR* path, std::size_t length) {
    GetSystemWindowsDirectoryWFunction getWindowsDirectory = nullptr;
    if (!FindKernel32Export("GetSystemWindowsDirectoryW", &getWindowsDirectory)) {
        return false;
    }
    static constexpr char kStore[] = "\\WINSXS\\";
    constexpr std::size_t kStoreLength = sizeof kStore - 1;
    WCHAR store[MAX_PATH + kStoreLength];
    const UINT directoryLength = getWindowsDirectory(store, MAX_PATH);
    if (directoryLength == 0 || directoryLength >= MAX_PATH) {
        return false;
    }
    std::size_t storeLength = directoryLength;
    // A root directory ("C:\") ends with its backslash already.
    std::size_t from = store[storeLength - 1] == '\\' ? 1 : 0;
    for (; from < kStoreLength; ++from) {
        store[storeLength++] = static_cast<WCHAR>(kStore[from]);
    }
    if (length <= storeLength) {
        return false;
    }
    for (std::size_t i = 0; i < storeLength; ++i) {
        const bool same = path[i] == store[i] ||
                          (FoldAscii(path[i]) != '\0' && FoldAscii(path[i]) == FoldAscii(store[i]));
        if (!same) {
            return false;
        }
    }
    return true;
}

// Whether the manifest of assembly `rosterIndex` in `context` lies in the
// system's side-by-side store. A private assembly's lies beside the exe.
bool AssemblyInSystemStore(QueryActCtxWFunction query, HANDLE context, ULONG rosterIndex) {
    // Room for the record and its strings: the identity and two paths.
    union {
        ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION info;
        BYTE bytes[4096];
    } buffer;
    std::memset(&buffer, 0, sizeof buffer);
    SIZE_T written = 0;
    DWORD index = rosterIndex;
    if (!query(0, context, &index, AssemblyDetailedInformationInActivationContext, &buffer,
               sizeof buffer, &written) ||
        written < sizeof buffer.info || written > sizeof buffer) {
        return false;
    }
    // The path lies in the buffer, after the record; its length is in bytes.
    const uintptr_t start = reinterpret_cast<uintptr_t>(buffer.bytes);
    const uintptr_t path = reinterpret_cast<uintptr_t>(buffer.info.lpAssemblyManifestPath);
    const std::size_t pathBytes = buffer.info.ulManifestPathLength;
    if (path < start + sizeof buffer.info || path > start + written ||
        pathBytes > start + written - path) {
        return false;
    }
    return InSystemSideBySideStore(buffer.info.lpAssemblyManifestPath, pathBytes / sizeof(WCHAR));
}

// Whether the exe's manifest sends `fileName` to an assembly of the system's
// side-by-side store. Windows before XP has no activation contexts and takes
// no notice of manifests. On XP a Varnobel.exe.manifest beside the exe
// replaces the one inside it and may name a DLL of the exe's folder as its
// own: that is no assembly of the store.
bool RedirectedToSystemStore(const char* fileName) {
    FindActCtxSectionStringAFunction findSectionString = nullptr;
    QueryActCtxWFunction query = nullptr;
    ReleaseActCtxFunction release = nullptr;
    if (!FindKernel32Export("FindActCtxSectionStringA", &findSectionString) ||
        !FindKernel32Export("QueryActCtxW", &query) ||
        !FindKernel32Export("ReleaseActCtx", &release)) {
        return false;
    }
    ACTCTX_SECTION_KEYED_DATA data;
    std::memset(&data, 0, sizeof data);
    // Windows XP's record ends at ulAssemblyRosterIndex, and XP refuses a
    // smaller one; later versions take that size too.
    data.cbSize = offsetof(ACTCTX_SECTION_KEYED_DATA, ulFlags);
    CActivationContext context(release);
    if (!findSectionString(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr,
                           ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, fileName, &data)) {
        return false;
    }
    context.Hold(data.hActCtx);
    return AssemblyInSystemStore(query, data.hActCtx, data.ulAssemblyRosterIndex);
}

}  // namespace

// A name the manifest redirects to the store is taken from there before any
// folder is searched, so it is loaded by that name alone: by full path it
// would be the system directory's older version.
HMODULE LoadSystemDll(const char* fileName, DllSource source) {
    if (RedirectedToExeFolder()) {
        return nullptr;
    }
    if (source == DllSource::ManifestFirst && RedirectedToSystemStore(fileName)) {
        return LoadLibraryExA(fileName, nullptr, 0);
    }
    return LoadFromSystemDirectory(fileName);
}

CSystemLibrary::CSystemLibrary(const char* fileName, DllSource source)
    : module_(LoadSystemDll(fileName, source)) {}

CSystemLibrary::~CSystemLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}
