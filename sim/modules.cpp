// The simulated loader: the system DLLs a program can find by name or in the
// system directory, each with the exports its own area of the simulated
// Windows registers here; a DLL planted beside the executable; the references
// LoadLibraryA and LoadLibraryExA take; machines that lack a DLL or one of its
// functions; and the process's DLL search order as SetDllDirectoryA and
// SetDefaultDllDirectories narrow it.
#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "internal.h"
#include "sim/control.h"

namespace {

// Module handles are where the DLL is mapped; these are never real addresses.
// Constants, so that each area's registration may run before this file's.
using sim::internal::kKernel32Base;
constexpr uintptr_t kPlantedBase = 0x10000000;

HMODULE Handle(uintptr_t base) {
    return reinterpret_cast<HMODULE>(base);
}

struct Dll {
    std::string fileName;  // "setupapi.dll", "winspool.drv"
    HMODULE base = nullptr;
    std::vector<sim::internal::DllExport> exports;
};

// What each simulated DLL registered. It outlives machine resets: each area
// registers once, whenever it is first reset.
std::vector<Dll>& Registered() {
    static std::vector<Dll> dlls;
    return dlls;
}

struct Loader {
    // LoadLibrary references beyond the one the process holds from its start
    // (kernel32) or beyond none (every other DLL), by file name.
    std::map<std::string, int> references;
    std::set<std::string> missingDlls;
    std::map<std::string, std::set<std::string>> missingFunctions;
    std::map<std::string, int> callsWhileUnloaded;
    std::string plantedName;      // empty when nothing is planted
    std::string plantedImporter;  // the system DLL that imports the planted name
    int plantedReferences = 0;
    int plantedAsDependency = 0;  // of plantedReferences, those a dependency took
    int plantedLoads = 0;
    sim::DllSearch search;
};

Loader& TheLoader() {
    static Loader loader;
    return loader;
}

// kernel32 is mapped in every process; the rest once LoadLibrary holds them.
bool IsKernel32(const Dll& dll) {
    return dll.base == Handle(kKernel32Base);
}

bool IsLoaded(const Dll& dll) {
    return IsKernel32(dll) || TheLoader().references[dll.fileName] > 0;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool HasExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && name.find('\\', dot) == std::string::npos;
}

// A module name as the loader compares it: a name without an extension is
// given ".dll", as LoadLibrary does.
std::string ModuleFileName(const std::string& name) {
    return Lower(HasExtension(name) ? name : name + ".dll");
}

Dll* FindByName(const std::string& name) {
    const std::string wanted = ModuleFileName(name);
    for (Dll& dll : Registered()) {
        if (Lower(dll.fileName) == wanted) {
            return &dll;
        }
    }
    return nullptr;
}

Dll* FindByHandle(HMODULE module) {
    for (Dll& dll : Registered()) {
        if (dll.base == module) {
            return &dll;
        }
    }
    return nullptr;
}

std::string SystemDirectory() {
    if (!TheLoader().search.systemDirectory.empty()) {
        return TheLoader().search.systemDirectory;
    }
    return sim::internal::RunsWindowsNt() ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM";
}

bool NamesPlanted(const std::string& name) {
    return !TheLoader().plantedName.empty() &&
           ModuleFileName(name) == ModuleFileName(TheLoader().plantedName);
}

void EnsureKernel32() {
    if (FindByName("kernel32.dll") == nullptr) {
        Registered().push_back(Dll{"kernel32.dll", Handle(kKernel32Base), {}});
    }
}

// A system DLL loaded by its full path takes its own imports from the
// executable's folder first, unless LOAD_WITH_ALTERED_SEARCH_PATH starts that
// search in the DLL's own folder.
void LoadDependencies(const Dll& dll, DWORD flags) {
    Loader& loader = TheLoader();
    if ((flags & LOAD_WITH_ALTERED_SEARCH_PATH) == 0 && !loader.plantedName.empty() &&
        sim::internal::SameNameIgnoringCase(loader.plantedImporter, dll.fileName)) {
        ++loader.plantedReferences;
        ++loader.plantedAsDependency;
        ++loader.plantedLoads;
    }
}

void ReleaseDependencies(const Dll& dll) {
    Loader& loader = TheLoader();
    if (loader.plantedAsDependency > 0 &&
        sim::internal::SameNameIgnoringCase(loader.plantedImporter, dll.fileName)) {
        --loader.plantedAsDependency;
        --loader.plantedReferences;
    }
}

// Whether the simulated Windows is of the NT family and at least this
// version and service pack.
bool NtAtLeast(DWORD major, DWORD minor, WORD servicePack = 0) {
    const sim::Version version = sim::CurrentVersion();
    if (version.platformId != VER_PLATFORM_WIN32_NT || version.major != major) {
        return version.platformId == VER_PLATFORM_WIN32_NT && version.major > major;
    }
    return version.minor > minor ||
           (version.minor == minor && version.servicePackMajor >= servicePack);
}

// Windows XP and later take the DLLs the exe's manifest names (version 6 of
// comctl32.dll) from the side-by-side store, before any folder.
bool HonoursManifests() {
    return NtAtLeast(5, 1);
}

bool RedirectedByManifest(const std::string& name) {
    return HonoursManifests() && ModuleFileName(name) == "comctl32.dll";
}

// A bare name that the exe's folder is never searched for: a known DLL
// (kernel32) or one the manifest redirects.
bool TakenBeforeTheExesFolder(const std::string& name) {
    return RedirectedByManifest(name) ||
           sim::internal::SameNameIgnoringCase(ModuleFileName(name), "kernel32.dll");
}

HMODULE Load(LPCSTR name, DWORD flags) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    EnsureKernel32();
    Loader& loader = TheLoader();
    const std::string text = name;
    const size_t slash = text.rfind('\\');
    std::string fileName = text;
    if (slash == std::string::npos) {
        // The executable's folder comes first for a bare name that is no
        // known DLL; kernel32 is one.
        if (NamesPlanted(text) && !TakenBeforeTheExesFolder(text)) {
            ++loader.plantedReferences;
            ++loader.plantedLoads;
            return Handle(kPlantedBase);
        }
    } else if (sim::internal::SameNameIgnoringCase(text.substr(0, slash), SystemDirectory())) {
        fileName = text.substr(slash + 1);
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    Dll* dll = FindByName(fileName);
    if (dll == nullptr || loader.missingDlls.count(dll->fileName) != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const bool firstLoad = !IsLoaded(*dll);
    ++loader.references[dll->fileName];
    if (firstLoad && slash != std::string::npos) {
        LoadDependencies(*dll, flags);
    }
    return dll->base;
}

}  // namespace

namespace sim {

int LoadedModuleCount() {
    int count = TheLoader().plantedReferences;
    for (const auto& entry : TheLoader().references) {
        count += entry.second;
    }
    return count;
}

int DllReferences(const std::string& fileName) {
    const Dll* dll = FindByName(fileName);
    return dll == nullptr ? 0 : TheLoader().references[dll->fileName];
}

int PlantedDllLoads() {
    return TheLoader().plantedLoads;
}

void PlantDllBesideExe(const std::string& name, const std::string& importedBy) {
    TheLoader().plantedName = name;
    TheLoader().plantedImporter = importedBy;
}

bool RemoveSystemDll(const std::string& fileName) {
    const Dll* dll = FindByName(fileName);
    if (dll == nullptr || IsKernel32(*dll)) {
        return false;
    }
    TheLoader().missingDlls.insert(dll->fileName);
    return true;
}

bool RemoveDllFunction(const std::string& fileName, const std::string& function) {
    const Dll* dll = FindByName(fileName);
    if (dll == nullptr) {
        return false;
    }
    for (const internal::DllExport& entry : dll->exports) {
        if (function == entry.name) {
            TheLoader().missingFunctions[dll->fileName].insert(function);
            return true;
        }
    }
    return false;
}

int CallsWhileUnloaded(const std::string& fileName) {
    const Dll* dll = FindByName(fileName);
    return dll == nullptr ? 0 : TheLoader().callsWhileUnloaded[dll->fileName];
}

void SetSystemDirectory(const std::string& path) {
    TheLoader().search.systemDirectory = path;
}

void AddDllDirectoriesUpdate() {
    TheLoader().search.dllDirectoriesUpdate = true;
}

DllSearch CurrentDllSearch() {
    return TheLoader().search;
}

namespace internal {

void ResetModules() {
    TheLoader() = Loader();
}

void RegisterDll(const char* fileName, uintptr_t base, const std::vector<DllExport>& exports) {
    EnsureKernel32();
    if (Dll* known = FindByName(fileName)) {
        for (const DllExport& entry : exports) {
            bool present = false;
            for (const DllExport& old : known->exports) {
                present = present || std::strcmp(old.name, entry.name) == 0;
            }
            if (!present) {
                known->exports.push_back(entry);
            }
        }
        return;
    }
    Registered().push_back(Dll{fileName, reinterpret_cast<HMODULE>(base), exports});
}

bool ApplyDllSetting(const char* fileName, const std::string& key, const std::string& value,
                     std::string* message) {
    if (key == "dll" && value == "missing") {
        return sim::RemoveSystemDll(fileName);
    }
    std::string function;
    size_t pos = 0;
    if (key != "missing" || value.empty() || value[0] != '"' ||
        !ParseQuoted(value, &pos, &function, message) || pos != value.size()) {
        *message = "expected dll=missing or missing=\"FUNCTION\"";
        return false;
    }
    if (!sim::RemoveDllFunction(fileName, function)) {
        *message = std::string(fileName) + " has no function '" + function + "' to remove";
        return false;
    }
    return true;
}

void NoteCallInto(const char* fileName) {
    const Dll* dll = FindByName(fileName);
    if (dll != nullptr && !IsLoaded(*dll)) {
        ++TheLoader().callsWhileUnloaded[dll->fileName];
    }
}

HMODULE SystemModuleHandle(const char* moduleName) {
    EnsureKernel32();
    const Dll* dll = FindByName(moduleName);
    if (dll != nullptr && IsLoaded(*dll)) {
        return dll->base;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

}  // namespace internal
}  // namespace sim

HMODULE LoadLibraryA(LPCSTR name) {
    if (sim::internal::CallFailsWithLastError("LoadLibraryA")) {
        return nullptr;
    }
    return Load(name, 0);
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags) {
    if (sim::internal::CallFailsWithLastError("LoadLibraryExA")) {
        return nullptr;
    }
    if (file != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The altered search path takes its folder from a full path; only that,
    // or no flag at all, is modelled.
    if (flags != 0 && flags != LOAD_WITH_ALTERED_SEARCH_PATH) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(name, flags);
}

BOOL FreeLibrary(HMODULE module) {
    if (sim::internal::CallFailsWithLastError("FreeLibrary")) {
        return FALSE;
    }
    Loader& loader = TheLoader();
    if (module == Handle(kPlantedBase) && loader.plantedReferences > loader.plantedAsDependency) {
        --loader.plantedReferences;
        return TRUE;
    }
    const Dll* dll = FindByHandle(module);
    if (dll != nullptr && loader.references[dll->fileName] > 0) {
        if (--loader.references[dll->fileName] == 0) {
            ReleaseDependencies(*dll);
        }
        return TRUE;
    }
    // kernel32 stays loaded however often it is freed.
    if (module == Handle(kKernel32Base)) {
        return TRUE;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (sim::internal::CallFailsWithLastError("GetProcAddress")) {
        return nullptr;
    }
    EnsureKernel32();
    const Dll* dll = FindByHandle(module);
    const bool planted = module == Handle(kPlantedBase) && TheLoader().plantedReferences > 0;
    if (!planted && (dll == nullptr || !IsLoaded(*dll))) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A "name" below 0x10000 is an export's ordinal; none is modelled. The
    // planted DLL exports nothing the program asks for.
    FARPROC found = nullptr;
    if (dll != nullptr && reinterpret_cast<uintptr_t>(name) >= 0x10000 &&
        TheLoader().missingFunctions[dll->fileName].count(name) == 0) {
        for (const sim::internal::DllExport& entry : dll->exports) {
            if (std::strcmp(entry.name, name) == 0 &&
                (entry.exported == nullptr || entry.exported())) {
                found = reinterpret_cast<FARPROC>(entry.function);
            }
        }
    }
    if (found == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return found;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    if (sim::internal::CallFailsWithLastError("GetSystemDirectoryA")) {
        return 0;
    }
    const std::string directory = SystemDirectory();
    const UINT length = static_cast<UINT>(directory.size());
    // Too small a buffer is left alone; the answer is the size it would need.
    if (buffer == nullptr || size <= length) {
        return length + 1;
    }
    std::memcpy(buffer, directory.c_str(), length + 1);
    return length;
}

namespace {

// Windows XP Service Pack 1 and later.
bool ExportsSetDllDirectory() {
    return NtAtLeast(5, 1, 1);
}

// Windows 8 and later, and Vista and 7 with the update that adds it.
bool ExportsSetDefaultDllDirectories() {
    return NtAtLeast(6, 2) || (NtAtLeast(6, 0) && TheLoader().search.dllDirectoriesUpdate);
}

constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                               LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;

// kernel32's exports that old systems lack, which a program looks up.
[[maybe_unused]] const bool kernel32Registered = [] {
    sim::internal::RegisterDll(
        "kernel32.dll", kKernel32Base,
        {{"SetDllDirectoryA", reinterpret_cast<void (*)()>(&SetDllDirectoryA),
          ExportsSetDllDirectory},
         {"SetDefaultDllDirectories", reinterpret_cast<void (*)()>(&SetDefaultDllDirectories),
          ExportsSetDefaultDllDirectories},
         {"FindActCtxSectionStringA", reinterpret_cast<void (*)()>(&FindActCtxSectionStringA),
          HonoursManifests}});
    return true;
}();

}  // namespace

BOOL SetDllDirectoryA(LPCSTR path) {
    if (sim::internal::CallFailsWithLastError("SetDllDirectoryA")) {
        return FALSE;
    }
    sim::DllSearch& search = TheLoader().search;
    search.dllDirectorySet = path != nullptr;
    search.dllDirectory = path != nullptr ? path : "";
    return TRUE;
}

BOOL SetDefaultDllDirectories(DWORD flags) {
    if (sim::internal::CallFailsWithLastError("SetDefaultDllDirectories")) {
        return FALSE;
    }
    if (flags == 0 || (flags & ~kSearchFlags) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TheLoader().search.defaultDirectories = flags;
    return TRUE;
}

// The exe carries a manifest that asks for version 6 of the common controls,
// so the only DLL it redirects is comctl32.dll.
BOOL FindActCtxSectionStringA(DWORD flags, const GUID* extension, ULONG section, LPCSTR name,
                              PACTCTX_SECTION_KEYED_DATA data) {
    if (sim::internal::CallFailsWithLastError("FindActCtxSectionStringA")) {
        return FALSE;
    }
    // Windows XP knows the record up to ulAssemblyRosterIndex.
    if (flags != 0 || extension != nullptr || name == nullptr || data == nullptr ||
        data->cbSize < offsetof(ACTCTX_SECTION_KEYED_DATA, ulFlags)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (section != ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION || !RedirectedByManifest(name)) {
        SetLastError(ERROR_SXS_KEY_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}
