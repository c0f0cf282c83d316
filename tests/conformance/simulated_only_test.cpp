// What only the simulated Windows can show: open-key counting, injected
// failures, and a version whose extended query fails.
#include "backend.h"

#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace conformance {
namespace {

class SimulatedTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }

    HKEY Create(const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        return key;
    }
};

TEST_F(SimulatedTest, OpenKeysAreCountedUntilClosed) {
    EXPECT_EQ(0, sim::OpenKeyCount());
    HKEY first = Create("SOFTWARE\\A");
    HKEY second = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\a", 0, KEY_READ, &second));
    EXPECT_EQ(2, sim::OpenKeyCount());
    EXPECT_NE(first, second);
    RegCloseKey(first);
    EXPECT_EQ(1, sim::OpenKeyCount());
    RegCloseKey(second);
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(SimulatedTest, PredefinedKeysAreNotCounted) {
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &root));
    EXPECT_EQ(0, sim::OpenKeyCount());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(root));
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(SimulatedTest, FailedOpenIsNotCounted) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "NOWHERE", 0, KEY_READ, &key));
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(SimulatedTest, ResetForgetsKeysAndHandles) {
    HKEY key = Create("SOFTWARE\\Gone");
    sim::ResetMachine();
    EXPECT_EQ(0, sim::OpenKeyCount());
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    HKEY reopened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone", 0, KEY_READ, &reopened));
}

TEST_F(SimulatedTest, ClassesRootShowsLocalMachineClasses) {
    RegCloseKey(Create("SOFTWARE\\Classes\\.txt"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, ".TXT", 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(SimulatedTest, InjectedFailuresComeBackUnchanged) {
    HKEY key = Create("SOFTWARE\\Faulty");
    DWORD number = 5;
    RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);

    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);
    HKEY other = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Faulty", 0, KEY_READ, &other));
    EXPECT_EQ(1, sim::OpenKeyCount());

    sim::FailCall("RegQueryValueExA", ERROR_NOT_ENOUGH_MEMORY, 2, 1);
    DWORD size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "n", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY,
              RegQueryValueExA(key, "n", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "n", nullptr, nullptr, nullptr, &size));

    char name[16];
    DWORD length = sizeof(name);
    sim::FailCall("RegEnumKeyExA", 1234);
    EXPECT_EQ(1234, RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    sim::FailCall("RegEnumValueA", ERROR_MORE_DATA);
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    sim::FailCall("RegCloseKey", ERROR_INVALID_HANDLE, 1, 1);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(1, sim::OpenKeyCount());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

// Without a count, a failure stays from the nth call on until it is cleared,
// as a resource that has run out stays out.
TEST_F(SimulatedTest, FailuresFromTheNthCallOnPersist) {
    HKEY key = Create("SOFTWARE\\Exhausted");
    sim::FailCall("RegQueryValueExA", ERROR_NOT_ENOUGH_MEMORY, 3);
    DWORD size = 4;
    std::vector<LONG> results;
    for (int call = 0; call < 12; ++call) {
        results.push_back(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size));
    }
    std::vector<LONG> expected(12, ERROR_NOT_ENOUGH_MEMORY);
    expected[0] = expected[1] = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(expected, results);
    sim::ClearFaults();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

TEST_F(SimulatedTest, DeletedKeyHandleStillCloses) {
    HKEY key = Create("SOFTWARE\\Doomed");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"));
    DWORD number = 1;
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(SimulatedTest, VersionIsWhatTheMachineSays) {
    sim::Version version;
    version.major = 4;
    version.minor = 0;
    version.build = 1381;
    version.servicePackMajor = 6;
    version.csdVersion = "Service Pack 6";
    sim::SetVersion(version);
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)));
    EXPECT_EQ(4u, info.dwMajorVersion);
    EXPECT_EQ(0u, info.dwMinorVersion);
    EXPECT_EQ(1381u, info.dwBuildNumber);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_EQ(6u, info.wServicePackMajor);
    EXPECT_STREQ("Service Pack 6", info.szCSDVersion);
}

TEST_F(SimulatedTest, DefaultVersionIsXpServicePack3) {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)));
    EXPECT_EQ(5u, info.dwMajorVersion);
    EXPECT_EQ(1u, info.dwMinorVersion);
    EXPECT_EQ(3u, info.wServicePackMajor);
}

TEST_F(SimulatedTest, ExtendedQueryCanFailWhileBasicWorks) {
    sim::Version version;
    version.major = 4;
    version.extendedQueryFails = true;
    sim::SetVersion(version);
    OSVERSIONINFOEXA info;
    std::memset(&info, 0xCC, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)));
    EXPECT_EQ(4u, info.dwMajorVersion);
    EXPECT_EQ(0xCCCCu, info.wServicePackMajor);
}

TEST_F(SimulatedTest, InjectedVersionFailureSetsLastError) {
    sim::FailCall("GetVersionExA", ERROR_ACCESS_DENIED, 1, 1);
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof(info);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(GetVersionExA(&info));
}

}  // namespace
}  // namespace conformance

#endif  // _WIN32
