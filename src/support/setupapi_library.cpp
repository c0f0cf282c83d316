// setupapi.dll, loaded at run time, and the four device-interface functions
// the Setup-API pass calls through it.
#include "support/setupapi_library.h"

#include <cstring>
#include <type_traits>

namespace {

// The types must be the functions' own, calling convention included.
static_assert(std::is_same_v<SetupDiGetClassDevsAFunction, decltype(&SetupDiGetClassDevsA)>);
static_assert(
    std::is_same_v<SetupDiEnumDeviceInterfacesFunction, decltype(&SetupDiEnumDeviceInterfaces)>);
static_assert(std::is_same_v<SetupDiGetDeviceInterfaceDetailAFunction,
                             decltype(&SetupDiGetDeviceInterfaceDetailA)>);
static_assert(
    std::is_same_v<SetupDiDestroyDeviceInfoListFunction, decltype(&SetupDiDestroyDeviceInfoList)>);

template <typename Function>
bool Find(HMODULE module, const char* name, Function* function) {
    const FARPROC found = GetProcAddress(module, name);
    // The detour through a function taking nothing keeps the compiler from
    // warning about a cast between unrelated function types.
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return found != nullptr;
}

constexpr char kDllName[] = "\\setupapi.dll";

// setupapi.dll by its full path in the system directory. Given a bare name,
// LoadLibraryA looks in the exe's own folder first (a download folder, a USB
// stick), and before Windows 7 setupapi.dll is no known DLL that Windows takes
// from the system directory whatever the search order says.
HMODULE LoadFromSystemDirectory() {
    char path[MAX_PATH + sizeof kDllName];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::memcpy(path + length, kDllName, sizeof kDllName);
    return LoadLibraryA(path);
}

}  // namespace

CSetupApiLibrary::CSetupApiLibrary() : module_(LoadFromSystemDirectory()) {
    if (module_ == nullptr) {
        return;
    }
    bound_ =
        Find(module_, "SetupDiGetClassDevsA", &functions_.getClassDevs) &&
        Find(module_, "SetupDiEnumDeviceInterfaces", &functions_.enumDeviceInterfaces) &&
        Find(module_, "SetupDiGetDeviceInterfaceDetailA", &functions_.getDeviceInterfaceDetail) &&
        Find(module_, "SetupDiDestroyDeviceInfoList", &functions_.destroyDeviceInfoList);
}

CSetupApiLibrary::~CSetupApiLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}
