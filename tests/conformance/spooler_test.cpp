// The print spooler's level-2 port list: the size query, where the records and
// their texts go in the caller's buffer, short buffers and unknown levels.
// Under Windows the ports are the values of the registry's Ports key, which
// the test replaces and restores; the simulation takes them from a profile.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend.h"

namespace conformance {
namespace {

constexpr DWORD kSlack = 64;
// What a local port is called and described as.
constexpr char kMonitor[] = "Local Monitor";
constexpr char kDescription[] = "Local Port";

#ifdef _WIN32
constexpr char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

struct SavedValue {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};
#endif

class SpoolerTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
#ifdef _WIN32
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_ALL_ACCESS, &portsKey_));
        for (DWORD index = 0;; ++index) {
            char name[256];
            DWORD nameLength = sizeof name;
            BYTE data[1024];
            DWORD dataLength = sizeof data;
            DWORD type = 0;
            if (RegEnumValueA(portsKey_, index, name, &nameLength, nullptr, &type, data,
                              &dataLength) != ERROR_SUCCESS) {
                break;
            }
            saved_.push_back({name, type, std::vector<BYTE>(data, data + dataLength)});
        }
        for (const SavedValue& value : saved_) {
            RegDeleteValueA(portsKey_, value.name.c_str());
        }
#endif
    }

    void TearDown() override {
#ifdef _WIN32
        for (const std::string& port : ports_) {
            RegDeleteValueA(portsKey_, port.c_str());
        }
        for (const SavedValue& value : saved_) {
            RegSetValueExA(portsKey_, value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        }
        RegCloseKey(portsKey_);
#endif
    }

    // Adds a port to those the machine has; give it a name that sorts last.
    void AddPort(const std::string& port) {
        ports_.push_back(port);
#ifdef _WIN32
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(portsKey_, port.c_str(), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(""), 1));
#else
        sim::AddSpoolerPort({port, kDescription, false});
#endif
    }

    // Makes these the machine's only ports. Wine lists them sorted by name,
    // Windows and the simulation in the order written: tests give them sorted.
    void UsePorts(const std::vector<std::string>& ports) {
        ports_ = ports;
#ifdef _WIN32
        for (const std::string& port : ports) {
            ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(portsKey_, port.c_str(), 0, REG_SZ,
                                                    reinterpret_cast<const BYTE*>(""), 1));
        }
#else
        std::string profile = "REGEDIT4\n[@spooler]\n";
        for (const std::string& port : ports) {
            profile += "\"" + port + "\"=\"" + kDescription + "\"\n";
        }
        sim::ProfileError error;
        ASSERT_TRUE(sim::LoadProfile(profile, &error)) << error.message;
#endif
    }

    DWORD ExpectedNeeded() const {
        DWORD needed = static_cast<DWORD>(ports_.size() * sizeof(PORT_INFO_2A));
        for (const std::string& port : ports_) {
            needed += static_cast<DWORD>(port.size() + 1 + sizeof kMonitor + sizeof kDescription);
        }
        return needed;
    }

    static DWORD AskNeeded() {
        DWORD needed = kPoisonDword;
        DWORD returned = kPoisonDword;
        EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
        return needed;
    }

    std::vector<std::string> ports_;
#ifdef _WIN32
    HKEY portsKey_ = nullptr;
    std::vector<SavedValue> saved_;
#endif
};

// Sorted byte by byte, the way Wine lists them: ':' sorts after the digits.
const std::vector<std::string> kPorts = {"COM12:", "COM1:", "FILE:", "LPT1:"};

TEST_F(SpoolerTest, SizeQueryFailsWithRecordsAndTextsCounted) {
    UsePorts(kPorts);
    DWORD needed = kPoisonDword;
    DWORD returned = kPoisonDword;
    SetLastError(0);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(ExpectedNeeded(), needed);
    EXPECT_EQ(0u, returned);
}

