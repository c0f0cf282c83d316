// The open probe: slots out of range, absent and Bluetooth slots, how a port
// is opened and closed, the WIDCOMM refresh before slot 0, and busy and slow
// ports in a whole test run.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "inventory/widcomm_pairings.h"
#include "probe/open_probe.h"
#include "sim/control.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"

namespace {

using Lines = std::vector<std::string>;

class OpenProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        ResetPortTable();
        BluetoothStack = BluetoothStackKind::None;
    }
    void TearDown() override {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        BluetoothStack = BluetoothStackKind::None;
    }
};

// Which slots are opened -----------------------------------------------------

TEST_F(OpenProbeTest, SlotsOutsideTheTableAnswerZero) {
    FillFromDescription(80, "Bluetooth link");
    EXPECT_EQ(ProbePort(80), 0);
    EXPECT_EQ(ProbePort(static_cast<uint32_t>(-1)), 0);
    EXPECT_EQ(ProbePort(79), 1);
    EXPECT_TRUE(sim::DeviceOpenAttempts().empty());
}

TEST_F(OpenProbeTest, AbsentSlotsAnswerZeroWithoutOpening) {
    Load("[@serial]\nCOM1=present\nCOM6=present\n");
    EXPECT_EQ(ProbePort(0), 0);
    EXPECT_EQ(ProbePort(5), 0);
    EXPECT_TRUE(sim::DeviceOpenAttempts().empty());
}

TEST_F(OpenProbeTest, BluetoothSlotsAnswerTheirAvailableFlagWithoutOpening) {
    Load("[@serial]\nCOM4=present\n");
    FillFromDescription(4, "Standard Bluetooth link");
    EXPECT_EQ(ProbePort(3), 1);
    portTable.slots[3].available = 0;
    EXPECT_EQ(ProbePort(3), 0);
    EXPECT_EQ(sim::DeviceOpenCount("COM4"), 0);
}

TEST_F(OpenProbeTest, APresentPortIsOpenedOnceWithoutSharingAndClosed) {
    Load("[@serial]\nCOM3=present\nCOM12=present\n");
    FillFromDescription(3, "Communications Port");
    FillFromDescription(12, "USB Serial Port");
    EXPECT_EQ(ProbePort(2), 1);
    EXPECT_EQ(ProbePort(11), 1);
    const std::vector<sim::DeviceOpenAttempt> attempts = sim::DeviceOpenAttempts();
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_EQ(attempts[0].port, 3);
    EXPECT_EQ(attempts[1].port, 12);
    for (const sim::DeviceOpenAttempt& attempt : attempts) {
        EXPECT_EQ(attempt.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
        EXPECT_EQ(attempt.shareMode, 0u);
        EXPECT_EQ(attempt.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(attempt.flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));
        EXPECT_TRUE(attempt.succeeded);
    }
}

TEST_F(OpenProbeTest, PortsThatDoNotOpenAnswerZero) {
    Load("[@serial]\nCOM2=absent\nCOM3=busy\n");
    for (int n = 1; n <= 3; ++n) {
        FillFromDescription(n, "Communications Port");
    }
    EXPECT_EQ(ProbePort(0), 0);
    EXPECT_EQ(ProbePort(1), 0);
    EXPECT_EQ(ProbePort(2), 0);
    EXPECT_EQ(sim::DeviceOpenCount("COM1"), 1);
    EXPECT_EQ(sim::DeviceOpenCount("\\\\.\\COM3"), 1);
}

TEST_F(OpenProbeTest, UnreadableLineSettingsDoNotMatter) {
    Load("[@serial]\nCOM5=nostate\nCOM6=present\n");
    FillFromDescription(5, "Communications Port");
    FillFromDescription(6, "Communications Port");
    sim::FailCall("GetCommState", ERROR_GEN_FAILURE, 1, 1);
    EXPECT_EQ(ProbePort(4), 1);
    EXPECT_EQ(ProbePort(5), 1);
}

TEST_F(OpenProbeTest, APortHeldOpenElsewhereAnswersZero) {
    Load("[@serial]\nCOM2=present\n");
    FillFromDescription(2, "Communications Port");
    HANDLE held = CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ProbePort(1), 0);
    CloseHandle(held);
    EXPECT_EQ(ProbePort(1), 1);
}

// The WIDCOMM refresh before slot 0 ------------------------------------------

class OpenProbeWidcommTest : public OpenProbeTest {
protected:
    void SetUp() override {
        OpenProbeTest::SetUp();
        Load(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\2]\n"
            "\"BDAddress\"=hex:00,11,22,aa,bb,cc\n"
            "\"BDName\"=\"Headset\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc]\n"
            "\"LinkKey\"=hex:01,02\n"
            "[@serial]\nCOM2=present\n");
        BluetoothStack = BluetoothStackKind::Widcomm;
        FillFromDescription(2, "Bluetooth Serial Link");
        ScanWidcommPairings(nullptr);
        ASSERT_EQ(portTable.slots[1].available, 1);
        ASSERT_STREQ(portTable.slots[1].displayName, "(COM2) Bluetooth [Headset]");
    }
};

