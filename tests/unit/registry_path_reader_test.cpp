// The registry path reader: how paths are split, the string read with its
// buffer and subkey fallback, the binary read, and the keys it leaves open
// (none) on every path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/exceptions.h"
#include "inventory/registry_path_reader.h"
#include "sim/control.h"

namespace {

const HKEY kMachine = HKEY_LOCAL_MACHINE;

void SetValue(HKEY root, const char* path, const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// A REG_SZ value with its NUL.
void SetText(const char* path, const char* name, const std::string& text) {
    SetValue(HKEY_LOCAL_MACHINE, path, name, REG_SZ, text + '\0');
}

void MakeKey(const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string Or(const char* text, const char* fallback) {
    return text != nullptr ? text : fallback;
}

class RegistryPathReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        std::memset(RegistryStringBuffer, 'Z', sizeof RegistryStringBuffer);
        SetText("SOFTWARE\\Tobrin\\Ports", "Name", "Headset");
        SetText("SOFTWARE\\Tobrin\\Ports", "", "ports default");
        SetText("SOFTWARE\\Tobrin", "", "tobrin default");
    }
    void TearDown() override { EXPECT_EQ(sim::OpenKeyCount(), 0); }

    std::string Text(const char* path) {
        return Or(reader_.QueryStringByPath(&kMachine, path), "<null>");
    }

    CRegistryPathReader reader_;
};

// Paths -------------------------------------------------------------------

TEST_F(RegistryPathReaderTest, PathsAreSplitAtEveryBackslash) {
    SetText("", "Top", "at the root");
    EXPECT_EQ(Text("Top"), "at the root");
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Ports\\Name"), "Headset");
    EXPECT_EQ(Text("software\\TOBRIN\\ports\\NAME"), "Headset");
}

TEST_F(RegistryPathReaderTest, LeadingAndDoubledBackslashesActAsOne) {
    EXPECT_EQ(Text("\\SOFTWARE\\Tobrin\\Ports\\Name"), "Headset");
    EXPECT_EQ(Text("\\\\\\SOFTWARE\\\\Tobrin\\\\\\Ports\\Name"), "Headset");
}

TEST_F(RegistryPathReaderTest, EmptyLastComponentReadsTheDefaultValue) {
    HKEY tobrin = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tobrin", 0, KEY_READ, &tobrin),
              ERROR_SUCCESS);
    EXPECT_EQ(Or(reader_.QueryStringByPath(&tobrin, ""), "<null>"), "tobrin default");
    EXPECT_EQ(Or(reader_.QueryStringByPath(&tobrin, "\\\\"), "<null>"), "tobrin default");
    // The root belongs to the caller and stays open.
    EXPECT_EQ(sim::OpenKeyCount(), 1);
    RegCloseKey(tobrin);
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Ports\\"), "ports default");
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\\\"), "tobrin default");
}

TEST_F(RegistryPathReaderTest, NullRootMeansClassesRoot) {
    SetValue(HKEY_CLASSES_ROOT, ".cfg\\Shell", "Verb", REG_SZ, std::string("open") + '\0');
    EXPECT_EQ(Or(reader_.QueryStringByPath(nullptr, ".cfg\\Shell\\Verb"), "<null>"), "open");
    EXPECT_EQ(reader_.QueryStringByPath(nullptr, "SOFTWARE\\Tobrin\\Ports\\Name"), nullptr);
    BYTE data[8];
    DWORD size = sizeof data;
    EXPECT_EQ(reader_.QueryBinaryByPath(nullptr, ".cfg\\Shell\\Verb", data, &size), 1);
    EXPECT_EQ(size, 5u);
}

TEST_F(RegistryPathReaderTest, MissingKeyHalfwayClosesEverythingOpened) {
    MakeKey("SOFTWARE\\Tobrin\\Ports\\Deep\\Deeper");
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Deep\\Gone\\X\\V"),
              nullptr);
    EXPECT_EQ(sim::OpenKeyCount(), 0);
    BYTE data[4];
    DWORD size = sizeof data;
    EXPECT_EQ(
        reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Deep\\Gone\\V", data, &size),
        0);
    EXPECT_EQ(sim::OpenKeyCount(), 0);
    EXPECT_EQ(size, 4u);
}

TEST_F(RegistryPathReaderTest, KeyThatCannotBeOpenedFailsTheRead) {
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 3, 1);
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Name"), nullptr);
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Ports\\Name"), "Headset");
}

TEST_F(RegistryPathReaderTest, CallerTextIsNotChanged) {
    char path[] = "\\SOFTWARE\\Tobrin\\Ports\\Name";
    const std::string before = path;
    EXPECT_EQ(Text(path), "Headset");
    EXPECT_EQ(before, path);
}

TEST_F(RegistryPathReaderTest, TrailByteBackslashDoesNotSplitOnDoubleByteMachines) {
    // "\x95\x5C" is one character in code page 932; its second byte is '\'.
    const char valueName[] =
        "\x95\x5C"
        "B";
    SetText("SOFTWARE\\Tobrin", valueName, "double-byte");
    SetText("SOFTWARE\\Tobrin\\\x95", "B", "single-byte");
    const std::string path = std::string("SOFTWARE\\Tobrin\\") + valueName;
    EXPECT_EQ(Text(path.c_str()), "single-byte");
    ASSERT_TRUE(sim::SetCodePage(932));
    EXPECT_EQ(Text(path.c_str()), "double-byte");
}

