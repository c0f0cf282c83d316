// Registry values: setting, querying and enumerating them, with the exact sizes
// and buffer contents Windows leaves behind.
#include "registry_fixture.h"

namespace conformance {
namespace {

class RegistryValueTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        std::memset(buffer_, kPoison, sizeof(buffer_));
    }

    bool PoisonedFrom(size_t offset) const {
        for (size_t i = offset; i < sizeof(buffer_); ++i) {
            if (buffer_[i] != kPoison) {
                return false;
            }
        }
        return true;
    }

    BYTE buffer_[32];
    DWORD type_ = kPoisonDword;
    DWORD size_ = kPoisonDword;
};

TEST_F(RegistryValueTest, SizeOnlyQueryReturnsTypeAndSize) {
    SetString(scratch_, "Port", "COM12");
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Port", nullptr, &type_, nullptr, &size_));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    EXPECT_EQ(6u, size_);
}

TEST_F(RegistryValueTest, ValueNamesIgnoreCase) {
    SetString(scratch_, "PortName", "COM3");
    size_ = sizeof(buffer_);
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(scratch_, "PORTNAME", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ("COM3", Text(buffer_));
}

TEST_F(RegistryValueTest, MissingValueIsNotFound) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(scratch_, "Absent", nullptr, &type_, nullptr, &size_));
    EXPECT_EQ(0u, size_);

    size_ = sizeof(buffer_);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(scratch_, "Absent", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(static_cast<DWORD>(sizeof(buffer_)), size_);
    EXPECT_TRUE(PoisonedFrom(0));
}

TEST_F(RegistryValueTest, StringFillsBufferWithItsNul) {
    SetString(scratch_, "Port", "COM12");
    size_ = 6;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Port", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(6u, size_);
    EXPECT_EQ(0, std::memcmp(buffer_, "COM12", 6));
    EXPECT_TRUE(PoisonedFrom(6));
}

// Microsoft documents the buffer contents as undefined on ERROR_MORE_DATA; the
// A function in fact leaves the buffer untouched.
TEST_F(RegistryValueTest, ShortBufferIsMoreDataAndUntouched) {
    SetString(scratch_, "Port", "COM12");
    size_ = 5;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegQueryValueExA(scratch_, "Port", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(6u, size_);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    EXPECT_TRUE(PoisonedFrom(0));
}

TEST_F(RegistryValueTest, BinaryShortBufferIsMoreDataAndUntouched) {
    const BYTE bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    SetBytes(scratch_, "Blob", REG_BINARY, bytes, sizeof(bytes));
    size_ = 7;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegQueryValueExA(scratch_, "Blob", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(8u, size_);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type_);
    EXPECT_TRUE(PoisonedFrom(0));
}

// The length excludes a NUL the caller did not pass: the byte after it is not a NUL.
TEST_F(RegistryValueTest, StringStoredWithoutNulGetsOneWhenThereIsRoom) {
    const char text[] = "COM7X";
    SetBytes(scratch_, "Bare", REG_SZ, text, 4);
    size_ = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Bare", nullptr, &type_, nullptr, &size_));
    EXPECT_EQ(4u, size_);

    size_ = 10;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Bare", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(4u, size_);
    EXPECT_EQ(0, std::memcmp(buffer_, "COM7", 5));
    EXPECT_TRUE(PoisonedFrom(5));
}

TEST_F(RegistryValueTest, StringStoredWithoutNulFillingBufferStaysUnterminated) {
    const char text[] = "COM7X";
    SetBytes(scratch_, "Bare", REG_SZ, text, 4);
    size_ = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Bare", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(4u, size_);
    EXPECT_EQ(0, std::memcmp(buffer_, "COM7", 4));
    EXPECT_TRUE(PoisonedFrom(4));
}

// NT counts the terminating NUL a caller left out of a string's length.
TEST_F(RegistryValueTest, SetCountsForgottenNul) {
    const char text[] = "COM7";
    SetBytes(scratch_, "Counted", REG_SZ, text, 4);
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(scratch_, "Counted", nullptr, &type_, nullptr, &size_));
    EXPECT_EQ(5u, size_);
}

TEST_F(RegistryValueTest, DefaultValueHasEmptyName) {
    SetString(scratch_, nullptr, "default text");
    size_ = sizeof(buffer_);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ("default text", Text(buffer_));
    EXPECT_EQ(13u, size_);

    char name[16];
    std::memset(name, kPoison, sizeof(name));
    DWORD nameLength = sizeof(name);
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueA(scratch_, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, nameLength);
    EXPECT_EQ(0, name[0]);
}

TEST_F(RegistryValueTest, BinaryComesBackExactly) {
    const BYTE bytes[] = {0x00, 0xFF, 0x10};
    SetBytes(scratch_, "Blob", REG_BINARY, bytes, sizeof(bytes));
    size_ = sizeof(buffer_);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Blob", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type_);
    EXPECT_EQ(3u, size_);
    EXPECT_EQ(0, std::memcmp(buffer_, bytes, 3));
    EXPECT_TRUE(PoisonedFrom(3));
}

TEST_F(RegistryValueTest, DwordComesBackLittleEndian) {
    DWORD number = 0x12345678;
    SetBytes(scratch_, "Number", REG_DWORD, &number, sizeof(number));
    size_ = sizeof(buffer_);
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(scratch_, "Number", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type_);
    EXPECT_EQ(4u, size_);
    const BYTE expected[] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(0, std::memcmp(buffer_, expected, 4));
}

