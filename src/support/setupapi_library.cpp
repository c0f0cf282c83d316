// setupapi.dll, loaded at run time, and the four device-interface functions
// the Setup-API pass calls through it.
#include "support/setupapi_library.h"

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

}  // namespace

CSetupApiLibrary::CSetupApiLibrary() : module_(LoadLibraryA("setupapi.dll")) {
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
