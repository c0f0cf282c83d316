// The simulated loader: the system DLLs a program can find by name or in the
// system directory, each with the exports its own area of the simulated
// Windows registers here; a DLL planted beside the executable; the references
// LoadLibraryA and LoadLibraryExA take; machines that lack a DLL or one of its
// functions; the process's DLL search order as SetDllDirectoryA and
// SetDefaultDllDirectories narrow it, and as a Varnobel.exe.local redirects
// it; the loads system DLLs make by bare name; and the exe's activation
// context, which sends comctl32.dll to the side-by-side store.
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
using sim::internal::NtAtLeast;
constexpr uintptr_t kPlantedBase = 0x10000000;
const HANDLE kProcessContext = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5ac70001));

// The side-by-side store's copy of comctl32.dll, version 6, under the name the
// loader keeps it by; the store's folder name is XP's.
constexpr char kSideBySideCommonControls[] = "winsxs\\comctl32.dll";
constexpr char kCommonControlsManifest[] =
    "\\WinSxS\\Manifests\\x86_Microsoft.Windows.Common-Controls_6595b64144ccf1df_6.0.2600.5512_"
    "x-ww_35d4ce83.manifest";
// The assemblies of the exe's activation context: its own, then the common
// controls it depends on.
constexpr ULONG kExeAssembly = 1;
constexpr ULONG kCommonControlsAssembly = 2;

HMODULE Handle(uintptr_t base) {
    return reinterpret_cast<HMODULE>(base);
}

struct Dll {
    std::string fileName;  // "setupapi.dll", "winspool.drv"
    HMODULE base = nullptr;
    std::vector<sim::internal::DllExport> exports;
    bool (*present)() = nullptr;       // null: on every version
    std::vector<std::string> imports;  // those this version lacks are left out
};

// What each simulated DLL registered. Each area registers its DLL when the
// program starts, as its file's statics are initialised, in whatever order
// those run; machine resets leave the registrations alone.
std::vector<Dll>& Registered() {
    static std::vector<Dll> dlls;
    return dlls;
}

// What loading a DLL took, given back when the DLL goes: the DLLs its imports
// found, or the planted one.
struct Taken {
    std::string fileName;  // empty for the planted DLL
};

struct Loader {
    // LoadLibrary references beyond the one the process holds from its start
    // (kernel32) or beyond none (every other DLL), by file name.
    std::map<std::string, int> references;
    // References held by system DLLs: their imports, and their own late loads.
    std::map<std::string, int> systemReferences;
    std::map<std::string, std::vector<Taken>> importsTaken;
    std::set<std::string> missingDlls;
    std::map<std::string, std::set<std::string>> missingFunctions;
    std::map<std::string, int> callsWhileUnloaded;
    std::string plantedName;      // empty when nothing is planted
    std::string plantedImporter;  // the system DLL that imports the planted name
    int plantedReferences = 0;
    int plantedAsDependency = 0;  // of plantedReferences, those a dependency took
    int plantedSystemReferences = 0;
    int plantedLoads = 0;
    bool manifestPlanted = false;
    int contextsHeld = 0;
    std::string windowsDirectory = "C:\\WINDOWS";
    sim::DllSearch search;
};

Loader& TheLoader() {
    static Loader loader;
    return loader;
}

// kernel32 is mapped in every process; the rest once something holds them.
bool IsKernel32(const Dll& dll) {
    return dll.base == Handle(kKernel32Base);
}

bool IsLoaded(const Dll& dll) {
    Loader& loader = TheLoader();
    return IsKernel32(dll) || loader.references[dll.fileName] > 0 ||
           loader.systemReferences[dll.fileName] > 0;
}