TEST_F(RegistryValueTest, MultiStringKeepsItsBytes) {
    const char list[] = "a\0bc\0";
    SetBytes(scratch_, "List", REG_MULTI_SZ, list, 6);
    size_ = sizeof(buffer_);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "List", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type_);
    EXPECT_EQ(6u, size_);
    EXPECT_EQ(0, std::memcmp(buffer_, list, 6));
    EXPECT_TRUE(PoisonedFrom(6));
}

TEST_F(RegistryValueTest, ExpandStringKeepsItsText) {
    SetBytes(scratch_, "Path", REG_EXPAND_SZ, "%WINDIR%\\x", 11);
    size_ = sizeof(buffer_);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_, "Path", nullptr, &type_, buffer_, &size_));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type_);
    EXPECT_EQ(11u, size_);
    EXPECT_EQ("%WINDIR%\\x", Text(buffer_));
}

class ValueEnumerationTest : public RegistryValueTest {
protected:
    LSTATUS Enumerate(DWORD index) {
        std::memset(name_, 'x', sizeof(name_));
        name_[10] = 0;
        std::memset(buffer_, 'x', sizeof(buffer_));
        buffer_[10] = 0;
        type_ = kPoisonDword;
        return RegEnumValueA(scratch_, index, name_, &nameLength_, nullptr, &type_, buffer_,
                             &size_);
    }

    char name_[20];
    DWORD nameLength_ = kPoisonDword;
};

// Windows keeps a key's values in the order they were first written; Wine 8.0
// lists them sorted by name, so there the order cannot be checked.
TEST_F(ValueEnumerationTest, ValuesComeInOrderWritten) {
    if (backend::RunningUnderWine()) {
        GTEST_SKIP() << "Wine enumerates values sorted by name";
    }
    SetString(scratch_, "Zeta", "1");
    SetString(scratch_, "alpha", "2");
    SetString(scratch_, "Mid", "3");
    SetString(scratch_, "ZETA", "4");
    const char* expectedNames[] = {"Zeta", "alpha", "Mid"};
    const char* expectedData[] = {"4", "2", "3"};
    for (DWORD index = 0; index < 3; ++index) {
        nameLength_ = sizeof(name_);
        size_ = sizeof(buffer_);
        ASSERT_EQ(ERROR_SUCCESS, Enumerate(index));
        EXPECT_STREQ(expectedNames[index], name_);
        EXPECT_EQ(std::strlen(expectedNames[index]), nameLength_);
        EXPECT_EQ(expectedData[index], Text(buffer_));
        EXPECT_EQ(2u, size_);
    }
    nameLength_ = sizeof(name_);
    size_ = sizeof(buffer_);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, Enumerate(3));
    EXPECT_EQ(static_cast<DWORD>(sizeof(name_)), nameLength_);
    EXPECT_EQ(static_cast<DWORD>(sizeof(buffer_)), size_);
    EXPECT_EQ(kPoisonDword, type_);
}

TEST_F(ValueEnumerationTest, ShortDataBufferIsMoreDataWithDataLength) {
    SetString(scratch_, "Test", "foobar");
    nameLength_ = 20;
    size_ = 2;
    EXPECT_EQ(ERROR_MORE_DATA, Enumerate(0));
    EXPECT_EQ(20u, nameLength_);
    EXPECT_EQ(7u, size_);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    EXPECT_STREQ("xxxxxxxxxx", name_);
    EXPECT_EQ("xxxxxxxxxx", Text(buffer_));
}

TEST_F(ValueEnumerationTest, ShortNameAndDataBuffersAreMoreData) {
    SetString(scratch_, "Test", "foobar");
    nameLength_ = 2;
    size_ = 2;
    EXPECT_EQ(ERROR_MORE_DATA, Enumerate(0));
    EXPECT_EQ(2u, nameLength_);
    EXPECT_EQ(7u, size_);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    EXPECT_STREQ("xxxxxxxxxx", name_);
    EXPECT_EQ("xxxxxxxxxx", Text(buffer_));
}

// Windows XP leaves name and data alone here; later versions (and Wine) write
// the data and as much of the name as fits. Both keep the name length.
TEST_F(ValueEnumerationTest, ShortNameBufferIsMoreData) {
    SetString(scratch_, "Test", "foobar");
    nameLength_ = 3;
    size_ = 16;
    EXPECT_EQ(ERROR_MORE_DATA, Enumerate(0));
    EXPECT_EQ(3u, nameLength_);
    EXPECT_EQ(7u, size_);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type_);
    std::string name = name_;
    EXPECT_TRUE(name == "Te" || name == "xxxxxxxxxx") << name;
    std::string data = Text(buffer_);
    EXPECT_TRUE(data == "foobar" || data == "xxxxxxxxxx") << data;
}

TEST_F(ValueEnumerationTest, SizeOnlyEnumerationGivesDataLength) {
    const BYTE bytes[] = {9, 8, 7, 6, 5};
    SetBytes(scratch_, "Blob", REG_BINARY, bytes, sizeof(bytes));
    nameLength_ = sizeof(name_);
    size_ = kPoisonDword;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueA(scratch_, 0, name_, &nameLength_, nullptr, &type_, nullptr, &size_));
    EXPECT_EQ(5u, size_);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type_);
    EXPECT_STREQ("Blob", name_);
    EXPECT_EQ(4u, nameLength_);
}

}  // namespace
}  // namespace conformance
