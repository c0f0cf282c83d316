// The simulated runtime's multibyte functions: the machine's ANSI code page,
// how a profile or a test chooses it, what _setmbcp selects, and text that
// ends in the middle of a double-byte character.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "sim/control.h"

namespace {

const unsigned char* U(const char* text) {
    return reinterpret_cast<const unsigned char*>(text);
}

int Find(const char* text, unsigned int character) {
    const unsigned char* found = _mbschr(U(text), character);
    return found == nullptr ? -1 : static_cast<int>(found - U(text));
}

// Whether the current code page reads 0x81 0x5C as one character.
bool DoubleByte() {
    return Find("\x81\x5C", '\\') == -1;
}

class SimMbStringTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }
};

// Choosing the code page -----------------------------------------------------

TEST_F(SimMbStringTest, MachinesAreSingleByteByDefault) {
    EXPECT_FALSE(DoubleByte());
    EXPECT_EQ(_setmbcp(-3), 0);
    EXPECT_FALSE(DoubleByte());
}

TEST_F(SimMbStringTest, SetCodePageChangesTheMachineAndTheRuntime) {
    ASSERT_TRUE(sim::SetCodePage(932));
    EXPECT_TRUE(DoubleByte());
    ASSERT_EQ(_setmbcp(1252), 0);
    EXPECT_FALSE(DoubleByte());
    // -3 goes back to the machine's ANSI code page.
    ASSERT_EQ(_setmbcp(-3), 0);
    EXPECT_TRUE(DoubleByte());
    sim::ResetMachine();
    EXPECT_FALSE(DoubleByte());
}

TEST_F(SimMbStringTest, ProfileChoosesTheCodePage) {
    sim::ProfileError error;
    ASSERT_TRUE(sim::LoadProfile("REGEDIT4\n[@codepage]\n; Japanese\nacp = 932\n", &error))
        << error.message;
    EXPECT_TRUE(DoubleByte());
    ASSERT_EQ(_setmbcp(437), 0);
    EXPECT_FALSE(DoubleByte());
    EXPECT_EQ(_setmbcp(-3), 0);
    EXPECT_TRUE(DoubleByte());
}

TEST_F(SimMbStringTest, ProfileRejectsUnknownCodePageSettings) {
    for (const char* line : {"acp=65001", "acp=abc", "acp=", "oem=932", "932"}) {
        sim::ProfileError error;
        EXPECT_FALSE(sim::LoadProfile(std::string("REGEDIT4\n[@codepage]\n") + line, &error))
            << line;
        EXPECT_EQ(error.line, 3) << line;
        EXPECT_FALSE(error.message.empty());
    }
    EXPECT_FALSE(DoubleByte());
}

TEST_F(SimMbStringTest, UnmodelledCodePagesAreRefused) {
    EXPECT_FALSE(sim::SetCodePage(65001));
    EXPECT_FALSE(sim::SetCodePage(0));
    EXPECT_EQ(_setmbcp(12345), -1);
    EXPECT_FALSE(DoubleByte());
    ASSERT_TRUE(sim::SetCodePage(932));
    EXPECT_EQ(_setmbcp(-7), -1);
    EXPECT_TRUE(DoubleByte());
}

TEST_F(SimMbStringTest, OemCodePageFollowsTheMachine) {
    ASSERT_EQ(_setmbcp(-2), 0);
    EXPECT_FALSE(DoubleByte());
    ASSERT_TRUE(sim::SetCodePage(932));
    ASSERT_EQ(_setmbcp(1252), 0);
    ASSERT_EQ(_setmbcp(-2), 0);
    EXPECT_TRUE(DoubleByte());
}

TEST_F(SimMbStringTest, EachDoubleByteCodePageHasItsLeadBytes) {
    ASSERT_TRUE(sim::SetCodePage(932));
    // 0xA1 is a single-byte katakana in 932, a lead byte in the others.
    EXPECT_EQ(Find("\xA1\\", '\\'), 1);
    EXPECT_EQ(Find("\xFC\\", '\\'), -1);
    EXPECT_EQ(Find("\xFD\\", '\\'), 1);
    for (int page : {936, 949, 950}) {
        ASSERT_TRUE(sim::SetCodePage(page));
        EXPECT_EQ(Find("\xA1\\", '\\'), -1) << page;
        EXPECT_EQ(Find("\xFE\\", '\\'), -1) << page;
        EXPECT_EQ(Find("\x80\\", '\\'), 1) << page;
    }
}

// Text cut inside a character ------------------------------------------------

TEST_F(SimMbStringTest, LeadByteBeforeTheTerminatorEndsTheText) {
    ASSERT_TRUE(sim::SetCodePage(932));
    // The byte after the string must not be reached: it would match.
    const char text[] = {'a', 'b', '\x81', '\0', '\\', '\0'};
    EXPECT_EQ(Find(text, '\\'), -1);
    EXPECT_EQ(Find(text, 0), -1);
    EXPECT_EQ(Find("ab", 0), 2);

    unsigned char upper[] = {'a', 0x81, 0, 'z', 0};
    _mbsupr(upper);
    EXPECT_EQ(upper[0], 'A');
    EXPECT_EQ(upper[1], 0x81);
    EXPECT_EQ(upper[3], 'z');
}

TEST_F(SimMbStringTest, ComparisonsStopAtACutCharacter) {
    ASSERT_TRUE(sim::SetCodePage(932));
    EXPECT_EQ(_mbsicmp(U("ab\x81"), U("AB\x81")), 0);
    EXPECT_LT(_mbsicmp(U("ab"), U("AB\x81\x40")), 0);
    EXPECT_GT(_mbsnicmp(U("a\x81\x40"), U("A\x41"), 2), 0);
}

TEST_F(SimMbStringTest, NullArgumentsAreAnswered) {
    EXPECT_EQ(_mbschr(nullptr, 'a'), nullptr);
    EXPECT_EQ(_mbsupr(nullptr), nullptr);
    EXPECT_EQ(_mbsicmp(nullptr, U("a")), 0x7fffffff);
    EXPECT_EQ(_mbsnicmp(U("a"), nullptr, 1), 0x7fffffff);
}

}  // namespace
