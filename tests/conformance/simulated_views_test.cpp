// What only the simulated Windows can show of the registry views: the older
// systems that have no WOW64, what they answer to the view flags, and which
// of them export IsWow64Process.
#include "backend.h"

#ifndef _WIN32

#include <gtest/gtest.h>

namespace conformance {
namespace {

sim::Version MakeVersion(DWORD platform, DWORD major, DWORD minor, WORD servicePack) {
    sim::Version version;
    version.platformId = platform;
    version.major = major;
    version.minor = minor;
    version.servicePackMajor = servicePack;
    return version;
}

LSTATUS OpenSoftware(REGSAM access) {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, access, &key);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    return status;
}

LSTATUS CreateSoftwareKey(REGSAM access) {
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Made", 0, nullptr, 0,
                                           access, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    return status;
}

bool ExportsIsWow64Process() {
    return GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process") != nullptr;
}

class SimulatedViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        ASSERT_EQ(ERROR_SUCCESS, CreateSoftwareKey(KEY_ALL_ACCESS));
    }
    void TearDown() override { sim::ResetMachine(); }
};

TEST_F(SimulatedViewsTest, NtUpToWindows2000RefusesTheViewFlags) {
    for (DWORD major : {4u, 5u}) {
        sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, major, 0, 4));
        EXPECT_EQ(ERROR_SUCCESS, OpenSoftware(KEY_READ));
        for (REGSAM flag : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            EXPECT_EQ(ERROR_ACCESS_DENIED, OpenSoftware(KEY_READ | flag)) << major;
            EXPECT_EQ(ERROR_ACCESS_DENIED, CreateSoftwareKey(KEY_ALL_ACCESS | flag)) << major;
        }
    }
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(SimulatedViewsTest, LaterNtAndWindows9xIgnoreThemWithoutWow64) {
    for (const sim::Version& version :
         {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3), MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1),
          MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0)}) {
        sim::SetVersion(version);
        for (REGSAM flag : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            EXPECT_EQ(ERROR_SUCCESS, OpenSoftware(KEY_READ | flag)) << version.major;
            EXPECT_EQ(ERROR_SUCCESS, CreateSoftwareKey(KEY_ALL_ACCESS | flag)) << version.major;
        }
    }
    HKEY node = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node", 0, KEY_READ, &node));
}

TEST_F(SimulatedViewsTest, IsWow64ProcessArrivesWithXpServicePack2) {
    const struct {
        sim::Version version;
        bool exported;
    } systems[] = {
        {MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 1), false},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2), true},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 5, 2, 0), true},
        {MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1), true},
    };
    for (const auto& system : systems) {
        sim::SetVersion(system.version);
        EXPECT_EQ(system.exported, ExportsIsWow64Process())
            << system.version.major << "." << system.version.minor << " SP"
            << system.version.servicePackMajor;
    }
}

TEST_F(SimulatedViewsTest, OnlyKernel32IsKnownByName) {
    EXPECT_NE(nullptr, GetModuleHandleA("KERNEL32.DLL"));
    EXPECT_EQ(GetModuleHandleA("kernel32"), GetModuleHandleA("Kernel32.dll"));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetModuleHandleA("ntdll.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64process"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
}

TEST_F(SimulatedViewsTest, A32BitProgramOn32BitWindowsIsNotUnderWow64) {
    using IsWow64ProcessFunction = BOOL (*)(HANDLE, PBOOL);
    const auto isWow64Process =
        reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    ASSERT_NE(nullptr, isWow64Process);
    BOOL wow64 = TRUE;
    ASSERT_TRUE(isWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
    EXPECT_FALSE(isWow64Process(nullptr, &wow64));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
}  // namespace conformance

#endif
