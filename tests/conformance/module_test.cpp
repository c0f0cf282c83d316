// Loading setupapi.dll and winspool.drv at run time: LoadLibraryA,
// LoadLibraryExA, GetProcAddress and FreeLibrary, and what each answers for a
// DLL or a function that is not there.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

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

// The length without the terminator when the directory fits, else the size
// it needs with the terminator. What a buffer too small then holds Windows
// does not say (Wine leaves it, the simulated Windows fills it), but nothing
// past its size is written.
TEST_F(ModuleTest, SystemDirectoryTellsItsLengthOrTheSizeItNeeds) {
    char directory[MAX_PATH];
    std::memset(directory, 'x', sizeof directory);
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
    EXPECT_EQ(length, std::strlen(directory));
    EXPECT_EQ(':', directory[1]);
    EXPECT_EQ('\\', directory[2]);
    EXPECT_NE('\\', directory[length - 1]);

    const UINT sizes[] = {length, length - 1, 1};
    for (const UINT size : sizes) {
        char shortBuffer[MAX_PATH];
        std::memset(shortBuffer, 'x', sizeof shortBuffer);
        EXPECT_EQ(length + 1, GetSystemDirectoryA(shortBuffer, size)) << size;
        for (UINT i = size; i < sizeof shortBuffer; ++i) {
            ASSERT_EQ('x', shortBuffer[i]) << size << " " << i;
        }
    }
    char exact[MAX_PATH];
    EXPECT_EQ(length, GetSystemDirectoryA(exact, length + 1));
    EXPECT_STREQ(directory, exact);
}

// A record too small for the fields up to the context handle is refused,
// whatever the name; one of XP's size is taken, and a name the exe's context
// does not redirect is not found.
TEST_F(ModuleTest, FindActCtxSectionStringRefusesATooSmallRecord) {
    const ULONG tooSmall[] = {0, 8, offsetof(ACTCTX_SECTION_KEYED_DATA, hActCtx)};
    for (const ULONG size : tooSmall) {
        ACTCTX_SECTION_KEYED_DATA data;
        std::memset(&data, 0, sizeof data);
        data.cbSize = size;
        SetLastError(kPoisonError);
        EXPECT_FALSE(FindActCtxSectionStringA(0, nullptr,
                                              ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                              "varnobel-no-such-library.dll", &data))
            << size;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << size;
    }
    ACTCTX_SECTION_KEYED_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = offsetof(ACTCTX_SECTION_KEYED_DATA, ulFlags);
    SetLastError(kPoisonError);
    EXPECT_FALSE(FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                          "varnobel-no-such-library.dll", &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SXS_KEY_NOT_FOUND), GetLastError());
}

// By full path the system directory's DLL is loaded, the same module as by
// bare name; the same name in a folder that does not hold it is not found.
TEST_F(ModuleTest, SetupApiLoadsByItsPathInTheSystemDirectory) {
    char path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::strcpy(path + length, "\\setupapi.dll");
    SetLastError(kPoisonError);
    const HMODULE byPath = LoadLibraryA(path);
    ASSERT_NE(nullptr, byPath);
    const HMODULE byName = LoadLibraryA("setupapi.dll");
    EXPECT_EQ(byPath, byName);
    EXPECT_NE(nullptr, GetProcAddress(byPath, "SetupDiGetClassDevsA"));
    EXPECT_TRUE(FreeLibrary(byName));
    EXPECT_TRUE(FreeLibrary(byPath));

    SetLastError(kPoisonError);
    EXPECT_EQ(nullptr, LoadLibraryA("C:\\varnobel-no-such-folder\\setupapi.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

// Each system DLL the program binds at run time loads by its full path with
// the search for its own imports starting in its folder, is then the module
// its name stands for, exports what the program looks up, and is gone once
// freed.
TEST_F(ModuleTest, SystemDllsLoadByPathWithTheirOwnFolderSearched) {
    const struct {
        const char* file;
        const char* function;
    } rows[] = {{"setupapi.dll", "SetupDiGetClassDevsA"}, {"winspool.drv", "EnumPortsA"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        char path[MAX_PATH + 16];
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        ASSERT_GT(length, 0u);
        path[length] = '\\';
        std::strcpy(path + length + 1, row.file);
        SetLastError(kPoisonError);
        const HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(nullptr, module);
        EXPECT_EQ(kPoisonError, GetLastError());
        EXPECT_EQ(module, GetModuleHandleA(row.file));
        EXPECT_NE(nullptr, GetProcAddress(module, row.function));
        EXPECT_TRUE(FreeLibrary(module));
    }
    SetLastError(kPoisonError);
    EXPECT_EQ(nullptr, LoadLibraryExA("C:\\varnobel-no-such-folder\\winspool.drv", nullptr,
                                      LOAD_WITH_ALTERED_SEARCH_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
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
