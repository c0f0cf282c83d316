// The SERIALCOMM map pass on simulated machines: which entries add a port,
// slots other passes filled, long value names and data, data stored without
// a NUL, and the failure paths with the keys and blocks they leave behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "slot_view.h"
#include "inventory/port_table.h"
#include "inventory/serial_comm_map.h"
#include "sim/control.h"

namespace {

constexpr char kMapSection[] = "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n";

SlotView MapSlot(int n) {
    return SlotView{General, "(COM" + std::to_string(n) + ") COM Port", ResetText(n)};
}

std::vector<int> PresentPorts() {
    std::vector<int> present;
    for (int n = 1; n <= kPortCount; ++n) {
        if (Slot(n).kind != Absent) {
            present.push_back(n);
        }
    }
    return present;
}

class SerialCommMapTest : public PortPassTest {
protected:
    static void Load(const std::string& entries) { ::Load(kMapSection + entries); }
};

TEST_F(SerialCommMapTest, EachEntryAddsAGeneralPortWithItsOwnLabel) {
    Load(Value("\\\\Device\\\\Serial0", "COM1") + Value("\\\\Device\\\\Serial1", "COM2"));
    ScanSerialCommMap();
    EXPECT_EQ(Slot(1), MapSlot(1));
    EXPECT_EQ(Slot(2), MapSlot(2));
    EXPECT_EQ(PresentPorts(), (std::vector<int>{1, 2}));
    EXPECT_EQ(portTable.slots[0].available, 1);
}

TEST_F(SerialCommMapTest, SlotsFilledBeforeStayAsTheyWere) {
    FillFromDescription(3, "Prolific USB-to-Serial Comm Port");
    FillWithoutDescription(4);
    Load(Value("Serial2", "COM3") + Value("Serial3", "COM4") + Value("Serial4", "COM5"));
    ScanSerialCommMap();
    EXPECT_EQ(Slot(3),
              (SlotView{Usb, "(COM3) USB Serial Port", "Prolific USB-to-Serial Comm Port"}));
    EXPECT_EQ(Slot(4), (SlotView{General, "(COM4) Serial Port", ResetText(4)}));
    EXPECT_EQ(Slot(5), MapSlot(5));
}

TEST_F(SerialCommMapTest, TheFirstOfTwoSameNumbersIsKept) {
    Load(Value("A", "COM6") + Value("B", "com6"));
    ScanSerialCommMap();
    EXPECT_EQ(Slot(6), MapSlot(6));
    EXPECT_EQ(PresentPorts(), (std::vector<int>{6}));
}

TEST_F(SerialCommMapTest, EntriesOutsideOneToEightyOrTooShortAddNothing) {
    Load(Value("Big", "COM99") + Value("Short", "CO") + Value("Empty", "") + Value("Zero", "COM0") +
         Value("NoNumber", "COM") + Value("Negative", "COM-3") + BareValue("NoBytes", "") +
         "\"Number\"=dword:00000007\n" + Value("Last", "COM80"));
    ScanSerialCommMap();
    EXPECT_EQ(PresentPorts(), (std::vector<int>{80}));
}

TEST_F(SerialCommMapTest, TheFirstThreeCharactersAreNotExamined) {
    Load(Value("Lower", "com4") + Value("Other", "XYZ7") + Value("Spaced", "COM 9"));
    ScanSerialCommMap();
    EXPECT_EQ(PresentPorts(), (std::vector<int>{4, 7, 9}));
    EXPECT_EQ(Slot(7), MapSlot(7));
}

TEST_F(SerialCommMapTest, LongValueNamesAndDataAreReadAfterGrowing) {
    Load(Value(std::string(64, 'n'), "COM1") + Value(std::string(200, 'm'), "COM2") +
         Value(std::string(1000, 'k'), "COM3") + Value("Data", "COM4" + std::string(100, ' ')) +
         Value(std::string(70, 'j'), "COM5" + std::string(300, ' ')) +
         Value(std::string(63, 'i'), "COM6"));
    ScanSerialCommMap();
    EXPECT_EQ(PresentPorts(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Slot(3), MapSlot(3));
}

TEST_F(SerialCommMapTest, DataWithoutNulEndsInsideItsBuffer) {
    Load(BareValue("Short", "COM1") +
         // Fills the first 64 bytes, digits in the last two.
         BareValue("Exact", "COM" + std::string(59, ' ') + "12") +
         // A long name, so the data is read again into the size the
         // registry reported, which leaves no room for a NUL.
         BareValue(std::string(90, 'n'), "COM13") +
         BareValue("Long", "COM14" + std::string(100, 'x')));
    ScanSerialCommMap();
    EXPECT_EQ(PresentPorts(), (std::vector<int>{1, 12, 13, 14}));
}

TEST_F(SerialCommMapTest, AMissingMapChangesNothing) {
    FillFromDescription(2, "Kept");
    const std::vector<SlotView> before = Table();
    ScanSerialCommMap();
    EXPECT_EQ(Table(), before);
    Load("");
    ScanSerialCommMap();
    EXPECT_EQ(Table(), before);
}

TEST_F(SerialCommMapTest, AMapThatCannotBeOpenedChangesNothing) {
    Load(Value("Serial0", "COM1"));
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);
    ScanSerialCommMap();
    EXPECT_TRUE(PresentPorts().empty());
}

class SerialCommMapFaultTest : public SerialCommMapTest {
protected:
    void SetUp() override {
        SerialCommMapTest::SetUp();
        Load(Value("\\\\Device\\\\Serial0", "COM1") + Value(std::string(150, 'n'), "COM2") +
             Value("Data", "COM3" + std::string(80, ' ')) + Value("Serial3", "COM4"));
        const unsigned before = sim::AllocationCount();
        ScanSerialCommMap();
        allocations_ = sim::AllocationCount() - before;
        EXPECT_EQ(PresentPorts(), (std::vector<int>{1, 2, 3, 4}));
        ResetPortTable();
    }