TEST_F(RegistryPathReaderTest, BadArgumentsFailQuietly) {
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, nullptr), nullptr);
    BYTE data[4];
    DWORD size = sizeof data;
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, nullptr, data, &size), 0);
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Name", data, nullptr),
              0);
}

TEST_F(RegistryPathReaderTest, RefusedCopyRaisesAndClosesTheKeysOpened) {
    sim::FailAllocation(3);
    EXPECT_THROW(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Name"),
                 CMemoryException);
    EXPECT_EQ(sim::OpenKeyCount(), 0);
}

// String read ---------------------------------------------------------------

TEST_F(RegistryPathReaderTest, StringReadReturnsTheSharedBuffer) {
    const char* first = reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Name");
    EXPECT_EQ(first, RegistryStringBuffer);
    EXPECT_STREQ(RegistryStringBuffer, "Headset");
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Missing"), nullptr);
}

TEST_F(RegistryPathReaderTest, StringOf256BytesFitsAnd257DoNot) {
    const std::string fits(255, 'f');
    const std::string tooLong(256, 'g');
    SetText("SOFTWARE\\Tobrin", "Fits", fits);
    SetText("SOFTWARE\\Tobrin", "TooLong", tooLong);
    // A subkey of the same name is no fallback for a value that is too long.
    SetText("SOFTWARE\\Tobrin\\TooLong", "", "fallback");
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Fits"), fits);
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\TooLong"), nullptr);
    EXPECT_EQ(RegistryStringBuffer[kRegistryStringCapacity], '\0');
}

TEST_F(RegistryPathReaderTest, DataWithoutNulComeBackTerminated) {
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tobrin", "Full", REG_BINARY, std::string(256, 'b'));
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tobrin", "Short", REG_BINARY, "ab");
    const char* full = reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Full");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(std::string(full), std::string(256, 'b'));
    // What an earlier read left behind doesn't show after shorter data.
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Short"), "ab");
}

TEST_F(RegistryPathReaderTest, DataOfAnyTypeAreReturnedAsStored) {
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tobrin", "Number", REG_DWORD, "AB\0\0");
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Number"), "AB");
}

TEST_F(RegistryPathReaderTest, MissingValueFallsBackToSubkeyDefault) {
    SetText("SOFTWARE\\Tobrin\\Ports\\BDName", "", "from the subkey");
    EXPECT_EQ(Text("SOFTWARE\\Tobrin\\Ports\\BDName"), "from the subkey");
    MakeKey("SOFTWARE\\Tobrin\\Ports\\Empty");
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Empty"), nullptr);
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Nothing"), nullptr);
}

TEST_F(RegistryPathReaderTest, OnlyNotFoundFallsBackToTheSubkey) {
    SetText("SOFTWARE\\Tobrin\\Ports\\BDName", "", "from the subkey");
    sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\BDName"), nullptr);
    // A failing query of the subkey's default value fails the read too.
    sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 2, 1);
    EXPECT_EQ(reader_.QueryStringByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\BDName"), nullptr);
}

// Binary read ---------------------------------------------------------------

TEST_F(RegistryPathReaderTest, BinaryReadFillsTheCallersBuffer) {
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tobrin", "Address", REG_BINARY,
             std::string("\x00\x11\x22\xAA\xBB\xCC", 6));
    BYTE data[10] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\Address", data, &size), 1);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 6),
              std::string("\x00\x11\x22\xAA\xBB\xCC", 6));
}

TEST_F(RegistryPathReaderTest, LargerValueSucceedsWithItsStoredSize) {
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tobrin", "LinkKey", REG_BINARY, std::string(16, 'k'));
    BYTE data[10];
    DWORD size = sizeof data;
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\LinkKey", data, &size), 1);
    EXPECT_EQ(size, 16u);
    size = 16;
    BYTE exact[16];
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\LinkKey", exact, &size), 1);
    EXPECT_EQ(size, 16u);
}

TEST_F(RegistryPathReaderTest, BinaryReadHasNoSubkeyFallback) {
    SetText("SOFTWARE\\Tobrin\\Ports\\BDName", "", "from the subkey");
    BYTE data[10];
    DWORD size = sizeof data;
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\BDName", data, &size),
              0);
    sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(reader_.QueryBinaryByPath(&kMachine, "SOFTWARE\\Tobrin\\Ports\\Name", data, &size),
              0);
}

// Lifetime ------------------------------------------------------------------

TEST(RegistryPathReaderLifetime, HeldClassesRootIsNotClosed) {
    sim::ResetMachine();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Held", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    sim::FailCall("RegCloseKey", ERROR_ACCESS_DENIED, 1, 1);
    {
        CRegistryPathReader reader;
        EXPECT_EQ(reader.heldKey, HKEY_CLASSES_ROOT);
    }
    // The armed failure still waits: the reader made no close call.
    EXPECT_EQ(RegCloseKey(key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::OpenKeyCount(), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(RegistryPathReaderLifetime, AnyOtherHeldKeyIsClosed) {
    sim::ResetMachine();
    {
        CRegistryPathReader reader;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &reader.heldKey),
                  ERROR_SUCCESS);
        EXPECT_EQ(sim::OpenKeyCount(), 1);
    }
    EXPECT_EQ(sim::OpenKeyCount(), 0);
}

}  // namespace
