// Serial ports opened the way the open probe opens them: a port with a device
// behind it (a pseudo-terminal under Wine) opens and reports its line
// settings, a name with no device fails, and handles close once. Busy, slow
// and stateless ports only the simulated Windows can show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "backend.h"

namespace conformance {
namespace {

// The port the test runner puts a device behind; its script maps a
// pseudo-terminal there under Wine.
std::string MappedPort() {
    const char* port = std::getenv("VARNOBEL_TEST_COM_PORT");
    if (port != nullptr && *port != '\0') {
        return port;
    }
    return backend::kSimulated ? "COM9" : "";
}

HANDLE OpenPort(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
#ifndef _WIN32
        sim::ProfileError error;
        ASSERT_TRUE(sim::LoadProfile("REGEDIT4\n[@serial]\n" + MappedPort() + "=present\n", &error))
            << error.message;
#endif
    }
};

TEST_F(SerialTest, APortWithoutDeviceIsNotFound) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPort("\\\\.\\COM40"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPort("\\\\.\\COM255"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(SerialTest, AMappedPortOpensAndReportsItsLineSettings) {
    const std::string port = MappedPort();
    if (port.empty()) {
        GTEST_SKIP() << "no port mapped by the test runner (VARNOBEL_TEST_COM_PORT)";
    }
    HANDLE handle = OpenPort("\\\\.\\" + port);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle) << "error " << GetLastError();

    DCB settings;
    std::memset(&settings, 0xCC, sizeof settings);
    settings.DCBlength = sizeof settings;
    EXPECT_TRUE(GetCommState(handle, &settings)) << "error " << GetLastError();
    EXPECT_EQ(sizeof settings, settings.DCBlength);
    EXPECT_GT(settings.BaudRate, 0u);
    EXPECT_EQ(8, settings.ByteSize);
    EXPECT_EQ(NOPARITY, settings.Parity);
    EXPECT_EQ(ONESTOPBIT, settings.StopBits);
    EXPECT_EQ(1u, settings.fBinary);

    EXPECT_TRUE(CloseHandle(handle));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(SerialTest, AClosedPortHandleHasNoLineSettings) {
    const std::string port = MappedPort();
    if (port.empty()) {
        GTEST_SKIP() << "no port mapped by the test runner (VARNOBEL_TEST_COM_PORT)";
    }
    HANDLE handle = OpenPort("\\\\.\\" + port);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    ASSERT_TRUE(CloseHandle(handle));
    // The port can be opened again once it is closed.
    HANDLE again = OpenPort("\\\\.\\" + port);
    ASSERT_NE(INVALID_HANDLE_VALUE, again);
    EXPECT_TRUE(CloseHandle(again));

    DCB settings;
    std::memset(&settings, 0, sizeof settings);
    settings.DCBlength = sizeof settings;
    SetLastError(0);
    EXPECT_FALSE(GetCommState(handle, &settings));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(SerialTest, AFileHasNoLineSettings) {
    HANDLE file = CreateFileA("C:\\VarnobelSerial.tmp", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "error " << GetLastError();
    DCB settings;
    std::memset(&settings, 0, sizeof settings);
    settings.DCBlength = sizeof settings;
    SetLastError(0);
    EXPECT_FALSE(GetCommState(file, &settings));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(SerialTest, NullIsNoHandle) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

#ifndef _WIN32

// Serial devices of the simulated machine -----------------------------------

class SimulatedSerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        sim::ProfileError error;
        ASSERT_TRUE(
            sim::LoadProfile("REGEDIT4\n[@serial]\nCOM1=present\nCOM2=absent\n"
                             "COM3=busy\ncom4 = Slow:1500\nCOM5=nostate\nCOM12=present\n",
                             &error))
            << error.message;
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount());
        sim::ResetMachine();
    }

    static DWORD OpenError(const char* name) {
        SetLastError(0);
        HANDLE handle = OpenPort(name);
        EXPECT_EQ(INVALID_HANDLE_VALUE, handle) << name;
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
        return GetLastError();
    }
};

TEST_F(SimulatedSerialTest, EachKindOfDeviceOpensAsDescribed) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError("\\\\.\\COM2"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError("\\\\.\\COM6"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenError("\\\\.\\COM3"));
    for (const char* name : {"\\\\.\\COM1", "\\\\.\\com5", "\\\\.\\COM12", "COM1"}) {
        HANDLE handle = OpenPort(name);
        EXPECT_NE(INVALID_HANDLE_VALUE, handle) << name;
        EXPECT_EQ(1, sim::OpenHandleCount());
        CloseHandle(handle);
    }
}

TEST_F(SimulatedSerialTest, SlowPortMovesTheClockByItsDelay) {
    sim::SetClockCounter(100);
    HANDLE handle = OpenPort("\\\\.\\COM4");
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    // 1.5 s at 3,579,545 Hz, rounded up to whole ticks.
    EXPECT_EQ(100 + 5369318, sim::ClockCounter());
    CloseHandle(handle);
    sim::SetClockFrequency(1000);
    handle = OpenPort("\\\\.\\COM4");
    EXPECT_EQ(100 + 5369318 + 1500, sim::ClockCounter());
    CloseHandle(handle);
}

TEST_F(SimulatedSerialTest, LineSettingsOfAPresentAndAStatelessPort) {
    DCB settings;
    std::memset(&settings, 0xCC, sizeof settings);
    HANDLE port = OpenPort("\\\\.\\COM1");
    ASSERT_TRUE(GetCommState(port, &settings));
    EXPECT_EQ(sizeof settings, settings.DCBlength);
    EXPECT_EQ(9600u, settings.BaudRate);
    EXPECT_EQ(8, settings.ByteSize);
    EXPECT_EQ(NOPARITY, settings.Parity);
    EXPECT_EQ(ONESTOPBIT, settings.StopBits);
    CloseHandle(port);

    HANDLE stateless = OpenPort("\\\\.\\COM5");
    ASSERT_NE(INVALID_HANDLE_VALUE, stateless);
    SetLastError(0);
    EXPECT_FALSE(GetCommState(stateless, &settings));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    CloseHandle(stateless);
}

TEST_F(SimulatedSerialTest, APortHasOneOpenerAtATime) {
    HANDLE first = OpenPort("\\\\.\\COM1");
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenError("COM1"));
    CloseHandle(first);
}

TEST_F(SimulatedSerialTest, OnlyCom1ToCom9AreDevicesWithoutThePrefix) {
    // Without "\\.\" COM12 is a file name; there is no such file.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError("COM12"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError("\\\\.\\COM012"));
    // Neither name reached a device.
    EXPECT_TRUE(sim::DeviceOpenAttempts().empty());
}

TEST_F(SimulatedSerialTest, OpenAttemptsAreCountedByPort) {
    OpenError("\\\\.\\COM3");
    OpenError("COM3");
    sim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 1, 1);
    OpenError("\\\\.\\COM1");
    EXPECT_EQ(2, sim::DeviceOpenCount("COM3"));
    EXPECT_EQ(2, sim::DeviceOpenCount("\\\\.\\com3"));
    EXPECT_EQ(1, sim::DeviceOpenCount("COM1"));
    EXPECT_EQ(0, sim::DeviceOpenCount("COM7"));
    EXPECT_EQ(0, sim::DeviceOpenCount("LPT1"));
    ASSERT_EQ(3u, sim::DeviceOpenAttempts().size());
    EXPECT_FALSE(sim::DeviceOpenAttempts()[2].succeeded);
}

TEST_F(SimulatedSerialTest, WritesToAPortLeaveNoFile) {
    HANDLE port = OpenPort("\\\\.\\COM1");
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(port, "AT\r", 3, &written, nullptr));
    EXPECT_EQ(3u, written);
    CloseHandle(port);
    EXPECT_FALSE(sim::FileExists("\\\\.\\COM1"));
}

TEST_F(SimulatedSerialTest, BadSerialLinesAreRejected) {
    for (const char* line : {"COM0=present", "COM257=present", "LPT1=present", "COM3=fast",
                             "COM4=slow:", "COM4=slow:-5", "COM4"}) {
        sim::ProfileError error;
        EXPECT_FALSE(sim::LoadProfile(std::string("REGEDIT4\n[@serial]\n") + line, &error)) << line;
        EXPECT_EQ(3, error.line) << line;
    }
}

#endif

}  // namespace
}  // namespace conformance
