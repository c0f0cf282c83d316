// Loading setupapi.dll at run time: LoadLibraryA, GetProcAddress and
// FreeLibrary, and what each answers for a DLL or a function that is not
// there.
#include <gtest/gtest.h>

#include "backend.h"

namespace conformance {
namespace {

constexpr DWORD kPoisonError = 0xdeadbeef;

const char* const kSetupApiFunctions[] = {
    "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInterfaces",
    "SetupDiGetDeviceInterfaceDetailA",
    "SetupDiDestroyDeviceInfoList",
};

// {9B1F2E3D-4C5B-4A69-8788-99AABBCCDDEE}: a class with nothing registered.
const GUID kEmptyClass = {
    0x9B1F2E3D, 0x4C5B, 0x4A69, {0x87, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}};

template <typename Function>
Function Found(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override { backend::ResetMachine(); }
};

TEST_F(ModuleTest, SetupApiLoadsAndExportsTheFourFunctions) {
    SetLastError(kPoisonError);
    const HMODULE module = LoadLibraryA("setupapi.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(module, GetModuleHandleA("setupapi.dll"));
    for (const char* name : kSetupApiFunctions) {
        SetLastError(kPoisonError);
        EXPECT_NE(nullptr, GetProcAddress(module, name)) << name;
    }
    SetLastError(kPoisonError);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, FunctionsFoundAreTheOnesCalled) {
    const HMODULE module = LoadLibraryA("setupapi.dll");
    ASSERT_NE(nullptr, module);
    using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, LPCSTR, HWND, DWORD);
    using Destroy = BOOL(WINAPI*)(HDEVINFO);
    const auto getClassDevs = Found<GetClassDevs>(module, "SetupDiGetClassDevsA");
    const auto destroy = Found<Destroy>(module, "SetupDiDestroyDeviceInfoList");
    ASSERT_NE(nullptr, getClassDevs);
    ASSERT_NE(nullptr, destroy);
    const HDEVINFO set =
        getClassDevs(&kEmptyClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    EXPECT_TRUE(destroy(set));
    SetLastError(kPoisonError);
    EXPECT_FALSE(destroy(INVALID_HANDLE_VALUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, EachLoadIsFreedOnceAndTheExtensionMayBeLeftOut) {
    const HMODULE first = LoadLibraryA("setupapi.dll");
    ASSERT_NE(nullptr, first);
    const HMODULE second = LoadLibraryA("SETUPAPI");
    EXPECT_EQ(first, second);
    SetLastError(kPoisonError);
    EXPECT_TRUE(FreeLibrary(second));
    SetLastError(kPoisonError);
    EXPECT_TRUE(FreeLibrary(first));
}

TEST_F(ModuleTest, ADllThatDoesNotExistIsNotFound) {
    SetLastError(kPoisonError);
    EXPECT_EQ(nullptr, LoadLibraryA("varnobel-no-such-library.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST_F(ModuleTest, AFunctionSetupApiDoesNotExportIsNotFound) {
    const HMODULE module = LoadLibraryA("setupapi.dll");
    ASSERT_NE(nullptr, module);
    // Export names are matched case for case.
    for (const char* name : {"SetupDiNoSuchFunctionA", "setupdigetclassdevsa"}) {
        SetLastError(kPoisonError);
        EXPECT_EQ(nullptr, GetProcAddress(module, name)) << name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError()) << name;
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, FreeingWhatIsNoModuleFails) {
    // An address inside this program's data, which no module starts at.
    static int notAModule = 0;
    SetLastError(kPoisonError);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&notAModule)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

}  // namespace
}  // namespace conformance