bool IsPresent(const Dll& dll) {
    return TheLoader().missingDlls.count(dll.fileName) == 0 &&
           (dll.present == nullptr || dll.present());
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

// The file name of any copy: "comctl32.dll" for the side-by-side store's too.
std::string LeafName(const std::string& fileName) {
    const size_t slash = fileName.rfind('\\');
    return Lower(slash == std::string::npos ? fileName : fileName.substr(slash + 1));
}

bool AnyCopyLoaded(const std::string& fileName, bool programOnly) {
    for (const Dll& dll : Registered()) {
        if (LeafName(dll.fileName) == ModuleFileName(fileName) &&
            (programOnly ? TheLoader().references[dll.fileName] > 0 : IsLoaded(dll))) {
            return true;
        }
    }
    return false;
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

bool PlantedLoaded() {
    const Loader& loader = TheLoader();
    return loader.plantedReferences > 0 || loader.plantedSystemReferences > 0;
}

void EnsureKernel32() {
    if (FindByName("kernel32.dll") == nullptr) {
        Registered().push_back(Dll{"kernel32.dll", Handle(kKernel32Base), {}, nullptr, {}});
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

// Windows XP and later take the DLLs the exe's manifest names (version 6 of
// comctl32.dll) from the side-by-side store, before any folder.
bool HonoursManifests() {
    return NtAtLeast(5, 1);
}

// XP reads a manifest beside the exe in place of the one inside it; later
// versions prefer the one inside.
bool PlantedManifestInEffect() {
    return TheLoader().manifestPlanted && NtAtLeast(5, 1) && !NtAtLeast(5, 2);
}

bool RedirectedByManifest(const std::string& name) {
    return HonoursManifests() && ModuleFileName(name) == "comctl32.dll";
}

// Windows 98 Second Edition, Me and 2000 take a DLL from the exe's folder
// before any path once a Varnobel.exe.local lies beside the exe; from XP on an
// exe with a manifest is exempt.
bool RedirectsToExeFolder() {
    const sim::Version version = sim::CurrentVersion();
    const bool honours =
        version.platformId == VER_PLATFORM_WIN32_WINDOWS
            ? (version.minor == 10 && (version.build & 0xFFFF) >= 2222) || version.minor == 90
            : version.platformId == VER_PLATFORM_WIN32_NT && version.major == 5 &&
                  version.minor == 0;
    return honours && sim::FileExists(sim::internal::ModulePath() + ".local");
}

// The known DLLs the loader models: kernel32.
bool IsKnownDll(const std::string& name) {
    return ModuleFileName(name) == "kernel32.dll";
}

// SetDefaultDllDirectories without the application's folder leaves it out of
// every search by name.
bool ExeFolderSearched() {
    const DWORD directories = TheLoader().search.defaultDirectories;
    return directories == 0 || (directories & (LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                               LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) != 0;
}

// Where a load of `name` lands: the planted DLL (null dll, true), a system
// DLL, or nothing. `bareName` for a name without a folder; `ownFolderFirst`
// when the search for a DLL's imports starts in its own folder (the system
// directory).
struct Landing {
    bool planted = false;
    Dll* dll = nullptr;
};

Landing Resolve(const std::string& name, bool bareName, bool ownFolderFirst) {
    Landing landing;
    const bool known = IsKnownDll(name);
    if (!known && NamesPlanted(name) && RedirectsToExeFolder()) {
        landing.planted = true;
        return landing;
    }
    Dll* dll = FindByName(name);
    if (bareName) {
        if (RedirectedByManifest(name)) {
            landing.planted = PlantedManifestInEffect() && NamesPlanted(name);
            landing.dll = landing.planted || PlantedManifestInEffect()
                              ? nullptr
                              : FindByName(kSideBySideCommonControls);
            return landing;
        }
        if (NamesPlanted(name) && PlantedLoaded()) {
            landing.planted = true;
            return landing;
        }
        if (dll != nullptr && IsLoaded(*dll)) {
            landing.dll = dll;
            return landing;
        }
        if (!known && !ownFolderFirst && ExeFolderSearched() && NamesPlanted(name)) {
            landing.planted = true;
            return landing;
        }
    }
    if (dll != nullptr && IsPresent(*dll)) {
        landing.dll = dll;
    }
    return landing;
}

void LoadImports(const Dll& dll, bool ownFolderFirst);

// One reference by a system DLL to what `name` lands on, noted in `taken`.
bool TakeForSystem(const std::string& name, bool ownFolderFirst, std::vector<Taken>* taken) {
    Loader& loader = TheLoader();
    const Landing landing = Resolve(name, true, ownFolderFirst);
    if (landing.planted) {
        ++loader.plantedSystemReferences;
        ++loader.plantedLoads;
        taken->push_back(Taken{""});
        return true;
    }
    if (landing.dll == nullptr) {
        return false;
    }
    const bool firstLoad = !IsLoaded(*landing.dll);
    ++loader.systemReferences[landing.dll->fileName];
    if (firstLoad) {
        LoadImports(*landing.dll, ownFolderFirst);
    }
    taken->push_back(Taken{landing.dll->fileName});
    return true;
}

// The imports of a DLL just mapped, each by bare name.
void LoadImports(const Dll& dll, bool ownFolderFirst) {
    std::vector<Taken> taken;
    for (const std::string& name : dll.imports) {
        const Dll* imported = FindByName(name);
        if (imported != nullptr && IsPresent(*imported)) {
            TakeForSystem(name, ownFolderFirst, &taken);
        }
    }
    TheLoader().importsTaken[dll.fileName] = taken;
}

void Release(const std::string& fileName);

// A DLL that nothing holds any more gives back what its imports took.
void ReleaseImports(const Dll& dll) {
    Loader& loader = TheLoader();
    const std::vector<Taken> taken = loader.importsTaken[dll.fileName];
    loader.importsTaken.erase(dll.fileName);
    for (const Taken& entry : taken) {
        if (entry.fileName.empty()) {
            --loader.plantedSystemReferences;
        } else {
            Release(entry.fileName);
        }
    }
}

void Release(const std::string& fileName) {
    Loader& loader = TheLoader();
    if (--loader.systemReferences[fileName] == 0 && loader.references[fileName] == 0) {
        ReleaseImports(*FindByName(fileName));
    }
}

HMODULE Load(LPCSTR name, DWORD flags) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The ANSI calls take no path of MAX_PATH characters or more.
    if (std::strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    EnsureKernel32();
    Loader& loader = TheLoader();
    const std::string text = name;
    const size_t slash = text.rfind('\\');
    const bool bareName = slash == std::string::npos;
    const std::string fileName = bareName ? text : text.substr(slash + 1);
    const bool inSystemDirectory =
        !bareName && sim::internal::SameNameIgnoringCase(text.substr(0, slash), SystemDirectory());
    const Landing landing = Resolve(fileName, bareName, false);
    if (landing.planted) {
        ++loader.plantedReferences;
        ++loader.plantedLoads;
        return Handle(kPlantedBase);
    }
    if (landing.dll == nullptr || (!bareName && !inSystemDirectory)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const bool firstLoad = !IsLoaded(*landing.dll);
    ++loader.references[landing.dll->fileName];
    if (firstLoad) {
        LoadImports(*landing.dll, !bareName && (flags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0);
        if (!bareName) {
            LoadDependencies(*landing.dll, flags);
        }
    }
    return landing.dll->base;
}

// The system DLLs that export nothing a program asks for, and the versions
// that have them.
bool FromXp() {
    return NtAtLeast(5, 1);
}

bool FromVista() {
    return NtAtLeast(6, 0);
}

bool From98And2000() {
    const sim::Version version = sim::CurrentVersion();
    return NtAtLeast(5, 0) ||
           (version.platformId == VER_PLATFORM_WIN32_WINDOWS && version.minor >= 10);
}

[[maybe_unused]] const bool themeDllsRegistered = [] {
    Registered().push_back(
        Dll{"uxtheme.dll", Handle(0x5ad70000), {}, FromXp, {"msimg32.dll", "dwmapi.dll"}});
    Registered().push_back(Dll{"msimg32.dll", Handle(0x76390000), {}, From98And2000, {}});
    Registered().push_back(Dll{"dwmapi.dll", Handle(0x6ad10000), {}, FromVista, {}});
    return true;
}();

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

LoadedFrom LoadAsSystemDll(const std::string& name) {
    EnsureKernel32();
    std::vector<Taken> taken;
    if (!TakeForSystem(name, false, &taken)) {
        return LoadedFrom::Nowhere;
    }
    // Held until the machine is reset.
    return taken.back().fileName.empty() ? LoadedFrom::ExeFolder : LoadedFrom::SystemDirectory;
}

void PlantManifestBesideExe() {
    TheLoader().manifestPlanted = true;
}

bool Version6ControlsLoaded() {
    const Dll* dll = FindByName(kSideBySideCommonControls);
    return dll != nullptr && IsLoaded(*dll);
}

int ActivationContextsHeld() {
    return TheLoader().contextsHeld;
}

void SetWindowsDirectory(const std::string& path) {
    TheLoader().windowsDirectory = path;
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
    Registered().push_back(Dll{fileName, reinterpret_cast<HMODULE>(base), exports, nullptr, {}});
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
    if (dll != nullptr && !AnyCopyLoaded(fileName, false)) {
        ++TheLoader().callsWhileUnloaded[dll->fileName];
    }
}

bool ProgramHoldsDll(const char* fileName) {
    return AnyCopyLoaded(fileName, true);
}

bool NeedsVersion6Controls() {
    return NtAtLeast(5, 1) && !NtAtLeast(6, 0) && !PlantedManifestInEffect();
}

void LoadThemeEngine() {
    if (NtAtLeast(5, 1)) {
        sim::LoadAsSystemDll("uxtheme.dll");
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
            if (loader.systemReferences[dll->fileName] == 0) {
                ReleaseImports(*dll);
            }
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
    // The answer for too small a buffer is the size it would need; what the
    // buffer then holds Windows does not say. Here it gets as much of the
    // directory as fits, without a terminator.
    if (buffer == nullptr || size <= length) {
        if (buffer != nullptr) {
            std::memcpy(buffer, directory.data(), size);
        }
        return length + 1;
    }
    std::memcpy(buffer, directory.c_str(), length + 1);
    return length;
}

namespace {

// Windows XP Service Pack 1, Server 2003 Service Pack 1, and later.
bool ExportsSetDllDirectory() {
    return NtAtLeast(5, 2, 1) || (NtAtLeast(5, 1, 1) && !NtAtLeast(5, 2));
}

bool From2000() {
    return NtAtLeast(5, 0);
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
          HonoursManifests},
         {"QueryActCtxW", reinterpret_cast<void (*)()>(&QueryActCtxW), HonoursManifests},
         {"ReleaseActCtx", reinterpret_cast<void (*)()>(&ReleaseActCtx), HonoursManifests},
         {"GetSystemWindowsDirectoryW", reinterpret_cast<void (*)()>(&GetSystemWindowsDirectoryW),
          From2000}});
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
// so the only DLL it redirects is comctl32.dll: to the store's assembly, or,
// under a manifest planted beside the exe on XP, to the exe's own.
BOOL FindActCtxSectionStringA(DWORD flags, const GUID* extension, ULONG section, LPCSTR name,
                              PACTCTX_SECTION_KEYED_DATA data) {
    if (sim::internal::CallFailsWithLastError("FindActCtxSectionStringA")) {
        return FALSE;
    }
    // Windows XP knows the record up to ulAssemblyRosterIndex and refuses a
    // smaller one.
    if ((flags & ~FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX) != 0 || extension != nullptr ||
        name == nullptr || data == nullptr ||
        data->cbSize < offsetof(ACTCTX_SECTION_KEYED_DATA, ulFlags)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (section != ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION || !RedirectedByManifest(name)) {
        SetLastError(ERROR_SXS_KEY_NOT_FOUND);
        return FALSE;
    }
    data->ulDataFormatVersion = 1;
    data->ulAssemblyRosterIndex =
        PlantedManifestInEffect() ? kExeAssembly : kCommonControlsAssembly;
    data->hActCtx = nullptr;
    if ((flags & FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX) != 0) {
        data->hActCtx = kProcessContext;
        ++TheLoader().contextsHeld;
    }
    return TRUE;
}

namespace {

std::wstring Widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Where the manifest of assembly `index` of the exe's context lies.
std::string ManifestPath(ULONG index) {
    if (index == kCommonControlsAssembly) {
        const std::string& directory = TheLoader().windowsDirectory;
        // A root directory ends with its backslash; Vista and later name the
        // store and its files in lower case.
        const bool root = !directory.empty() && directory.back() == '\\';
        const std::string file = kCommonControlsManifest + (root ? 1 : 0);
        return directory + (NtAtLeast(6, 0) ? Lower(file) : file);
    }
    // The exe's own manifest is inside it, unless one beside it replaced it.
    return sim::internal::ModulePath() + (PlantedManifestInEffect() ? ".manifest" : "");
}

}  // namespace

// Only the detailed record of one assembly is modelled: its manifest's path.
BOOL QueryActCtxW(DWORD flags, HANDLE context, PVOID subInstance, ULONG infoClass, PVOID buffer,
                  SIZE_T size, SIZE_T* written) {
    if (sim::internal::CallFailsWithLastError("QueryActCtxW")) {
        return FALSE;
    }
    const ULONG index = subInstance != nullptr ? *static_cast<const DWORD*>(subInstance) : 0;
    if (flags != 0 || context != kProcessContext || TheLoader().contextsHeld == 0 ||
        infoClass != AssemblyDetailedInformationInActivationContext ||
        (index != kExeAssembly && index != kCommonControlsAssembly)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    using Record = ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION;
    const std::wstring path = Widened(ManifestPath(index));
    const SIZE_T needed = sizeof(Record) + (path.size() + 1) * sizeof(WCHAR);
    if (written != nullptr) {
        *written = needed;
    }
    if (buffer == nullptr || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Record* record = static_cast<Record*>(buffer);
    std::memset(record, 0, sizeof(Record));
    WCHAR* text = reinterpret_cast<WCHAR*>(record + 1);
    std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    record->ulManifestPathType = 1;  // ACTIVATION_CONTEXT_PATH_TYPE_WIN32_FILE
    record->ulManifestPathLength = static_cast<DWORD>(path.size() * sizeof(WCHAR));
    record->lpAssemblyManifestPath = text;
    return TRUE;
}

void ReleaseActCtx(HANDLE context) {
    if (context == kProcessContext && TheLoader().contextsHeld > 0) {
        --TheLoader().contextsHeld;
    }
}

UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) {
    if (sim::internal::CallFailsWithLastError("GetSystemWindowsDirectoryW")) {
        return 0;
    }
    const std::wstring directory = Widened(TheLoader().windowsDirectory);
    const UINT length = static_cast<UINT>(directory.size());
    if (buffer == nullptr || size <= length) {
        return length + 1;
    }
    std::memcpy(buffer, directory.c_str(), (length + 1) * sizeof(WCHAR));
    return length;
}
