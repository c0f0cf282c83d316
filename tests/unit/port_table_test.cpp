// The port table: reset state, port-number parsing, classification of
// descriptions and the copy limits of the text fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "inventory/port_table.h"
#include "sim/control.h"

namespace {

class PortTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        ResetPortTable();
    }
};

TEST(PortRecordLayout, FieldsHaveTheirWidths) {
    EXPECT_EQ(sizeof(PortRecord::kind), 1u);
    EXPECT_EQ(sizeof(PortRecord::available), 4u);
    EXPECT_EQ(sizeof(PortRecord::devicePath), 12u);
    EXPECT_EQ(sizeof(PortRecord::displayName), 41u);
    EXPECT_EQ(sizeof(PortRecord::description), 129u);
    EXPECT_EQ(sizeof(PortTable::slots) / sizeof(PortRecord), 80u);
    EXPECT_LT(offsetof(PortRecord, kind), offsetof(PortRecord, available));
    EXPECT_LT(offsetof(PortRecord, available), offsetof(PortRecord, devicePath));
    EXPECT_LT(offsetof(PortRecord, devicePath), offsetof(PortRecord, displayName));
    EXPECT_LT(offsetof(PortRecord, displayName), offsetof(PortRecord, description));
}

TEST_F(PortTableTest, ResetEmptiesEverySlot) {
    FillFromDescription(7, "USB Serial");
    portTable.slots[6].available = 0;
    ResetPortTable();
    const PortRecord& slot = portTable.slots[6];
    EXPECT_STREQ(slot.devicePath, "\\\\.\\COM7");
    EXPECT_STREQ(slot.displayName, "\\\\.\\COM7");
    EXPECT_STREQ(slot.description, "\\\\.\\COM7");
    EXPECT_EQ(slot.kind, Absent);
    EXPECT_EQ(slot.available, 1);
    EXPECT_STREQ(portTable.slots[0].devicePath, "\\\\.\\COM1");
    EXPECT_STREQ(portTable.slots[79].devicePath, "\\\\.\\COM80");
    for (const PortRecord& each : portTable.slots) {
        EXPECT_EQ(each.kind, Absent);
        EXPECT_EQ(each.available, 1);
    }
}

TEST(ParsePortNumber, AcceptsOnlyOneToEighty) {
    EXPECT_EQ(ParsePortNumber("0"), 0);
    EXPECT_EQ(ParsePortNumber("81"), 0);
    EXPECT_EQ(ParsePortNumber("-3"), 0);
    EXPECT_EQ(ParsePortNumber("05"), 5);
    EXPECT_EQ(ParsePortNumber("12abc"), 12);
    EXPECT_EQ(ParsePortNumber("1"), 1);
    EXPECT_EQ(ParsePortNumber("80"), 80);
}

TEST(ParsePortNumber, ReadsLikeAtoi) {
    EXPECT_EQ(ParsePortNumber("  +9"), 9);
    EXPECT_EQ(ParsePortNumber("\t3:"), 3);
    EXPECT_EQ(ParsePortNumber(""), 0);
    EXPECT_EQ(ParsePortNumber("abc"), 0);
    EXPECT_EQ(ParsePortNumber("4 2"), 4);
    EXPECT_EQ(ParsePortNumber(nullptr), 0);
    EXPECT_EQ(ParsePortNumber("\n\v\f\r 7"), 7);
    EXPECT_EQ(ParsePortNumber("000000000000000000012"), 12);
    EXPECT_EQ(ParsePortNumber("-0"), 0);
    EXPECT_EQ(ParsePortNumber("- 3"), 0);
    EXPECT_EQ(ParsePortNumber("+-3"), 0);
}

// Through atoi these wrap to small numbers on some runtimes.
TEST(ParsePortNumber, NumbersBeyondAnIntAreNoPorts) {
    EXPECT_EQ(ParsePortNumber("4294967297"), 0);
    EXPECT_EQ(ParsePortNumber("-4294967293"), 0);
    EXPECT_EQ(ParsePortNumber("18446744073709551617"), 0);
    EXPECT_EQ(ParsePortNumber("2147483648"), 0);
}

