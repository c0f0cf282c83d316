// Machine profiles: every piece of REGEDIT4 syntax the loader takes, the
// machine sections, each error with its line, and robustness on garbage.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/control.h"

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }

    void Load(const std::string& text) {
        sim::ProfileError error;
        ASSERT_TRUE(sim::LoadProfile(text, &error)) << error.line << ": " << error.message;
    }

    sim::ProfileError Reject(const std::string& text) {
        sim::ProfileError error;
        EXPECT_FALSE(sim::LoadProfile(text, &error));
        return error;
    }

    // Reads a value as stored: its type and exact bytes, or nothing when absent.
    bool Read(HKEY root, const char* path, const char* name, DWORD* type, std::string* bytes) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        BYTE data[256];
        DWORD size = sizeof(data);
        LSTATUS status = RegQueryValueExA(key, name, nullptr, type, data, &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            return false;
        }
        bytes->assign(reinterpret_cast<char*>(data), size);
        return true;
    }

    bool KeyExists(HKEY root, const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    DWORD type_ = 0;
    std::string bytes_;
};

TEST_F(ProfileTest, StringValueIsStoredWithItsNul) {
    Load(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
        "\"\\\\Device\\\\Serial0\"=\"COM1\"\n");
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0",
                     &type_, &bytes_));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    EXPECT_EQ(std::string("COM1\0", 5), bytes_);
}

TEST_F(ProfileTest, QuoteEscapeInNameAndText) {
    Load("REGEDIT4\r\n[HKEY_CURRENT_USER\\Q]\r\n\"say \\\"hi\\\"\"=\"a\\\"b\\\\c\"\r\n");
    ASSERT_TRUE(Read(HKEY_CURRENT_USER, "Q", "say \"hi\"", &type_, &bytes_));
    EXPECT_EQ(std::string("a\"b\\c\0", 6), bytes_);
}

TEST_F(ProfileTest, DefaultValueUsesAt) {
    Load("REGEDIT4\n[HKEY_CLASSES_ROOT\\.log]\n@=\"txtfile\"\n");
    ASSERT_TRUE(Read(HKEY_CLASSES_ROOT, ".log", nullptr, &type_, &bytes_));
    EXPECT_EQ(std::string("txtfile\0", 8), bytes_);
}

TEST_F(ProfileTest, DwordIsLittleEndian) {
    Load("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"n\"=dword:0000abcd\n\"short\"=dword:7\n");
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "K", "n", &type_, &bytes_));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type_);
    EXPECT_EQ(std::string("\xcd\xab\0\0", 4), bytes_);
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "K", "short", &type_, &bytes_));
    EXPECT_EQ(std::string("\x07\0\0\0", 4), bytes_);
}

TEST_F(ProfileTest, HexIsBinaryAndContinuesOverLines) {
    Load("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"b\"=hex:aa,BB,\\\n  0c,\\\n  d\n\"e\"=hex:\n");
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "K", "b", &type_, &bytes_));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type_);
    EXPECT_EQ(std::string("\xaa\xbb\x0c\x0d", 4), bytes_);
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "K", "e", &type_, &bytes_));
    EXPECT_EQ(std::string(), bytes_);
}

TEST_F(ProfileTest, TypedHexStoresRawBytes) {
    Load(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"bare\"=hex(1):43,4f,4d,35\n"
        "\"multi\"=hex(7):61,00,62,00,00\n");
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "K", "bare", &type_, &bytes_));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    EXPECT_EQ("COM5", bytes_.substr(0, 4));
    EXPECT_EQ(4u, bytes_.size());
    ASSERT_TRUE(Read(HKEY_LOCAL_MACHINE, "K", "multi", &type_, &bytes_));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type_);
    EXPECT_EQ(std::string("a\0b\0\0", 5), bytes_);
}

