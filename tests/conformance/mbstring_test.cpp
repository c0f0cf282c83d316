// The runtime's multibyte string functions in the double-byte code page 932,
// where a backslash or a letter byte can be the second half of a character.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "backend.h"

namespace conformance {
namespace {

using Bytes = unsigned char;

class MbStringTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
        if (_setmbcp(932) != 0) {
            GTEST_SKIP() << "code page 932 is not available";
        }
    }
    void TearDown() override { _setmbcp(-3); }

    static const Bytes* U(const char* text) { return reinterpret_cast<const Bytes*>(text); }

    // The offset _mbschr finds, or -1 for none.
    static int Find(const char* text, unsigned int character) {
        const Bytes* found = _mbschr(U(text), character);
        return found == nullptr ? -1 : static_cast<int>(found - U(text));
    }

    static std::string Upper(const char* text) {
        Bytes buffer[64];
        std::strcpy(reinterpret_cast<char*>(buffer), text);
        EXPECT_EQ(buffer, _mbsupr(buffer));
        return reinterpret_cast<const char*>(buffer);
    }

    static int Sign(int value) { return (value > 0) - (value < 0); }
};

TEST_F(MbStringTest, TrailBackslashIsNoBackslash) {
    // 0x81 0x5C and 0x95 0x5C are characters whose second byte is 0x5C.
    EXPECT_EQ(3, Find("\x81\x5C"
                      "a\\b",
                      '\\'));
    EXPECT_EQ(-1, Find("\x95\x5C\x95\x5C", '\\'));
    EXPECT_EQ(0, Find("\\\x81\x5C", '\\'));
    EXPECT_EQ(4, Find("\xE0\x5C\xFC\x5C\\", '\\'));
}

TEST_F(MbStringTest, SingleByteKatakanaAreNoLeadBytes) {
    // 0xA1 to 0xDF stand alone, so the backslash after them counts.
    EXPECT_EQ(1, Find("\xB1\\", '\\'));
    EXPECT_EQ(1, Find("\xDF\\x", '\\'));
}

TEST_F(MbStringTest, DoubleByteCharactersAreFoundWhole) {
    EXPECT_EQ(2, Find("ab\x81\x5C", 0x815C));
    EXPECT_EQ(-1, Find("a\x5C\x81", 0x815C));
    EXPECT_EQ(5, Find("a\x81\x5C"
                      "bc",
                      0));
}

TEST_F(MbStringTest, UpperCaseLeavesDoubleByteCharactersAlone) {
    EXPECT_EQ(
        "AB\x82\x61"
        "CD",
        Upper("ab\x82\x61"
              "cd"));
    EXPECT_EQ(
        "\x81\x7A"
        "Z",
        Upper("\x81\x7A"
              "z"));
    EXPECT_EQ(
        "\xB1"
        "A",
        Upper("\xB1"
              "a"));
}

TEST_F(MbStringTest, CaseBlindComparisonFoldsOnlySingleBytes) {
    EXPECT_EQ(0, _mbsicmp(U("ABC\x81\x5C"
                            "D"),
                          U("abc\x81\x5C"
                            "d")));
    EXPECT_NE(0, _mbsicmp(U("\x82\x61"), U("\x82\x41")));
    EXPECT_EQ(-1, Sign(_mbsicmp(U("abc"), U("ABD"))));
    EXPECT_EQ(1, Sign(_mbsicmp(U("abcd"), U("ABC"))));
    // The lower-case forms are compared: '_' lies below 'a'.
    EXPECT_EQ(-1, Sign(_mbsicmp(U("_"), U("A"))));
}

TEST_F(MbStringTest, CaseBlindComparisonCountsCharacters) {
    EXPECT_EQ(0, _mbsnicmp(U("\x81\x40x"), U("\x81\x40y"), 1));
    EXPECT_EQ(-1, Sign(_mbsnicmp(U("\x81\x40x"), U("\x81\x40Y"), 2)));
    EXPECT_EQ(0, _mbsnicmp(U("Com\x81\x5C"
                             "1"),
                           U("COM\x81\x5C"
                             "2"),
                           4));
    EXPECT_EQ(0, _mbsnicmp(U("abc"), U("ABD"), 0));
}

TEST_F(MbStringTest, SingleByteCodePageTreatsEveryByteAlone) {
    ASSERT_EQ(0, _setmbcp(1252));
    EXPECT_EQ(1, Find("\x81\x5C", '\\'));
    EXPECT_EQ(0, _mbsicmp(U("Com1"), U("cOM1")));
    EXPECT_EQ(
        "\x81"
        "A\\",
        Upper("\x81"
              "a\\"));
    // Only the ASCII letters change case.
    EXPECT_EQ("\xE9\xFF", Upper("\xE9\xFF"));
    EXPECT_NE(0, _mbsicmp(U("\xE9"), U("\xC9")));
}

}  // namespace
}  // namespace conformance
