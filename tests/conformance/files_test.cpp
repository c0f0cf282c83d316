// Files as the result file meets them: re-creating a file that another
// handle holds open, depending on what that handle shares; the read-only
// attribute; and a disk with no room left. Under Windows the files live in
// the current directory and the full disk is the host's /dev/full, which
// Wine shows as Z:\dev\full.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backend.h"

namespace conformance {
namespace {

constexpr char kPath[] = "varnobel-conformance.txt";
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
        Remove();
    }
    void TearDown() override {
        for (HANDLE handle : handles_) {
            CloseHandle(handle);
        }
        Remove();
    }

    static void Remove() {
        SetFileAttributesA(kPath, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(kPath);
    }

    // Opens kPath and keeps the handle until the test ends.
    HANDLE Open(DWORD access, DWORD share, DWORD disposition) {
        HANDLE handle =
            CreateFileA(kPath, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handles_.push_back(handle);
        }
        return handle;
    }

    static void Write(HANDLE handle, const std::string& text) {
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        ASSERT_EQ(text.size(), written);
    }

    static std::string Contents() {
        HANDLE handle =
            CreateFileA(kPath, GENERIC_READ, kShareBoth, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return "<none>";
        }
        char buffer[256];
        DWORD read = 0;
        ReadFile(handle, buffer, sizeof buffer, &read, nullptr);
        CloseHandle(handle);
        return std::string(buffer, read);
    }

    std::vector<HANDLE> handles_;
};

// What the result file's open asks for: create or truncate, read and write,
// sharing both.
TEST_F(FilesTest, AFileHeldSharingEverythingIsRecreated) {
    HANDLE holder = Open(GENERIC_READ, kShareBoth, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    HANDLE writer = Open(kReadWrite, kShareBoth, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    Write(writer, "first run\r\n");
    HANDLE editor = Open(kReadWrite, kShareBoth, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, editor);
    HANDLE again = Open(kReadWrite, kShareBoth, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, again);
    Write(again, "second\r\n");
    EXPECT_EQ("second\r\n", Contents());
}

TEST_F(FilesTest, AHolderThatSharesTooLittleRefusesTheOpen) {
    struct Holder {
        DWORD access;
        DWORD share;
    };
    for (const Holder holder : {Holder{GENERIC_READ, FILE_SHARE_READ},
                                Holder{GENERIC_WRITE, FILE_SHARE_WRITE}, Holder{GENERIC_READ, 0}}) {
        HANDLE held = Open(holder.access, holder.share, CREATE_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(kReadWrite, kShareBoth, CREATE_ALWAYS));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        for (HANDLE handle : handles_) {
            CloseHandle(handle);
        }
        handles_.clear();
    }
}

TEST_F(FilesTest, ReadOnlyAttributeIsKeptAndReported) {
    HANDLE file = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    Write(file, "kept\r\n");
    CloseHandle(file);
    handles_.clear();
    ASSERT_TRUE(SetFileAttributesA(kPath, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
              GetFileAttributesA(kPath) & FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(GENERIC_READ, kShareBoth, OPEN_EXISTING));
    SetLastError(0);
    HANDLE recreated = Open(kReadWrite, kShareBoth, CREATE_ALWAYS);
    if (recreated != INVALID_HANDLE_VALUE && backend::RunningUnderWine()) {
        GTEST_SKIP() << "Wine run as root lets a read-only file be re-created";
    }
    EXPECT_EQ(INVALID_HANDLE_VALUE, recreated);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("kept\r\n", Contents());
}

TEST_F(FilesTest, AttributesOfAMissingFileAreAnError) {
    SetLastError(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(kPath));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(SetFileAttributesA(kPath, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// A write that finds no room fails, says the disk is full and writes nothing.
TEST_F(FilesTest, AWriteToAFullDiskFails) {
#ifdef _WIN32
    if (!backend::RunningUnderWine()) {
        GTEST_SKIP() << "only Wine offers a disk that is always full (/dev/full)";
    }
    HANDLE full =
        CreateFileA("Z:\\dev\\full", GENERIC_WRITE, kShareBoth, nullptr, OPEN_EXISTING, 0, nullptr);
    if (full == INVALID_HANDLE_VALUE) {
        GTEST_SKIP() << "Z:\\dev\\full cannot be opened here";
    }
    handles_.push_back(full);
#else
    sim::SetDiskSpace(0);
    HANDLE full = Open(GENERIC_WRITE, kShareBoth, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, full);
#endif
    DWORD written = 12345;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(full, "line\r\n", 6, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    EXPECT_EQ(0u, written);
}

}  // namespace
}  // namespace conformance
