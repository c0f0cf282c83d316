// The simulated registry's controls for tests: the peak of open keys, key
// permissions, failures of one key, values that change between reads, junk
// after "more data", odd short-buffer name lengths, refused allocations that
// persist; and its bookkeeping on large and deep trees.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "sim/control.h"
#include "sim/crt.h"

namespace {

class SimRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }

    static HKEY Open(const char* path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key));
        return key;
    }

    static std::string EnumName(HKEY key, DWORD index) {
        char name[64];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return "";
        }
        return name;
    }

    static std::string QueryText(HKEY key, const char* name) {
        char text[64] = {};
        DWORD size = sizeof text - 1;
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS) {
            return "";
        }
        return text;
    }
};

std::vector<BYTE> Bytes(const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// Peak of open keys ----------------------------------------------------------

TEST_F(SimRegistryTest, PeakCountsMostKeysOpenAtOnceUntilCleared) {
    Load("[HKEY_LOCAL_MACHINE\\A\\B]\n");
    EXPECT_EQ(0, sim::PeakOpenKeyCount());
    HKEY a = Open("A");
    HKEY b = Open("A\\B");
    RegCloseKey(b);
    b = Open("A\\B");
    EXPECT_EQ(2, sim::PeakOpenKeyCount());
    RegCloseKey(b);
    sim::ClearPeakOpenKeyCount();
    EXPECT_EQ(1, sim::PeakOpenKeyCount());
    RegCloseKey(a);
    EXPECT_EQ(1, sim::PeakOpenKeyCount());
    sim::ResetMachine();
    EXPECT_EQ(0, sim::PeakOpenKeyCount());
}

// Key permissions ------------------------------------------------------------

TEST_F(SimRegistryTest, ReadOnlyKeyAndItsSubkeysRefuseMoreThanRead) {
    Load("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Deep]\n");
    ASSERT_TRUE(sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ));
    for (const char* path : {"SOFTWARE", "SOFTWARE\\Vendor", "SOFTWARE\\Vendor\\Deep"}) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key));
        key = Open(path);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    }
    EXPECT_EQ(0, sim::OpenKeyCount());
}

TEST_F(SimRegistryTest, NewKeysBelowReadOnlyKeyCannotBeCreated) {
    Load("[HKEY_LOCAL_MACHINE\\SOFTWARE]\n[HKEY_LOCAL_MACHINE\\SYSTEM]\n");
    sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr,
                                                   0, KEY_READ, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\New", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

TEST_F(SimRegistryTest, KeysCreatedBelowAKeyInheritItsPermissions) {
    Load("[HKEY_LOCAL_MACHINE\\SOFTWARE]\n");
    sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ | KEY_CREATE_SUB_KEY);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0,
                                             KEY_READ, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, KEY_SET_VALUE, &key));
}

TEST_F(SimRegistryTest, PermissionsOfMissingKeyAreNotSet) {
    EXPECT_FALSE(sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", KEY_READ));
}

TEST_F(SimRegistryTest, ProfileMakesKeysReadOnly) {
    Load(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\n"
        "[@access]\n"
        "HKEY_LOCAL_MACHINE\\SOFTWARE=read\n");
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_WRITE, &key));
    RegCloseKey(Open("SOFTWARE\\Vendor"));
}

TEST_F(SimRegistryTest, ProfileRejectsBadAccessLines) {
    sim::ProfileError error;
    for (const char* line : {"HKEY_LOCAL_MACHINE\\SOFTWARE=write", "HKEY_LOCAL_MACHINE\\SOFTWARE",
                             "HKEY_NOWHERE\\SOFTWARE=read", "HKEY_LOCAL_MACHINE\\MISSING=read"}) {
        std::string profile = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n[@access]\n";
        EXPECT_FALSE(sim::LoadProfile(profile + line + "\n", &error)) << line;
        EXPECT_EQ(4, error.line) << line;
    }
}

// Failures of one key --------------------------------------------------------