TEST_F(ProfileTest, DashDeletesValueAndKeyTree) {
    Load(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\\Sub]\n\"keep\"=\"1\"\n\"drop\"=\"2\"\n"
        "[HKEY_LOCAL_MACHINE\\Gone\\Deep]\n");
    Load(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\\Sub]\n\"drop\"=-\n\"never\"=-\n"
        "[-HKEY_LOCAL_MACHINE\\Gone]\n[-HKEY_LOCAL_MACHINE\\NotThere]\n");
    EXPECT_TRUE(Read(HKEY_LOCAL_MACHINE, "K\\Sub", "keep", &type_, &bytes_));
    EXPECT_FALSE(Read(HKEY_LOCAL_MACHINE, "K\\Sub", "drop", &type_, &bytes_));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Gone"));
}

TEST_F(ProfileTest, SectionCreatesEmptyKeyPath) {
    Load(
        "Windows Registry Editor Version 5.00\n; a comment\n   ; another\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Socket Communications]\n");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Socket Communications"));
}

TEST_F(ProfileTest, LoadingLeavesNoKeysOpen) {
    Load("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"y\"\n");
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(ProfileTest, VersionSectionSetsTheMachineVersion) {
    Load(
        "REGEDIT4\n[@version]\nplatform=2\nmajor = 4\nminor=0\nbuild=1381\nservicepack=5\n"
        "servicepackminor=0\ncsd=\"Service Pack 5\"\nextended=fails\nwine=nt40\n");
    sim::Version version = sim::CurrentVersion();
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), version.platformId);
    EXPECT_EQ(4u, version.major);
    EXPECT_EQ(0u, version.minor);
    EXPECT_EQ(1381u, version.build);
    EXPECT_EQ(5u, version.servicePackMajor);
    EXPECT_EQ("Service Pack 5", version.csdVersion);
    EXPECT_TRUE(version.extendedQueryFails);
    EXPECT_EQ("nt40", version.wineName);
}

// The profile's keys are the 64-bit view; the 32-bit one is below Wow6432Node.
TEST_F(ProfileTest, SixtyFourBitWindowsRunsTheProductUnderWow64) {
    EXPECT_EQ(sim::ProcessKind::Native32, sim::CurrentProcessKind());
    Load(
        "REGEDIT4\n[@version]\nbits=64\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Native]\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Redirected]\n");
    EXPECT_EQ(sim::ProcessKind::Wow64, sim::CurrentProcessKind());
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Native", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Redirected", 0, KEY_READ, &key));
    RegCloseKey(key);
    Load("REGEDIT4\n[@version]\nbits=32\n");
    EXPECT_EQ(sim::ProcessKind::Native32, sim::CurrentProcessKind());
}

TEST_F(ProfileTest, VersionAndRegistrySectionsMix) {
    Load(
        "REGEDIT4\n[@version]\nplatform=1\nmajor=4\nminor=10\n"
        "[HKEY_LOCAL_MACHINE\\ENUM\\ROOT]\n\"x\"=dword:1\n");
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), sim::CurrentVersion().platformId);
    EXPECT_TRUE(Read(HKEY_LOCAL_MACHINE, "ENUM\\ROOT", "x", &type_, &bytes_));
}

TEST_F(ProfileTest, LoadsFromFile) {
    std::string path = ::testing::TempDir() + "varnobel_profile_test.reg";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fputs("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\F]\r\n\"v\"=\"w\"\r\n", file);
    std::fclose(file);
    sim::ProfileError error;
    ASSERT_TRUE(sim::LoadProfileFile(path, &error)) << error.message;
    std::remove(path.c_str());
    EXPECT_TRUE(Read(HKEY_LOCAL_MACHINE, "F", "v", &type_, &bytes_));
}

TEST_F(ProfileTest, MissingFileIsAnError) {
    sim::ProfileError error;
    EXPECT_FALSE(sim::LoadProfileFile("/nonexistent/varnobel.reg", &error));
    EXPECT_EQ(0, error.line);
    EXPECT_NE(std::string::npos, error.message.find("cannot read"));
}

struct ErrorCase {
    const char* text;
    int line;
    const char* messagePart;
};

