// The two registry views of 64-bit Windows: HKEY_LOCAL_MACHINE\Software as a
// 64-bit and as a 32-bit program sees it, KEY_WOW64_64KEY and KEY_WOW64_32KEY,
// and IsWow64Process as a program finds it at run time. Each group needs its
// kind of process and reports itself skipped elsewhere.
#include <gtest/gtest.h>

#include <string>

#include "backend.h"

namespace conformance {
namespace {

// One key of the same name in each view, its "View" value telling which.
constexpr char kBoth[] = "Software\\VarnobelViews";
constexpr char kBoth32[] = "Software\\Wow6432Node\\VarnobelViews";
// Keys that exist in one view only.
constexpr char kOnly64[] = "Software\\VarnobelViews64";
constexpr char kOnly32[] = "Software\\VarnobelViews32";
constexpr char kOnly32Stored[] = "Software\\Wow6432Node\\VarnobelViews32";
constexpr char kShared[] = "System\\VarnobelViews";

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);

IsWow64ProcessFunction FindIsWow64Process() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
}

bool RunsUnderWow64() {
    IsWow64ProcessFunction isWow64Process = FindIsWow64Process();
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(GetCurrentProcess(), &wow64) &&
           wow64 != FALSE;
}

void MakeKey(const char* path, REGSAM view, const char* text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                             KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
    const DWORD size = static_cast<DWORD>(std::string(text).size() + 1);
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "View", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size));
    RegCloseKey(key);
}

// The "View" value of `path` below `parent` opened with `access`, or the
// open's status in brackets.
std::string ViewOf(HKEY parent, const char* path, REGSAM access) {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExA(parent, path, 0, access, &key);
    if (status != ERROR_SUCCESS) {
        return "[" + std::to_string(status) + "]";
    }
    char text[16] = {};
    DWORD size = sizeof text - 1;
    const LSTATUS read =
        RegQueryValueExA(key, "View", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? std::string(text) : "[value " + std::to_string(read) + "]";
}

std::string ViewOf(const char* path, REGSAM access) {
    return ViewOf(HKEY_LOCAL_MACHINE, path, access);
}

const std::string kNotFound = "[" + std::to_string(ERROR_FILE_NOT_FOUND) + "]";

// Keys in both views, made through the explicit view flags, which any
// program on 64-bit Windows may pass.
class RegistryViewsTest : public ::testing::Test {
protected:
    void MakeViews() {
        MakeKey(kBoth, KEY_WOW64_64KEY, "64");
        MakeKey(kBoth, KEY_WOW64_32KEY, "32");
        MakeKey(kOnly64, KEY_WOW64_64KEY, "64");
        MakeKey(kOnly32, KEY_WOW64_32KEY, "32");
        MakeKey(kShared, 0, "shared");
    }

    void TearDown() override {
        for (const char* path : {kBoth32, kOnly32Stored, kBoth, kOnly64, kShared}) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
        }
    }
};

class SixtyFourBitProgramTest : public RegistryViewsTest {
protected:
    void SetUp() override {
        backend::ResetMachine();
        if (!backend::RunAs64BitProgram()) {
            GTEST_SKIP() << "needs a 64-bit program on 64-bit Windows; this one is 32-bit";
        }
        MakeViews();
    }
};

class Wow64ProgramTest : public RegistryViewsTest {
protected:
    void SetUp() override {
        backend::ResetMachine();
        backend::RunAsWow64Program();
        if (!RunsUnderWow64()) {
            GTEST_SKIP() << "needs a 32-bit program on 64-bit Windows; this one is "
                         << sizeof(void*) * 8 << "-bit and IsWow64Process says it is not "
                         << "under WOW64 (no 32-bit Wine on a 64-bit prefix here?)";
        }
        MakeViews();
    }
};

// A 64-bit program ------------------------------------------------------------

TEST_F(SixtyFourBitProgramTest, IsNotUnderWow64) {
    ASSERT_NE(nullptr, FindIsWow64Process()) << "IsWow64Process is exported by kernel32";
    BOOL wow64 = TRUE;
    ASSERT_TRUE(FindIsWow64Process()(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
}

TEST_F(SixtyFourBitProgramTest, SeesThe64BitViewUnlessItAsksFor32Bit) {
    EXPECT_EQ("64", ViewOf(kBoth, KEY_READ));
    EXPECT_EQ("64", ViewOf(kBoth, KEY_READ | KEY_WOW64_64KEY));
    EXPECT_EQ("32", ViewOf(kBoth, KEY_READ | KEY_WOW64_32KEY));
}

TEST_F(SixtyFourBitProgramTest, EachViewHoldsOnlyItsOwnKeys) {
    EXPECT_EQ("64", ViewOf(kOnly64, KEY_READ));
    EXPECT_EQ(kNotFound, ViewOf(kOnly64, KEY_READ | KEY_WOW64_32KEY));
    EXPECT_EQ(kNotFound, ViewOf(kOnly32, KEY_READ));
    EXPECT_EQ("32", ViewOf(kOnly32, KEY_READ | KEY_WOW64_32KEY));
}

TEST_F(SixtyFourBitProgramTest, The32BitViewLivesBelowWow6432Node) {
    EXPECT_EQ("32", ViewOf(kBoth32, KEY_READ));
    EXPECT_EQ("32", ViewOf(kOnly32Stored, KEY_READ));
}

TEST_F(SixtyFourBitProgramTest, KeysBelowAHandleFollowThatHandlesKey) {
    HKEY software32 = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0,
                                           KEY_READ | KEY_WOW64_32KEY, &software32));
    EXPECT_EQ("32", ViewOf(software32, "VarnobelViews", KEY_READ));
    RegCloseKey(software32);
}

