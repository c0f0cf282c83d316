// The simulated loader: the DLLs a program can find by name (kernel32, which
// every process has, and setupapi.dll, loaded on demand), the references
// LoadLibraryA takes on them, their exports, and machines that lack
// setupapi.dll or one of its functions.
#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include "internal.h"
#include "sim/control.h"

namespace {

// Module handles are where the DLL is mapped; these are never real addresses.
const HMODULE kKernel32 = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7c800000));
const HMODULE kSetupApi = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x77920000));

struct Loader {
    int kernel32References = 0;  // beyond the one the process holds from its start
    int setupApiReferences = 0;
    bool setupApiMissing = false;
    std::set<std::string> missingSetupApiFunctions;
    int setupApiCallsWhileUnloaded = 0;
};

Loader& TheLoader() {
    static Loader loader;
    return loader;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// A module's name with or without its ".dll", in any case.
bool Names(const char* name, const char* module) {
    const std::string base = module;
    return SameText(name, base) || SameText(name, base + ".dll");
}

bool Fails(const char* api) {
    DWORD status = 0;
    if (!sim::internal::CallFails(api, &status)) {
        return false;
    }
    SetLastError(status);
    return true;
}

}  // namespace

namespace sim {

int LoadedModuleCount() {
    return TheLoader().kernel32References + TheLoader().setupApiReferences;
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
    if (Fails("LoadLibraryA")) {
        return nullptr;
    }
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Loader& loader = TheLoader();
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
    if (Fails("FreeLibrary")) {
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
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (Fails("GetProcAddress")) {
        return nullptr;
    }
    const Loader& loader = TheLoader();
    const bool loaded =
        module == kKernel32 || (module == kSetupApi && loader.setupApiReferences > 0);
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
        } else if (loader.missingSetupApiFunctions.count(name) == 0) {
            found = sim::internal::SetupApiExport(name);
        }
    }
    if (found == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return found;
}