class ProfileErrorTest : public ProfileTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ProfileErrorTest, ReportsLineAndReason) {
    sim::ProfileError error = Reject(GetParam().text);
    EXPECT_EQ(GetParam().line, error.line) << error.message;
    EXPECT_NE(std::string::npos, error.message.find(GetParam().messagePart)) << error.message;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileErrorTest,
    ::testing::Values(
        ErrorCase{"", 0, "REGEDIT4"}, ErrorCase{"\n; only a comment\n", 0, "REGEDIT4"},
        ErrorCase{"\n[HKEY_LOCAL_MACHINE\\K]\n", 2, "REGEDIT4"},
        ErrorCase{"REGEDIT4\n\"v\"=\"x\"\n", 2, "before any section"},
        ErrorCase{"REGEDIT4\n[HKEY_USERS\\K]\n", 2, "unknown root"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\n", 2, "']'"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"abc\n", 3, "unterminated"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v=\"abc\"\n", 3, "'='"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"\n", 3, "'='"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"a\\tb\"\n", 3, "escape"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"a\" junk\n", 3, "after"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=hex:aa,zz\n", 3, "bad hex"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=hex:aa,,bb\n", 3, "bad hex"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=hex:123\n", 3, "bad hex"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=hex(q):00\n", 3, "hex(N)"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:123456789\n", 3, "dword"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:xyz\n", 3, "dword"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=qword:1\n", 3, "unknown value"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\nnonsense\n", 3, "expected"},
        ErrorCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"b\"=hex:aa,\\\n  zz\n", 3, "bad hex"},
        ErrorCase{"REGEDIT4\n[-HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\"\n", 3, "deletes"},
        ErrorCase{"REGEDIT4\n\n[@printers]\n", 3, "unknown machine section [@printers]"},
        ErrorCase{"REGEDIT4\n[@version]\nmajor\n", 3, "'='"},
        ErrorCase{"REGEDIT4\n[@version]\nflavour=sweet\n", 3, "unknown version setting"},
        ErrorCase{"REGEDIT4\n[@version]\nmajor=five\n", 3, "number"},
        ErrorCase{"REGEDIT4\n[@version]\nservicepack=70000\n", 3, "65535"},
        ErrorCase{"REGEDIT4\n[@version]\nextended=maybe\n", 3, "works"},
        ErrorCase{"REGEDIT4\n[@version]\nbits=16\n", 3, "32 or 64"},
        ErrorCase{"REGEDIT4\n[@version]\ncsd=\"unterminated\n", 3, "csd"}));

TEST_F(ProfileTest, ErrorWithoutErrorRecordStillFails) {
    EXPECT_FALSE(sim::LoadProfile("garbage", nullptr));
}

std::string RandomText(std::mt19937& random, size_t length) {
    static const char alphabet[] =
        "REGDIT4[]@\"\\=-:,;hexdwordHKEY_LOCAL_MACHINE0123456789abcdef\n\r ";
    std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) - 2);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += (i % 17 == 16) ? static_cast<char>(anyByte(random)) : alphabet[pick(random)];
    }
    return text;
}

TEST_F(ProfileTest, SurvivesRandomAndTruncatedInput) {
    const std::string valid =
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"s\"=\"x\\\\y\"\n@=\"d\"\n\"n\"=dword:1f\n"
        "\"b\"=hex:01,02,\\\n 03\n\"t\"=hex(2):41,00\n\"s\"=-\n[-HKEY_LOCAL_MACHINE\\A\\B]\n"
        "[@version]\nmajor=5\ncsd=\"x\"\n";
    for (size_t cut = 0; cut <= valid.size(); ++cut) {
        sim::ResetMachine();
        sim::ProfileError error;
        sim::LoadProfile(valid.substr(0, cut), &error);
        EXPECT_GE(error.line, 0);
    }
    std::mt19937 random(20240601);
    for (int round = 0; round < 2000; ++round) {
        std::string text = RandomText(random, random() % 200);
        if (round % 2 == 0) {
            text = "REGEDIT4\n" + text;
        }
        sim::ResetMachine();
        sim::ProfileError error;
        if (!sim::LoadProfile(text, &error)) {
            EXPECT_FALSE(error.message.empty());
        }
    }
    EXPECT_EQ(0, sim::OpenKeyCount());
}

}  // namespace
