// The open probe: slots out of range, absent and Bluetooth slots, and ports
// that don't open, without a handle left behind.
#include <gtest/gtest.h>

#include "inventory/port_table.h"
#include "probe/open_probe.h"
#include "sim/control.h"

namespace {

class OpenProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        ResetPortTable();
    }
    void TearDown() override { EXPECT_EQ(sim::OpenHandleCount(), 0); }
};

TEST_F(OpenProbeTest, SlotsOutsideTheTableAnswerZero) {
    FillFromDescription(80, "Bluetooth link");
    EXPECT_EQ(ProbePort(80), 0);
    EXPECT_EQ(ProbePort(static_cast<uint32_t>(-1)), 0);
    EXPECT_EQ(ProbePort(79), 1);
}

TEST_F(OpenProbeTest, AbsentSlotsAnswerZeroWithoutOpening) {
    sim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(ProbePort(0), 0);
    EXPECT_EQ(ProbePort(5), 0);
    // The armed failure is still waiting: nothing tried to open.
    EXPECT_EQ(CreateFileA("C:\\x", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST_F(OpenProbeTest, BluetoothSlotsAnswerTheirAvailableFlag) {
    FillFromDescription(4, "Standard Bluetooth link");
    EXPECT_EQ(ProbePort(3), 1);
    portTable.slots[3].available = 0;
    sim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(ProbePort(3), 0);
    HANDLE file = CreateFileA("C:\\x", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
}

TEST_F(OpenProbeTest, APortWithoutDeviceAnswersZero) {
    FillFromDescription(1, "Communications Port");
    FillFromDescription(12, "USB Serial");
    EXPECT_EQ(ProbePort(0), 0);
    EXPECT_EQ(ProbePort(11), 0);
}

TEST_F(OpenProbeTest, APresentPortIsOpened) {
    FillFromDescription(3, "Communications Port");
    sim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(ProbePort(2), 0);
    // The probe used up the armed failure, so it did try to open.
    HANDLE file = CreateFileA("C:\\x", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

}  // namespace
