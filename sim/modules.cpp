// The simulated loader: the DLLs a program can find by name or in the system
// directory (kernel32, which every process has, and setupapi.dll, loaded on
// demand), a DLL planted beside the executable, the references LoadLibraryA
// takes on them, their exports, and machines that lack setupapi.dll or one of
// its functions.
#include <cstring>
#include <set>
#include <string>

#include "internal.h"
#include "sim/control.h"

namespace {

// Module handles are where the DLL is mapped; these are never real addresses.
const HMODULE kKernel32 = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7c800000));
const HMODULE kSetupApi = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x77920000));
const HMODULE kPlanted = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));

struct Loader {
    int kernel32References = 0;  // beyond the one the process holds from its start
    int setupApiReferences = 0;
    bool setupApiMissing = false;
    std::set<std::string> missingSetupApiFunctions;
    int setupApiCallsWhileUnloaded = 0;
    std::string plantedName;  // without ".dll"; empty when nothing is planted
    int plantedReferences = 0;
};

Loader& TheLoader() {
    static Loader loader;
    return loader;
}

// A module's name with or without its ".dll", in any case.
bool Names(const char* name, const char* module) {
    const std::string base = module;
    return sim::internal::SameNameIgnoringCase(name, base) ||
           sim::internal::SameNameIgnoringCase(name, base + ".dll");
}

std::string SystemDirectory() {
    return sim::internal::RunsWindowsNt() ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM";
}

// What LoadLibraryA looks for: a bare name as it is, a path only when it is
// in the system directory (null otherwise).
const char* NameToLoad(const char* name) {
    const char* slash = std::strrchr(name, '\\');
    if (slash == nullptr) {
        return name;
    }
    return sim::internal::SameNameIgnoringCase(std::string(name, slash), SystemDirectory())
               ? slash + 1
               : nullptr;
}

}  // namespace

namespace sim {

int LoadedModuleCount() {
    return TheLoader().kernel32References + TheLoader().setupApiReferences +
           TheLoader().plantedReferences;
}

void PlantDllBesideExe(const std::string& name) {
    const std::string extension = ".dll";
    std::string base = name;
    if (base.size() > extension.size() &&
        sim::internal::SameNameIgnoringCase(base.substr(base.size() - extension.size()),
                                            extension)) {
        base.resize(base.size() - extension.size());
    }
    TheLoader().plantedName = base;
}

int SetupApiCallsWhileUnloaded() {
    return TheLoader().setupApiCallsWhileUnloaded;
}

void RemoveSetupApiDll() {
    TheLoader().setupApiMissing = true;
}

bool RemoveSetupApiFunction(const std::string& name) {
    if (internal::SetupApiExport(name.c_str()) == nullptr) {
        return false;
    }
    TheLoader().missingSetupApiFunctions.insert(name);
    return true;
}

namespace internal {

void ResetModules() {
    TheLoader() = Loader();
}

void NoteSetupApiCall() {
    if (TheLoader().setupApiReferences == 0) {
        ++TheLoader().setupApiCallsWhileUnloaded;
    }
}

HMODULE SystemModuleHandle(const char* moduleName) {
    if (Names(moduleName, "kernel32")) {
        return kKernel32;
    }
    if (Names(moduleName, "setupapi") && TheLoader().setupApiReferences > 0) {
        return kSetupApi;
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
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Loader& loader = TheLoader();
    // The executable's folder comes first for a bare name.
    if (std::strchr(name, '\\') == nullptr && !loader.plantedName.empty() &&
        Names(name, loader.plantedName.c_str())) {
        ++loader.plantedReferences;
        return kPlanted;
    }
    name = NameToLoad(name);
    if (name == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (Names(name, "kernel32")) {
        ++loader.kernel32References;
        return kKernel32;
    }
    if (Names(name, "setupapi") && !loader.setupApiMissing) {
        ++loader.setupApiReferences;
        return kSetupApi;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (sim::internal::CallFailsWithLastError("FreeLibrary")) {
        return FALSE;
    }
    Loader& loader = TheLoader();
    // kernel32 stays loaded however often it is freed.
    if (module == kKernel32) {
        if (loader.kernel32References > 0) {
            --loader.kernel32References;
        }
        return TRUE;
    }
    if (module == kSetupApi && loader.setupApiReferences > 0) {
        --loader.setupApiReferences;
        return TRUE;
    }
    if (module == kPlanted && loader.plantedReferences > 0) {
        --loader.plantedReferences;
        return TRUE;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (sim::internal::CallFailsWithLastError("GetProcAddress")) {
        return nullptr;
    }
    const Loader& loader = TheLoader();
    const bool loaded = module == kKernel32 ||
                        (module == kSetupApi && loader.setupApiReferences > 0) ||
                        (module == kPlanted && loader.plantedReferences > 0);
    if (!loaded) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A "name" below 0x10000 is an export's ordinal; none is modelled.
    FARPROC found = nullptr;
    if (reinterpret_cast<uintptr_t>(name) >= 0x10000) {
        if (module == kKernel32) {
            found = std::strcmp(name, "IsWow64Process") == 0 ? sim::internal::IsWow64ProcessExport()
                                                             : nullptr;
        } else if (module == kSetupApi && loader.missingSetupApiFunctions.count(name) == 0) {
            found = sim::internal::SetupApiExport(name);
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
