// What only the simulated files offer: a disk with a set amount of room,
// files other programs hold open, and the [@files] profile section.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "sim/control.h"

namespace {

constexpr char kPath[] = "C:\\Tools\\ComList.txt";

class SimFilesTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }

    static bool Load(const std::string& body) {
        sim::ProfileError error;
        return sim::LoadProfile("REGEDIT4\n" + body, &error);
    }

    static HANDLE Create() {
        return CreateFileA(kPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, CREATE_ALWAYS, 0, nullptr);
    }

    static DWORD Write(HANDLE file, const std::string& text, BOOL* result) {
        DWORD written = 12345;
        *result = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return written;
    }
};

// Overwriting takes no room, growing the file takes what fits; truncating
// gives the file's room back.
TEST_F(SimFilesTest, WritesTakeWhatRoomIsLeft) {
    HANDLE file = Create();
    sim::SetDiskSpace(10);
    BOOL result = FALSE;
    EXPECT_EQ(8u, Write(file, "12345678", &result));
    EXPECT_TRUE(result);
    EXPECT_EQ(2u, Write(file, "abcdef", &result));
    EXPECT_TRUE(result);
    EXPECT_EQ(0u, Write(file, "x", &result));
    EXPECT_FALSE(result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    EXPECT_EQ("12345678ab", sim::FileContents(kPath));
    CloseHandle(file);

    file = Create();
    EXPECT_EQ(10u, Write(file, "0123456789!", &result));
    CloseHandle(file);
    sim::SetDiskSpace(-1);
    file = Create();
    EXPECT_EQ(11u, Write(file, "0123456789!", &result));
    CloseHandle(file);
}

TEST_F(SimFilesTest, FilesHeldElsewhereShareAsOpenedAndAreNotTheProducts) {
    sim::HoldFileOpen(kPath, GENERIC_READ, FILE_SHARE_READ);
    EXPECT_TRUE(sim::FileExists(kPath));
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ(INVALID_HANDLE_VALUE, Create());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    sim::ReleaseHeldFiles();
    HANDLE file = Create();
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(1, sim::OpenHandleCount());
    CloseHandle(file);
}

TEST_F(SimFilesTest, ProfileSetsReadOnlyHeldLockedFilesAndDiskSpace) {
    ASSERT_TRUE(
        Load("[@files]\nreadonly=\"C:\\\\A.txt\"\nheld=\"C:\\\\B.txt\"\nlocked=\"C:\\\\C.txt\"\n"
             "diskspace=3\n"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), GetFileAttributesA("C:\\A.txt"));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA("C:\\A.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    HANDLE shared =
        CreateFileA("C:\\B.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, shared);
    BOOL result = FALSE;
    EXPECT_EQ(3u, Write(shared, "four", &result));
    CloseHandle(shared);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("C:\\C.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

}  // namespace
