// What only the simulated loader shows: where a load by bare name from a
// system DLL lands on each Windows, a Varnobel.exe.local's redirection, which
// versions export SetDllDirectoryA, and the activation-context record sizes
// Windows XP refuses.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "machine_fixture.h"
#include "platform/platform.h"
#include "sim/control.h"

namespace {

class SimLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }
};

std::string SystemPath(const char* fileName) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path, length) + "\\" + fileName;
}

void CreateFileBesideExe(const char* path) {
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
}

// uxtheme.dll, loaded by a system DLL by bare name, and the DLLs it imports:
// the exe's folder comes first unless SetDefaultDllDirectories left only the
// system directory, or the DLL is loaded already; known DLLs never come from
// there.
TEST_F(SimLoaderTest, ALateLoadByNameSearchesAsTheRunningVersionDoes) {
    using sim::LoadedFrom;
    struct Row {
        const char* what;
        sim::Version version;
        const char* planted;
        DWORD defaultDirectories;  // SetDefaultDllDirectories' flags, 0 for no call
        const char* loadedBefore;  // by full path with the altered search path first
        const char* name;          // loaded by bare name
        LoadedFrom from;
        int plantedLoads;
    };
    const sim::Version xp = MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3);
    const sim::Version seven = MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1);
    const DWORD system32 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    const Row rows[] = {
        {"XP", xp, "uxtheme.dll", 0, nullptr, "uxtheme.dll", LoadedFrom::ExeFolder, 1},
        {"XP, an import", xp, "msimg32.dll", 0, nullptr, "uxtheme.dll", LoadedFrom::SystemDirectory,
         1},
        {"XP, loaded first", xp, "uxtheme.dll", 0, "uxtheme.dll", "uxtheme.dll",
         LoadedFrom::SystemDirectory, 0},
        {"XP, the importer loaded first", xp, "msimg32.dll", 0, "uxtheme.dll", "uxtheme.dll",
         LoadedFrom::SystemDirectory, 0},
        {"XP, a known DLL", xp, "kernel32.dll", 0, nullptr, "kernel32.dll",
         LoadedFrom::SystemDirectory, 0},
        {"7, an import of Vista's", seven, "dwmapi.dll", 0, nullptr, "uxtheme.dll",
         LoadedFrom::SystemDirectory, 1},
        {"7 with the update, search narrowed", seven, "uxtheme.dll", system32, nullptr,
         "uxtheme.dll", LoadedFrom::SystemDirectory, 0},
        {"7 with the update, an import", seven, "dwmapi.dll", system32, nullptr, "uxtheme.dll",
         LoadedFrom::SystemDirectory, 0},
        {"7 with the update, the default directories", seven, "uxtheme.dll",
         LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, nullptr, "uxtheme.dll", LoadedFrom::ExeFolder, 1},
        {"2000 has no uxtheme.dll", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), "", 0, nullptr,
         "uxtheme.dll", LoadedFrom::Nowhere, 0},
        {"XP has no dwmapi.dll", xp, "", 0, nullptr, "dwmapi.dll", LoadedFrom::Nowhere, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::ResetMachine();
        sim::SetVersion(row.version);
        sim::AddDllDirectoriesUpdate();
        sim::PlantDllBesideExe(row.planted);
        if (row.defaultDirectories != 0) {
            ASSERT_TRUE(SetDefaultDllDirectories(row.defaultDirectories));
        }
        HMODULE before = nullptr;
        if (row.loadedBefore != nullptr) {
            before = LoadLibraryExA(SystemPath(row.loadedBefore).c_str(), nullptr,
                                    LOAD_WITH_ALTERED_SEARCH_PATH);
            ASSERT_NE(nullptr, before);
        }
        EXPECT_EQ(row.from, sim::LoadAsSystemDll(row.name));
        EXPECT_EQ(row.plantedLoads, sim::PlantedDllLoads());
        if (before != nullptr) {
            EXPECT_TRUE(FreeLibrary(before));
        }
        // A system DLL's own loads are no references of the program's.
        EXPECT_EQ(0, sim::LoadedModuleCount());
    }
}

// With a Varnobel.exe.local beside the exe, Windows 98 Second Edition, Me and
// 2000 take a DLL of the exe's folder even for a full path; 98 before the
// Second Edition and XP do not. A DLL that imports the planted one and is
// freed gives it back.
TEST_F(SimLoaderTest, DotLocalRedirectsEveryLoadWhereItIsHonoured) {
    struct Row {
        const char* what;
        sim::Version version;
        DWORD build;
        bool redirected;
    };
    const Row rows[] = {
        {"98", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), 1998, false},
        {"98 SE", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), 2222, true},
        {"Me", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0), 3000, true},
        {"2000", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), 2195, true},
        {"XP", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3), 2600, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::ResetMachine();
        sim::Version version = row.version;
        version.build = row.build;
        sim::SetVersion(version);
        sim::SetModulePath("C:\\Tools\\Varnobel.exe");
        sim::PlantDllBesideExe("winspool.drv");
        const std::string path = SystemPath("winspool.drv");
        const HMODULE plain = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        EXPECT_NE(nullptr, plain);
        EXPECT_EQ(0, sim::PlantedDllLoads());
        FreeLibrary(plain);
        CreateFileBesideExe("C:\\Tools\\Varnobel.exe.local");
        const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        EXPECT_EQ(row.redirected ? 1 : 0, sim::PlantedDllLoads());
        FreeLibrary(module);
        EXPECT_EQ(0, sim::LoadedModuleCount());
    }
}

TEST_F(SimLoaderTest, SetDllDirectoryArrivesWithXpAndServer2003ServicePack1) {
    const struct {
        sim::Version version;
        bool exported;
    } systems[] = {
        {MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 0), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 1), true},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 2, 0), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 2, 1), true},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 6, 0, 0), true},
    };
    for (const auto& system : systems) {
        sim::SetVersion(system.version);
        EXPECT_EQ(system.exported,
                  GetProcAddress(GetModuleHandleA("kernel32"), "SetDllDirectoryA") != nullptr)
            << system.version.major << "." << system.version.minor << " SP"
            << system.version.servicePackMajor;
    }
}

// Windows XP's record ends at ulAssemblyRosterIndex; anything smaller is
// refused, so a record whose size was left out loses the manifest's path.
TEST_F(SimLoaderTest, FindActCtxSectionStringRefusesARecordSmallerThanXps) {
    const ULONG xpSize = offsetof(ACTCTX_SECTION_KEYED_DATA, ulFlags);
    const ULONG sizes[] = {0, xpSize - 4, xpSize, sizeof(ACTCTX_SECTION_KEYED_DATA)};
    for (const ULONG size : sizes) {
        ACTCTX_SECTION_KEYED_DATA data;
        std::memset(&data, 0, sizeof data);
        data.cbSize = size;
        EXPECT_EQ(size >= xpSize,
                  FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                           "comctl32.dll", &data) != FALSE)
            << size;
    }
}

}  // namespace