TEST(ClassifyDescription, FindsBluetoothByEveryRule) {
    EXPECT_EQ(ClassifyDescription("Standard Bluetooth link"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("My BT adapter"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("BT Port"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("Serial over BT"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("my bt adapter"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("bluetooth usb dongle"), Bluetooth);
}

TEST(ClassifyDescription, RejectsNearMisses) {
    EXPECT_EQ(ClassifyDescription("BTX device"), General);
    EXPECT_EQ(ClassifyDescription("BT"), General);
    EXPECT_EQ(ClassifyDescription(" BT"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("ABT"), General);
    EXPECT_EQ(ClassifyDescription("OBTAIN port"), General);
    EXPECT_EQ(ClassifyDescription(""), General);
}

// " BT " must stand as a word of its own, or open or close the text.
TEST(ClassifyDescription, BtCountsOnlyAsAWord) {
    EXPECT_EQ(ClassifyDescription("a BT b"), Bluetooth);
    EXPECT_EQ(ClassifyDescription("My BTX adapter"), General);
    EXPECT_EQ(ClassifyDescription("MyBT adapter"), General);
    EXPECT_EQ(ClassifyDescription("BT"), General);
    EXPECT_EQ(ClassifyDescription("BT "), Bluetooth);
    EXPECT_EQ(ClassifyDescription("BTport x"), General);
    EXPECT_EQ(ClassifyDescription("x xBT"), General);
    EXPECT_EQ(ClassifyDescription("x BTx"), General);
    EXPECT_EQ(ClassifyDescription("x BT"), Bluetooth);
}

TEST(ClassifyDescription, UsbBeforeInfrared) {
    EXPECT_EQ(ClassifyDescription("USB Infrared Adapter"), Usb);
    EXPECT_EQ(ClassifyDescription("Infrared port"), Infrared);
    EXPECT_EQ(ClassifyDescription("infrared port"), Infrared);
    EXPECT_EQ(ClassifyDescription("Communications Port"), General);
}

// Descriptions whose only clue is at their very end, at lengths either side
// of the upper-case copy's stack buffer: the clue is found at every length,
// so the whole text was copied, and the sanitizer build sees any byte
// written or read past the buffer.
TEST(ClassifyDescription, ReadsTheLastCharactersOfLongDescriptions) {
    sim::ResetMachine();
    for (size_t length = 250; length <= 260; ++length) {
        const std::string padding(length - 3, 'x');
        EXPECT_EQ(ClassifyDescription((padding + "usb").c_str()), Usb) << length;
        EXPECT_EQ(ClassifyDescription((padding + " bt").c_str()), Bluetooth) << length;
    }
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST(ClassifyDescription, LeavesTheCallersTextAlone) {
    char text[] = "usb serial";
    EXPECT_EQ(ClassifyDescription(text), Usb);
    EXPECT_STREQ(text, "usb serial");
}

TEST(ClassifyDescription, LooksAtTheWholeOfALongDescription) {
    const std::string longText = std::string(300, 'x') + " BT";
    EXPECT_EQ(ClassifyDescription(longText.c_str()), Bluetooth);
}

// Up to 255 characters the upper-case copy fits on the stack; from 256 on it
// goes to the heap, and the whole text is still looked at.
TEST(ClassifyDescription, DescriptionsAroundTheStackCopysSize) {
    sim::ResetMachine();
    for (std::size_t length : {255u, 256u, 257u}) {
        const std::string text = std::string(length - 9, 'x') + "BLUETOOTH";
        const unsigned before = sim::AllocationCount();
        EXPECT_EQ(ClassifyDescription(text.c_str()), Bluetooth) << length;
        EXPECT_EQ(sim::AllocationCount() - before, length < 256 ? 0u : 1u) << length;
        EXPECT_EQ(sim::LiveAllocations(), 0) << length;
    }
}

TEST_F(PortTableTest, FillFromDescriptionWritesKindAndLabel) {
    FillFromDescription(3, "USB Serial Port Adapter");
    const PortRecord& slot = portTable.slots[2];
    EXPECT_EQ(slot.kind, Usb);
    EXPECT_STREQ(slot.displayName, "(COM3) USB Serial Port");
    EXPECT_STREQ(slot.description, "USB Serial Port Adapter");
    EXPECT_STREQ(slot.devicePath, "\\\\.\\COM3");
    EXPECT_EQ(slot.available, 1);

    FillFromDescription(80, "Standard Bluetooth link");
    EXPECT_STREQ(portTable.slots[79].displayName, "(COM80) Bluetooth Serial Port");
    FillFromDescription(1, "Infrared port");
    EXPECT_STREQ(portTable.slots[0].displayName, "(COM1) Infrared Serial Port");
    FillFromDescription(2, "Communications Port");
    EXPECT_STREQ(portTable.slots[1].displayName, "(COM2) Serial Port");
    EXPECT_EQ(portTable.slots[1].kind, General);
}

TEST_F(PortTableTest, DescriptionsAreCutAt128Characters) {
    const std::string exact(128, 'd');
    FillFromDescription(4, exact.c_str());
    EXPECT_EQ(std::string(portTable.slots[3].description), exact);

    const std::string longer = std::string(128, 'a') + std::string(72, 'b');
    FillFromDescription(5, longer.c_str());
    EXPECT_EQ(std::string(portTable.slots[4].description), longer.substr(0, 128));
    // The neighbouring slot is untouched.
    EXPECT_STREQ(portTable.slots[5].description, "\\\\.\\COM6");
}

TEST_F(PortTableTest, LabelsAreCutAt40Characters) {
    const std::string label = "(COM9) Bluetooth [A very long remote device name]";
    SetDisplayName(9, label.c_str());
    EXPECT_EQ(std::string(portTable.slots[8].displayName), label.substr(0, 40));
    EXPECT_STREQ(portTable.slots[8].description, "\\\\.\\COM9");
}

TEST_F(PortTableTest, FillWithoutDescriptionKeepsTheDescription) {
    FillFromDescription(6, "USB thing");
    FillWithoutDescription(6);
    EXPECT_EQ(portTable.slots[5].kind, General);
    EXPECT_STREQ(portTable.slots[5].displayName, "(COM6) Serial Port");
    EXPECT_STREQ(portTable.slots[5].description, "USB thing");
}

TEST_F(PortTableTest, PortsOutsideTheTableAreIgnored) {
    FillFromDescription(0, "USB");
    FillFromDescription(81, "USB");
    FillWithoutDescription(-1);
    SetDisplayName(81, "x");
    for (const PortRecord& slot : portTable.slots) {
        EXPECT_EQ(slot.kind, Absent);
    }
}

TEST(ReportName, NamesEveryKind) {
    EXPECT_STREQ(ReportName(General), "General");
    EXPECT_STREQ(ReportName(Bluetooth), "Bluetooth");
    EXPECT_STREQ(ReportName(Infrared), "IR");
    EXPECT_STREQ(ReportName(Usb), "USB");
    EXPECT_STREQ(ReportName(Absent), "");
}

}  // namespace