    // COM1 .. COMm recorded as the full pass records them, the rest absent.
    static int ExpectAPrefixOfTheFullPass() {
        const std::vector<int> present = PresentPorts();
        for (size_t i = 0; i < present.size(); ++i) {
            EXPECT_EQ(present[i], static_cast<int>(i) + 1);
            EXPECT_EQ(Slot(present[i]), MapSlot(present[i]));
        }
        return static_cast<int>(present.size());
    }

    unsigned allocations_ = 0;
};

TEST_F(SerialCommMapFaultTest, EveryRefusedAllocationEndsThePassQuietly) {
    int previous = 0;
    for (unsigned nth = 1; nth <= allocations_; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        ResetPortTable();
        sim::FailAllocation(nth);
        ScanSerialCommMap();
        sim::ClearFaults();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        const int written = ExpectAPrefixOfTheFullPass();
        EXPECT_GE(written, previous);
        previous = written;
    }
    // Refused after the last entry: the blocks for the read that ends the list.
    EXPECT_EQ(previous, 4);
}

TEST_F(SerialCommMapFaultTest, AFailingEnumerationEndsThePassQuietly) {
    int previous = 0;
    for (unsigned nth = 1;; ++nth) {
        ASSERT_LT(nth, 100u);
        SCOPED_TRACE("enumeration " + std::to_string(nth));
        ResetPortTable();
        sim::FailCall("RegEnumValueA", ERROR_ACCESS_DENIED, nth, 1);
        ScanSerialCommMap();
        sim::ClearFaults();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        const int written = ExpectAPrefixOfTheFullPass();
        EXPECT_GE(written, previous);
        previous = written;
        // Failing the call that reports the end of the list looks like the end.
        if (written == 4) {
            break;
        }
    }
}

TEST_F(SerialCommMapFaultTest, AValueThatNeverFitsEndsThePass) {
    sim::FailCall("RegEnumValueA", ERROR_MORE_DATA, 2);
    ScanSerialCommMap();
    EXPECT_EQ(PresentPorts(), (std::vector<int>{1}));
}

}  // namespace