TEST_F(SimRegistryTest, KeyCallFailsOnThatKeyOnly) {
    Load("[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"a\"\n[HKEY_LOCAL_MACHINE\\B]\n\"V\"=\"b\"\n");
    ASSERT_TRUE(sim::FailKeyCall(HKEY_LOCAL_MACHINE, "A", "RegQueryValueExA", ERROR_ACCESS_DENIED));
    HKEY a = Open("A");
    HKEY b = Open("b");
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(a, "V", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(a, "V", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ("b", QueryText(b, "V"));
    sim::ClearFaults();
    EXPECT_EQ("a", QueryText(a, "V"));
    RegCloseKey(a);
    RegCloseKey(b);
}

TEST_F(SimRegistryTest, OpeningOneKeyFailsWhileItsNeighboursOpen) {
    Load("[HKEY_LOCAL_MACHINE\\Tree\\One]\n[HKEY_LOCAL_MACHINE\\Tree\\Two]\n");
    sim::FailKeyCall(HKEY_LOCAL_MACHINE, "Tree\\Two", "RegOpenKeyExA", ERROR_ACCESS_DENIED);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "tree\\two", 0, KEY_READ, &key));
    RegCloseKey(Open("Tree\\One"));
    RegCloseKey(Open("Tree"));
    EXPECT_FALSE(sim::FailKeyCall(HKEY_LOCAL_MACHINE, "Tree\\Three", "RegOpenKeyExA", 5));
}

TEST_F(SimRegistryTest, FailedCloseLeavesTheKeyOpen) {
    Load("[HKEY_LOCAL_MACHINE\\A]\n");
    sim::FailKeyCall(HKEY_LOCAL_MACHINE, "A", "RegCloseKey", ERROR_INVALID_HANDLE);
    HKEY key = Open("A");
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(1, sim::OpenKeyCount());
    sim::ClearFaults();
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

// Values that change between reads -------------------------------------------

TEST_F(SimRegistryTest, ValueChangesAfterTheGivenReadsInTurn) {
    Load("[HKEY_LOCAL_MACHINE\\A]\n\"Name\"=\"first\"\n");
    ASSERT_TRUE(
        sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, "A", "NAME", 1, REG_SZ, Bytes("second")));
    ASSERT_TRUE(
        sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, "A", "name", 2, REG_SZ, Bytes("third")));
    HKEY key = Open("A");
    EXPECT_EQ("first", QueryText(key, "Name"));
    EXPECT_EQ("second", QueryText(key, "Name"));
    EXPECT_EQ("third", QueryText(key, "Name"));
    EXPECT_EQ("third", QueryText(key, "Name"));
    RegCloseKey(key);
}

TEST_F(SimRegistryTest, SizeQueryAndEnumerationCountAsReads) {
    Load("[HKEY_LOCAL_MACHINE\\A]\n\"Name\"=\"short\"\n");
    sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, "A", "Name", 1, REG_SZ,
                               Bytes("much longer now"));
    sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, "A", "Name", 2, REG_DWORD, {1, 0, 0, 0});
    HKEY key = Open("A");
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(6u, size);
    char name[16];
    DWORD nameLength = sizeof name;
    DWORD type = REG_NONE;
    BYTE data[6];
    size = sizeof data;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, &size));
    EXPECT_EQ(16u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Name", nullptr, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    RegCloseKey(key);
}

TEST_F(SimRegistryTest, ChangeOfMissingKeyIsRefusedAndNoReadsStoresAtOnce) {
    Load("[HKEY_LOCAL_MACHINE\\A]\n");
    EXPECT_FALSE(sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, "B", "Name", 1, REG_SZ, {}));
    ASSERT_TRUE(
        sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, "A", "Name", 0, REG_SZ, Bytes("now")));
    HKEY key = Open("A");
    EXPECT_EQ("now", QueryText(key, "Name"));
    RegCloseKey(key);
}

// Junk after "more data" ------------------------------------------------------

TEST_F(SimRegistryTest, MoreDataLeavesJunkOnlyWhenAsked) {
    Load("[HKEY_LOCAL_MACHINE\\A]\n\"Name\"=\"too long for it\"\n");
    HKEY key = Open("A");
    BYTE data[4] = {1, 2, 3, 4};
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Name", nullptr, nullptr, data, &size));
    EXPECT_EQ(1, data[0]);

    sim::ScribbleOnMoreData(true, 0x5A);
    for (int call = 0; call < 2; ++call) {
        std::memset(data, 0, sizeof data);
        size = sizeof data;
        char name[16];
        DWORD nameLength = sizeof name;
        LSTATUS status =
            call == 0 ? RegQueryValueExA(key, "Name", nullptr, nullptr, data, &size)
                      : RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, data, &size);
        ASSERT_EQ(ERROR_MORE_DATA, status);
        EXPECT_EQ(16u, size);
        for (BYTE byte : data) {
            EXPECT_EQ(0x5A, byte);
        }
    }
    RegCloseKey(key);
}

