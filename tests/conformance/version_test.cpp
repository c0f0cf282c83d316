// GetVersionExA with the basic record, the extended record and a wrong size.
// The values themselves depend on the machine (or Wine prefix), so only their
// consistency is checked.
#include <gtest/gtest.h>

#include <cstring>

#include "backend.h"

namespace conformance {
namespace {

class VersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
        std::memset(&extended_, kPoison, sizeof(extended_));
        std::memset(&basic_, kPoison, sizeof(basic_));
    }

    BOOL QueryBasic() {
        basic_.info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        return GetVersionExA(&basic_.info);
    }

    BOOL QueryExtended() {
        extended_.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
        return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended_));
    }

    // A basic record with room after it, to see that nothing is written there.
    struct {
        OSVERSIONINFOA info;
        BYTE after[8];
    } basic_;
    OSVERSIONINFOEXA extended_;
};

TEST_F(VersionTest, RecordSizesMatchWindows) {
    EXPECT_EQ(148u, sizeof(OSVERSIONINFOA));
    EXPECT_EQ(156u, sizeof(OSVERSIONINFOEXA));
}

TEST_F(VersionTest, BasicRecordIsFilledAndNothingBeyondIt) {
    ASSERT_TRUE(QueryBasic());
    EXPECT_EQ(148u, basic_.info.dwOSVersionInfoSize);
    EXPECT_NE(0xCCCCCCCCu, basic_.info.dwMajorVersion);
    EXPECT_NE(0xCCCCCCCCu, basic_.info.dwPlatformId);
    EXPECT_NE(nullptr, std::memchr(basic_.info.szCSDVersion, 0, sizeof(basic_.info.szCSDVersion)));
    for (BYTE byte : basic_.after) {
        EXPECT_EQ(kPoison, byte);
    }
}

// NT 4 before Service Pack 6 refuses this size; checked under Wine 8.0 (64-bit) as winxp
TEST_F(VersionTest, ExtendedRecordAgreesWithBasicRecord) {
    ASSERT_TRUE(QueryBasic());
    ASSERT_TRUE(QueryExtended());
    EXPECT_EQ(156u, extended_.dwOSVersionInfoSize);
    EXPECT_EQ(basic_.info.dwMajorVersion, extended_.dwMajorVersion);
    EXPECT_EQ(basic_.info.dwMinorVersion, extended_.dwMinorVersion);
    EXPECT_EQ(basic_.info.dwBuildNumber, extended_.dwBuildNumber);
    EXPECT_EQ(basic_.info.dwPlatformId, extended_.dwPlatformId);
    EXPECT_STREQ(basic_.info.szCSDVersion, extended_.szCSDVersion);
    EXPECT_NE(0xCCCCu, extended_.wServicePackMajor);
    EXPECT_NE(0xCCCCu, extended_.wServicePackMinor);
}

TEST_F(VersionTest, WrongSizeFailsWithInsufficientBuffer) {
    for (DWORD size : {0u, 147u, 149u, 155u, 157u, 276u}) {
        std::memset(&extended_, kPoison, sizeof(extended_));
        extended_.dwOSVersionInfoSize = size;
        SetLastError(kPoisonDword);
        EXPECT_FALSE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended_))) << size;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
        EXPECT_EQ(0xCCCCCCCCu, extended_.dwMajorVersion) << size;
    }
}

}  // namespace
}  // namespace conformance