TEST_F(SpoolerTest, ListingPutsRecordsFirstAndTheirTextsInsideTheBuffer) {
    UsePorts(kPorts);
    const DWORD needed = AskNeeded();
    ASSERT_EQ(ExpectedNeeded(), needed);
    std::vector<BYTE> buffer(needed + kSlack, kPoison);
    DWORD reported = kPoisonDword;
    DWORD returned = kPoisonDword;
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &reported, &returned));
    EXPECT_EQ(needed, reported);
    ASSERT_EQ(kPorts.size(), returned);
    const BYTE* textsStart = buffer.data() + returned * sizeof(PORT_INFO_2A);
    const BYTE* end = buffer.data() + needed;
    auto inside = [&](const char* text) {
        const BYTE* at = reinterpret_cast<const BYTE*>(text);
        return at >= textsStart && at < end && at + std::strlen(text) < end;
    };
    for (DWORD i = 0; i < returned; ++i) {
        PORT_INFO_2A port;
        std::memcpy(&port, buffer.data() + i * sizeof port, sizeof port);
        EXPECT_EQ(kPorts[i], port.pPortName);
        EXPECT_STREQ(kMonitor, port.pMonitorName);
        EXPECT_STREQ(kDescription, port.pDescription);
        EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), port.fPortType);
        EXPECT_EQ(0u, port.Reserved);
        EXPECT_TRUE(inside(port.pPortName)) << i;
        EXPECT_TRUE(inside(port.pMonitorName)) << i;
        EXPECT_TRUE(inside(port.pDescription)) << i;
    }
    for (DWORD i = needed; i < buffer.size(); ++i) {
        ASSERT_EQ(kPoison, buffer[i]) << "written past the size given, at " << i;
    }
}

TEST_F(SpoolerTest, BufferOneByteShortIsRefused) {
    UsePorts(kPorts);
    const DWORD needed = AskNeeded();
    std::vector<BYTE> buffer(needed, kPoison);
    DWORD reported = kPoisonDword;
    DWORD returned = kPoisonDword;
    SetLastError(0);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, buffer.data(), needed - 1, &reported, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(needed, reported);
    EXPECT_EQ(0u, returned);
}

// A port added between the size query and the listing: the buffer sized by
// the query no longer holds the list, and nothing is returned.
TEST_F(SpoolerTest, ListingThatGrewSinceTheSizeQueryIsRefused) {
    UsePorts(kPorts);
    const DWORD firstNeeded = AskNeeded();
    AddPort("LPT9:");
    std::vector<BYTE> buffer(firstNeeded + kSlack, kPoison);
    DWORD reported = kPoisonDword;
    DWORD returned = kPoisonDword;
    SetLastError(0);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, buffer.data(), firstNeeded, &reported, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(ExpectedNeeded(), reported);
    EXPECT_GT(reported, firstNeeded);
    EXPECT_EQ(0u, returned);
}

TEST_F(SpoolerTest, LargerBufferIsAccepted) {
    UsePorts(kPorts);
    const DWORD needed = AskNeeded();
    std::vector<BYTE> buffer(needed + kSlack, kPoison);
    DWORD reported = kPoisonDword;
    DWORD returned = kPoisonDword;
    EXPECT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed + kSlack, &reported, &returned));
    EXPECT_EQ(needed, reported);
    EXPECT_EQ(kPorts.size(), returned);
}

TEST_F(SpoolerTest, NamesKeepTheirLetterCase) {
    UsePorts({"COM3:", "com4:"});
    const DWORD needed = AskNeeded();
    std::vector<BYTE> buffer(needed, kPoison);
    DWORD returned = 0;
    DWORD reported = 0;
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &reported, &returned));
    ASSERT_EQ(2u, returned);
    PORT_INFO_2A second;
    std::memcpy(&second, buffer.data() + sizeof second, sizeof second);
    EXPECT_STREQ("com4:", second.pPortName);
}

TEST_F(SpoolerTest, UnknownLevelIsRefused) {
    UsePorts(kPorts);
    for (DWORD level : {DWORD{0}, DWORD{3}}) {
        DWORD needed = 0;
        DWORD returned = 0;
        SetLastError(0);
        EXPECT_FALSE(EnumPortsA(nullptr, level, nullptr, 0, &needed, &returned)) << level;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError()) << level;
    }
}

}  // namespace
}  // namespace conformance