// Short-buffer name lengths ---------------------------------------------------

TEST_F(SimRegistryTest, ShortNameLengthIsWhatTheTestSays) {
    Load("[HKEY_LOCAL_MACHINE\\A\\LongerName]\n[HKEY_LOCAL_MACHINE\\A]\n\"ValueName\"=\"\"\n");
    HKEY key = Open("A");
    char name[4];
    DWORD length = sizeof name;
    ASSERT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(4u, length);

    DWORD given = 0;
    sim::SetShortNameLength([&given](DWORD bufferLength, DWORD nameLength) {
        given = bufferLength;
        return 2 * nameLength;
    });
    length = sizeof name;
    ASSERT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(4u, given);
    EXPECT_EQ(20u, length);
    length = sizeof name;
    ASSERT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(18u, length);
    sim::ClearFaults();
    length = sizeof name;
    RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(4u, length);
    RegCloseKey(key);
}

// Refused allocations ---------------------------------------------------------

TEST_F(SimRegistryTest, AllocationsAreRefusedFromTheNthForCountOrForGood) {
    sim::FailAllocation(2, 2);
    std::vector<bool> refused;
    for (int i = 0; i < 5; ++i) {
        void* block = crt::malloc(8);
        refused.push_back(block == nullptr);
        crt::free(block);
    }
    EXPECT_EQ((std::vector<bool>{false, true, true, false, false}), refused);

    sim::FailAllocation(3, 0);
    refused.clear();
    for (int i = 0; i < 6; ++i) {
        void* block = crt::malloc(8);
        refused.push_back(block == nullptr);
        crt::free(block);
    }
    EXPECT_EQ((std::vector<bool>{false, false, true, true, true, true}), refused);
    sim::FailAllocation(0);
    void* block = crt::malloc(8);
    EXPECT_NE(nullptr, block);
    crt::free(block);
}

// Large and deep trees --------------------------------------------------------

TEST_F(SimRegistryTest, EnumerationFollowsKeysAddedAndRemovedMeanwhile) {
    Load("[HKEY_LOCAL_MACHINE\\A\\b]\n[HKEY_LOCAL_MACHINE\\A\\D]\n");
    HKEY key = Open("A", KEY_ALL_ACCESS);
    EXPECT_EQ("b", EnumName(key, 0));
    EXPECT_EQ("D", EnumName(key, 1));
    HKEY added = nullptr;
    RegCreateKeyExA(key, "C", 0, nullptr, 0, KEY_READ, nullptr, &added, nullptr);
    RegCloseKey(added);
    EXPECT_EQ("C", EnumName(key, 1));
    EXPECT_EQ("D", EnumName(key, 2));
    RegDeleteTreeA(key, "b");
    EXPECT_EQ("C", EnumName(key, 0));
    EXPECT_EQ("", EnumName(key, 2));
    RegCloseKey(key);
}

TEST_F(SimRegistryTest, ValuesKeepWrittenOrderWhenOneIsDeleted) {
    Load(
        "[HKEY_LOCAL_MACHINE\\A]\n\"z\"=\"1\"\n\"a\"=\"2\"\n\"m\"=\"3\"\n\"A\"=\"4\"\n"
        "\"z\"=-\n");
    HKEY key = Open("A");
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[8];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"a", "m"}), names);
    EXPECT_EQ("4", QueryText(key, "a"));
    EXPECT_EQ("3", QueryText(key, "M"));
    RegCloseKey(key);
}

// Chains far deeper than Windows allows (512 levels) show that no part of the
// simulated registry recurses once per level.
TEST_F(SimRegistryTest, VeryDeepChainIsBuiltDeletedAndForgotten) {
    constexpr int kDepth = 200000;
    std::string path;
    path.reserve(2 * kDepth);
    for (int level = 0; level < kDepth; ++level) {
        path += level == 0 ? "K" : "\\K";
    }
    Load("[HKEY_LOCAL_MACHINE\\" + path + "]\n");
    HKEY deepest = Open(path.c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(deepest, "V", nullptr, nullptr, nullptr, &size));
    RegCloseKey(deepest);
    Load("[HKEY_LOCAL_MACHINE\\" + path + "]\n");
    sim::ResetMachine();
    EXPECT_EQ(0, sim::OpenKeyCount());
}

}  // namespace
