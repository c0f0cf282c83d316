// Checks the types of the functions the exe binds at run time against the
// system's own declarations, calling convention included. This file alone
// may name them.
#define VARNOBEL_NAMES_LATE_BOUND_FUNCTIONS
#include "support/system_functions.h"

#include <type_traits>

static_assert(std::is_same_v<SetupDiGetClassDevsAFunction, decltype(&SetupDiGetClassDevsA)>);
static_assert(
    std::is_same_v<SetupDiEnumDeviceInterfacesFunction, decltype(&SetupDiEnumDeviceInterfaces)>);
static_assert(std::is_same_v<SetupDiGetDeviceInterfaceDetailAFunction,
                             decltype(&SetupDiGetDeviceInterfaceDetailA)>);
static_assert(
    std::is_same_v<SetupDiDestroyDeviceInfoListFunction, decltype(&SetupDiDestroyDeviceInfoList)>);
static_assert(std::is_same_v<EnumPortsAFunction, decltype(&EnumPortsA)>);
static_assert(std::is_same_v<IsWow64ProcessFunction, decltype(&IsWow64Process)>);
static_assert(std::is_same_v<SetDllDirectoryAFunction, decltype(&SetDllDirectoryA)>);
static_assert(
    std::is_same_v<SetDefaultDllDirectoriesFunction, decltype(&SetDefaultDllDirectories)>);
static_assert(std::is_same_v<InitCommonControlsFunction, decltype(&InitCommonControls)>);
static_assert(
    std::is_same_v<FindActCtxSectionStringAFunction, decltype(&FindActCtxSectionStringA)>);
static_assert(std::is_same_v<QueryActCtxWFunction, decltype(&QueryActCtxW)>);
static_assert(std::is_same_v<ReleaseActCtxFunction, decltype(&ReleaseActCtx)>);
static_assert(
    std::is_same_v<GetSystemWindowsDirectoryWFunction, decltype(&GetSystemWindowsDirectoryW)>);