TEST_F(OpenProbeWidcommTest, ProbingSlotZeroRereadsThePairings) {
    Load(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\2]\n"
        "\"BDName\"=\"Earpiece\"\n");
    // Other slots don't refresh.
    EXPECT_EQ(ProbePort(1), 1);
    EXPECT_STREQ(portTable.slots[1].displayName, "(COM2) Bluetooth [Headset]");
    // Slot 0 is absent, yet the pass runs first.
    EXPECT_EQ(ProbePort(0), 0);
    EXPECT_STREQ(portTable.slots[1].displayName, "(COM2) Bluetooth [Earpiece]");
    EXPECT_EQ(sim::DeviceOpenCount("COM2"), 0);
}

TEST_F(OpenProbeWidcommTest, UnpairedDeviceTurnsUnavailableAtSlotZero) {
    Load("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc]\n");
    EXPECT_EQ(ProbePort(1), 1);
    FillFromDescription(1, "Communications Port");
    EXPECT_EQ(ProbePort(0), 0);
    EXPECT_EQ(portTable.slots[1].available, 0);
    EXPECT_EQ(ProbePort(1), 0);
    EXPECT_STREQ(portTable.slots[1].displayName, "(COM2) Bluetooth [Headset]");
    EXPECT_EQ(sim::DeviceOpenCount("COM2"), 0);
}

// Whole test runs --------------------------------------------------------------

class OpenProbeRunTest : public MainDialogTest {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        // NT 4 finds its ports in the SERIALCOMM map.
        Load(
            "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
            "\"\\\\Device\\\\Serial0\"=\"COM1\"\n"
            "\"\\\\Device\\\\Serial1\"=\"COM3\"\n"
            "\"\\\\Device\\\\Serial2\"=\"COM4\"\n"
            "\"\\\\Device\\\\Serial3\"=\"COM5\"\n"
            "\"\\\\Device\\\\Serial4\"=\"COM6\"\n"
            "\"\\\\Device\\\\Serial5\"=\"COM7\"\n"
            "[@version]\nplatform=2\nmajor=4\nminor=0\nservicepack=6\n"
            "[@serial]\nCOM1=present\nCOM3=busy\nCOM4=slow:1500\nCOM5=nostate\nCOM7=slow:1000\n");
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
    }
};

TEST_F(OpenProbeRunTest, BusyAndSlowPortsInTheReport) {
    dialog_->RunTest();
    const std::string expected =
        "Search COM ports, Time=0.000000\r\n"
        "index 0 = (COM1) COM Port, Type=General\r\n"
        "index 2 = (COM3) COM Port, Type=General\r\n"
        "index 3 = (COM4) COM Port, Type=General\r\n"
        "index 4 = (COM5) COM Port, Type=General\r\n"
        "index 5 = (COM6) COM Port, Type=General\r\n"
        "index 6 = (COM7) COM Port, Type=General\r\n"
        "\r\nOpen test...\r\n"
        "index 0 = (COM1) COM Port, Res=1, Time=0.000000\r\n"
        "index 2 = (COM3) COM Port, Res=0, Time=0.000000\r\n"
        "index 3 = (COM4) COM Port, Res=1, Time=1.500000\r\n"
        "     Name = \\\\.\\COM4\r\n"
        "index 4 = (COM5) COM Port, Res=1, Time=0.000000\r\n"
        "index 5 = (COM6) COM Port, Res=0, Time=0.000000\r\n"
        "index 6 = (COM7) COM Port, Res=1, Time=1.000000\r\n"
        "\r\nTest finished.\r\n"
        "Please send \"ComList.txt\" to Tobrin.\r\n"
        "Thanks.\r\n";
    EXPECT_EQ(sim::FileContents("C:\\Tools\\ComList.txt"), expected);
    EXPECT_EQ(sim::DeviceOpenAttempts().size(), 6u);
}

TEST_F(OpenProbeRunTest, SlowOpenTimesFollowTheCounterFrequency) {
    sim::SetClockFrequency(1000);
    Load("[@serial]\nCOM4=slow:1001\nCOM7=slow:999\n");
    dialog_->RunTest();
    const std::string file = sim::FileContents("C:\\Tools\\ComList.txt");
    EXPECT_NE(file.find("index 3 = (COM4) COM Port, Res=1, Time=1.001000\r\n"
                        "     Name = \\\\.\\COM4\r\n"),
              std::string::npos);
    EXPECT_NE(file.find("index 6 = (COM7) COM Port, Res=1, Time=0.999000\r\n"
                        "\r\nTest finished."),
              std::string::npos);
}

}  // namespace