// The view flag places the whole path, whatever view the parent handle was
// opened in. Wine 8.0 keeps the parent's view instead.
TEST_F(SixtyFourBitProgramTest, TheViewFlagPlacesTheKeyBelowAnyHandle) {
    if (backend::RunningUnderWine()) {
        GTEST_SKIP() << "Wine ignores KEY_WOW64_32KEY below a key of the 64-bit view";
    }
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software));
    EXPECT_EQ("32", ViewOf(software, "VarnobelViews", KEY_READ | KEY_WOW64_32KEY));
    EXPECT_EQ("64", ViewOf(software, "VarnobelViews", KEY_READ));
    RegCloseKey(software);
}

TEST_F(SixtyFourBitProgramTest, AnExplicitWow6432NodePathIsNotRedirectedTwice) {
    EXPECT_EQ("32", ViewOf(kBoth32, KEY_READ | KEY_WOW64_32KEY));
    EXPECT_EQ("32", ViewOf(kBoth32, KEY_READ | KEY_WOW64_64KEY));
}

TEST_F(SixtyFourBitProgramTest, SystemIsTheSameInBothViews) {
    EXPECT_EQ("shared", ViewOf(kShared, KEY_READ | KEY_WOW64_32KEY));
    EXPECT_EQ("shared", ViewOf(kShared, KEY_READ | KEY_WOW64_64KEY));
}

// A 32-bit program under WOW64 -----------------------------------------------

TEST_F(Wow64ProgramTest, SeesThe32BitViewUnlessItAsksFor64Bit) {
    EXPECT_EQ("32", ViewOf(kBoth, KEY_READ));
    EXPECT_EQ("32", ViewOf(kBoth, KEY_READ | KEY_WOW64_32KEY));
    EXPECT_EQ("64", ViewOf(kBoth, KEY_READ | KEY_WOW64_64KEY));
}

TEST_F(Wow64ProgramTest, FindsA64BitOnlyKeyOnlyByAsking) {
    EXPECT_EQ(kNotFound, ViewOf(kOnly64, KEY_READ));
    EXPECT_EQ("64", ViewOf(kOnly64, KEY_READ | KEY_WOW64_64KEY));
    EXPECT_EQ("32", ViewOf(kOnly32, KEY_READ));
    EXPECT_EQ(kNotFound, ViewOf(kOnly32, KEY_READ | KEY_WOW64_64KEY));
}

// Since Windows 7 a 32-bit program's plain opens below a key of the 64-bit
// view stay in that view, and KEY_WOW64_64KEY below a key of the 32-bit view
// does not leave it.
TEST_F(Wow64ProgramTest, OpensBelowAKeyStayInItsView) {
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0,
                                           KEY_READ | KEY_WOW64_64KEY, &software));
    EXPECT_EQ("64", ViewOf(software, "VarnobelViews", KEY_READ));
    EXPECT_EQ("64", ViewOf(software, "VarnobelViews", KEY_READ | KEY_WOW64_64KEY));
    RegCloseKey(software);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software));
    EXPECT_EQ("32", ViewOf(software, "VarnobelViews", KEY_READ | KEY_WOW64_64KEY));
    RegCloseKey(software);
}

TEST_F(Wow64ProgramTest, AskingFor32BitBelowA64BitKeyLeavesIt) {
    if (backend::RunningUnderWine()) {
        GTEST_SKIP() << "Wine ignores KEY_WOW64_32KEY below a key of the 64-bit view";
    }
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0,
                                           KEY_READ | KEY_WOW64_64KEY, &software));
    EXPECT_EQ("32", ViewOf(software, "VarnobelViews", KEY_READ | KEY_WOW64_32KEY));
    RegCloseKey(software);
}

TEST_F(Wow64ProgramTest, SoftwareItselfIsRedirected) {
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software));
    EXPECT_EQ("32", ViewOf(software, "VarnobelViews", KEY_READ));
    EXPECT_EQ(kNotFound, ViewOf(software, "VarnobelViews64", KEY_READ));
    RegCloseKey(software);
}

TEST_F(Wow64ProgramTest, SystemIsNotRedirected) {
    EXPECT_EQ("shared", ViewOf(kShared, KEY_READ));
    EXPECT_EQ("shared", ViewOf(kShared, KEY_READ | KEY_WOW64_64KEY));
}

}  // namespace
}  // namespace conformance
