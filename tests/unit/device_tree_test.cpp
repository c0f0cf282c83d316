// The device registry scan on simulated machines: the full walk, the single
// instance read, the two growing registry routines, values stored without a
// NUL, and every failure path (missing keys, failing calls, refused memory),
// each checked for the keys and blocks it leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "slot_view.h"
#include "framework/exceptions.h"
#include "inventory/device_tree.h"
#include "inventory/port_table.h"
#include "sim/control.h"
#include "support/heap_block.h"
#include "support/registry_key.h"

namespace {

std::string Repeat(char c, size_t count) {
    return std::string(count, c);
}

class DeviceTreeTest : public PortPassTest {
protected:
    static bool AllAbsent() {
        for (int n = 1; n <= kPortCount; ++n) {
            if (Slot(n).kind != Absent) {
                return false;
            }
        }
        return true;
    }
};

// Full walk ----------------------------------------------------------------

TEST_F(DeviceTreeTest, WalkRecordsEveryPortWithItsKind) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Communications Port", true) +
         PortInstance("FTDIBUS\\VID_0403+PID_6001\\0000", "COM7", "USB Serial Port") +
         PortInstance("BTHENUM\\{00001101}\\8&1", "COM12", "Standard Serial over Bluetooth link") +
         PortInstance("ACPI\\PNP0510\\0", "COM2", "Infrared port", true));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(1), (SlotView{General, "(COM1) Serial Port", "Communications Port"}));
    EXPECT_EQ(Slot(2), (SlotView{Infrared, "(COM2) Infrared Serial Port", "Infrared port"}));
    EXPECT_EQ(Slot(7), (SlotView{Usb, "(COM7) USB Serial Port", "USB Serial Port"}));
    EXPECT_EQ(Slot(12), (SlotView{Bluetooth, "(COM12) Bluetooth Serial Port",
                                  "Standard Serial over Bluetooth link"}));
    EXPECT_EQ(Slot(3).kind, Absent);
    EXPECT_EQ(portTable.slots[6].available, 1);
    EXPECT_STREQ(portTable.slots[6].devicePath, "\\\\.\\COM7");
}

TEST_F(DeviceTreeTest, WalkFindsPortNameOnInstanceOrUnderDeviceParameters) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Under parameters", true) +
         PortInstance("ACPI\\PNP0501\\2", "COM2", "On the instance") +
         // Both places: the instance key's own value is the one used.
         PortInstance("ACPI\\PNP0501\\3", "COM3", "Both places") +
         EnumSection("ACPI\\PNP0501\\3\\Device Parameters") + Value("PortName", "COM4"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(1).description, "Under parameters");
    EXPECT_EQ(Slot(2).description, "On the instance");
    EXPECT_EQ(Slot(3).description, "Both places");
    EXPECT_EQ(Slot(4).kind, Absent);
}

TEST_F(DeviceTreeTest, WalkDecidesThePortClassByNameThenIdentifier) {
    Load(
        // Class 'Modem' with the ports identifier in lower case.
        EnumSection("ROOT\\MODEM\\0000") + Value("Class", "Modem") +
        Value("ClassGUID", "{4d36e978-e325-11ce-bfc1-08002be10318}") + Value("PortName", "COM1") +
        // Class name in another case, no identifier at all.
        EnumSection("ROOT\\PORTS\\0000") + Value("Class", "pOrTs") + Value("PortName", "COM2") +
        // A class name that begins with "Ports" but is longer: the
        // identifier decides, once for and once against.
        EnumSection("ROOT\\PORTS\\0001") + Value("Class", "PortsEx") +
        Value("ClassGUID", kPortsClassGuid) + Value("PortName", "COM3") +
        EnumSection("ROOT\\PORTS\\0002") + Value("Class", "Ports2") +
        Value("ClassGUID", "{4D36E96D-E325-11CE-BFC1-08002BE10318}") + Value("PortName", "COM4") +
        // Neither value: not a port.
        EnumSection("ROOT\\PORTS\\0003") + Value("PortName", "COM5") +
        // An identifier with something after it is another identifier.
        EnumSection("ROOT\\PORTS\\0004") + Value("Class", "Modem") +
        Value("ClassGUID", std::string(kPortsClassGuid) + "x") + Value("PortName", "COM6"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(1), (SlotView{General, "(COM1) Serial Port", ResetText(1)}));
    EXPECT_EQ(Slot(2).kind, General);
    EXPECT_EQ(Slot(3).kind, General);
    EXPECT_EQ(Slot(4).kind, Absent);
    EXPECT_EQ(Slot(5).kind, Absent);
    EXPECT_EQ(Slot(6).kind, Absent);
}

TEST_F(DeviceTreeTest, WalkAcceptsOnlyComNamesOfPortsOneToEighty) {
    Load(PortInstance("ACPI\\A\\0", "com4", "Lower case") +
         PortInstance("ACPI\\B\\0", "LPT1", "P") + PortInstance("ACPI\\C\\0", "COM0", "Zero") +
         PortInstance("ACPI\\D\\0", "COM81", "Big") + PortInstance("ACPI\\E\\0", "CO", "Short") +
         PortInstance("ACPI\\F\\0", "", "Empty") + PortInstance("ACPI\\G\\0", "COM", "Bare") +
         PortInstance("ACPI\\H\\0", "cOm80x", "Last") + EnumSection("ACPI\\I\\0") +
         Value("Class", "Ports") + "\"PortName\"=dword:00000003\n" +
         PortInstance("ACPI\\J\\0", "CON5", "Not COM") +
         PortInstance("ACPI\\K\\0", "CO6", "Short prefix") +
         PortInstance("ACPI\\L\\0", "COM4294967297", "Wraps to 1") +
         PortInstance("ACPI\\M\\0", "COM-4294967293", "Wraps to 3"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(4), (SlotView{General, "(COM4) Serial Port", "Lower case"}));
    EXPECT_EQ(Slot(80).description, "Last");
    for (int n : {1, 3}) {
        EXPECT_EQ(Slot(n).kind, Absent) << n;
    }
    int recorded = 0;
    for (const SlotView& slot : Table()) {
        recorded += slot.kind != Absent ? 1 : 0;
    }
    EXPECT_EQ(recorded, 2);
}

TEST_F(DeviceTreeTest, WalkKeepsTheLaterOfTwoSameNumbers) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM3", "Met first") +
         PortInstance("USB\\VID_067B\\5", "COM3", "Prolific USB-to-Serial Comm Port"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(3),
              (SlotView{Usb, "(COM3) USB Serial Port", "Prolific USB-to-Serial Comm Port"}));
}

TEST_F(DeviceTreeTest, WalkOverwritesWhatEarlierPassesWrote) {
    FillFromDescription(5, "USB thing from another pass");
    Load(PortInstance("ACPI\\PNP0501\\1", "COM5", "Communications Port"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(5), (SlotView{General, "(COM5) Serial Port", "Communications Port"}));
}

TEST_F(DeviceTreeTest, WalkWithoutDescriptionRecordsASerialPort) {
    FillFromDescription(6, "Earlier Bluetooth text");
    Load(PortInstance("ACPI\\PNP0501\\1", "COM5", "") +
         PortInstance("ACPI\\PNP0501\\2", "COM6", ""));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(5), (SlotView{General, "(COM5) Serial Port", ResetText(5)}));
    // The description already there stays; only kind and label change.
    EXPECT_EQ(Slot(6), (SlotView{General, "(COM6) Serial Port", "Earlier Bluetooth text"}));
}

TEST_F(DeviceTreeTest, WalkRecordsTheFirst127CharactersOfALongDescription) {
    const std::string longUsb = "USB " + Repeat('d', 196);
    const std::string exact = Repeat('e', 127);
    const std::string oneMore = Repeat('f', 128);
    Load(PortInstance("ACPI\\A\\0", "COM1", longUsb) + PortInstance("ACPI\\B\\0", "COM2", exact) +
         PortInstance("ACPI\\C\\0", "COM3", oneMore));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(1), (SlotView{Usb, "(COM1) USB Serial Port", longUsb.substr(0, 127)}));
    EXPECT_EQ(Slot(2).description, exact);
    EXPECT_EQ(Slot(3), (SlotView{General, "(COM3) Serial Port", Repeat('f', 127)}));
}

TEST_F(DeviceTreeTest, WalkEndsEveryTextStoredWithoutNulInsideItsBuffer) {
    Load(
        // Short values without NUL.
        EnumSection("ACPI\\A\\0") + BareValue("Class", "Ports") + BareValue("PortName", "COM1") +
        BareValue("DeviceDesc", "USB bare") +
        // An identifier that fills its buffer exactly, without NUL.
        EnumSection("ACPI\\B\\0") + Value("Class", "Modem") +
        BareValue("ClassGUID", std::string(kPortsClassGuid) + "}") + Value("PortName", "COM2") +
        // A class name of six characters fills its six bytes: it is not "PORTS".
        EnumSection("ACPI\\C\\0") + BareValue("Class", "PortsX") + Value("PortName", "COM3") +
        // A description that fills its 128 bytes.
        PortInstance("ACPI\\D\\0", "COM4", "") + BareValue("DeviceDesc", Repeat('g', 128)) +
        // A port name that fills its first buffer, its digits in the last bytes.
        EnumSection("ACPI\\E\\0") + Value("Class", "Ports") +
        BareValue("PortName", "COM" + Repeat(' ', 123) + "12") +
        // A port name that needs a larger buffer, stored without NUL.
        EnumSection("ACPI\\F\\0") + Value("Class", "Ports") +
        BareValue("PortName", "COM" + Repeat(' ', 200) + "13") +
        // A description longer than 127, stored without NUL.
        PortInstance("ACPI\\G\\0", "COM5", "") + BareValue("DeviceDesc", Repeat('h', 300)));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(1), (SlotView{Usb, "(COM1) USB Serial Port", "USB bare"}));
    EXPECT_EQ(Slot(2).kind, Absent);
    EXPECT_EQ(Slot(3).kind, Absent);
    EXPECT_EQ(Slot(4).description, Repeat('g', 127));
    EXPECT_EQ(Slot(12), (SlotView{General, "(COM12) Serial Port", ResetText(12)}));
    EXPECT_EQ(Slot(13).kind, General);
    EXPECT_EQ(Slot(5).description, Repeat('h', 127));
}

TEST_F(DeviceTreeTest, WalkReadsSubkeyNamesLongerThan128Characters) {
    const std::string enumerator = Repeat('E', 129);
    const std::string device = Repeat('D', 255);
    const std::string instance = Repeat('I', 600);
    Load(PortInstance(enumerator + "\\" + device + "\\" + instance, "COM9", "Deep port") +
         PortInstance("ACPI\\" + Repeat('x', 128) + "\\0", "COM10", "Exactly 128"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(9).description, "Deep port");
    EXPECT_EQ(Slot(10).description, "Exactly 128");
}

TEST_F(DeviceTreeTest, WalkSkipsWhatIsNotThereAndGoesOn) {
    Load(EnumSection("ACPI") + EnumSection("ACPI\\EMPTYDEVICE") +
         // A port-class instance with no port name anywhere, one with an
         // empty "Device Parameters".
         EnumSection("ACPI\\PNP0501\\0") + Value("Class", "Ports") +
         EnumSection("ACPI\\PNP0501\\1") + Value("Class", "Ports") +
         EnumSection("ACPI\\PNP0501\\1\\Device Parameters") + EnumSection("EMPTYENUMERATOR") +
         PortInstance("ZED\\PNP0501\\0", "COM2", "After the gaps"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(2).description, "After the gaps");
}

TEST_F(DeviceTreeTest, WalkOfAMissingRootFailsWithoutTouchingTheTable) {
    FillFromDescription(3, "Kept");
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Elsewhere"));
    const std::vector<SlotView> before = Table();
    EXPECT_EQ(ScanDeviceTree("ENUM"), 0);
    EXPECT_EQ(ScanDeviceTree("SYSTEM\\CURRENTCONTROLSET\\ENUM\\NOSUCH"), 0);
    EXPECT_EQ(Table(), before);
}

TEST_F(DeviceTreeTest, WalkOfAnEmptyRootSucceeds) {
    Load("[HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\ENUM]\n");
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_TRUE(AllAbsent());
}

// Failures inside the walk ----------------------------------------------------

// Four ports met in the order COM1 .. COM4, with every kind of read: the port
// name under "Device Parameters" and on the instance, a long description, no
// description, and a key that is no port in between.
class DeviceTreeFaultTest : public DeviceTreeTest {
protected:
    void SetUp() override {
        DeviceTreeTest::SetUp();
        Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Communications Port", true) +
             PortInstance("ACPI\\PNP0501\\2", "COM2", "USB " + Repeat('l', 200)) +
             EnumSection("ACPI\\PNP0A03\\0") + Value("Class", "System") +
             PortInstance("FTDIBUS\\" + Repeat('V', 140) + "\\0000", "COM3", "USB Serial Port",
                          true) +
             EnumSection("ROOT\\LEGACY\\0000") + Value("Class", "Modem") +
             Value("ClassGUID", "{4d36e978-e325-11ce-bfc1-08002be10318}") +
             Value("PortName", "COM4"));
        const unsigned before = sim::AllocationCount();
        EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
        allocations_ = sim::AllocationCount() - before;
        full_ = Table();
        ResetPortTable();
    }

    // The slots the walk wrote before it stopped: COM1 .. COMm as in the full
    // walk, the others still absent. Returns m.
    int ExpectAPrefixOfTheFullWalk() const {
        int written = 0;
        while (written < 4 && Slot(written + 1).kind != Absent) {
            ++written;
        }
        const std::vector<SlotView> table = Table();
        for (int n = 1; n <= kPortCount; ++n) {
            if (n <= written) {
                EXPECT_EQ(table[n - 1], full_[n - 1]) << "COM" << n;
            } else {
                EXPECT_EQ(table[n - 1].kind, Absent) << "COM" << n;
            }
        }
        return written;
    }

    void ExpectNothingLeftOpen() const {
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
    }

    unsigned allocations_ = 0;
    std::vector<SlotView> full_;
};

TEST_F(DeviceTreeFaultTest, TheFullWalkIsWhatTheFaultsAreMeasuredAgainst) {
    EXPECT_EQ(full_[0], (SlotView{General, "(COM1) Serial Port", "Communications Port"}));
    EXPECT_EQ(full_[1], (SlotView{Usb, "(COM2) USB Serial Port", "USB " + Repeat('l', 123)}));
    EXPECT_EQ(full_[2], (SlotView{Usb, "(COM3) USB Serial Port", "USB Serial Port"}));
    EXPECT_EQ(full_[3], (SlotView{General, "(COM4) Serial Port", ResetText(4)}));
    EXPECT_GT(allocations_, 8u);
}

TEST_F(DeviceTreeFaultTest, EveryRefusedAllocationIsHandled) {
    int previous = 0;
    int withoutDescription = 0;
    for (unsigned nth = 1; nth <= allocations_; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        ResetPortTable();
        sim::FailAllocation(nth);
        const int result = ScanDeviceTree(kEnumRoot);
        sim::ClearFaults();
        ExpectNothingLeftOpen();
        if (result == 1) {
            // Only the second read of the long description may be refused
            // without ending the walk: that port then has no description.
            ++withoutDescription;
            std::vector<SlotView> expected = full_;
            expected[1] = SlotView{General, "(COM2) Serial Port", ResetText(2)};
            EXPECT_EQ(Table(), expected);
            continue;
        }
        const int written = ExpectAPrefixOfTheFullWalk();
        EXPECT_GE(written, previous);
        previous = written;
    }
    EXPECT_EQ(withoutDescription, 1);
    // Refused after the last port: the enumerations that end each level.
    EXPECT_EQ(previous, 4);

    ResetPortTable();
    sim::FailAllocation(allocations_ + 1);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    sim::ClearFaults();
    EXPECT_EQ(Table(), full_);
}

TEST_F(DeviceTreeFaultTest, AFailingEnumerationAnywhereEndsTheWalkWithFailure) {
    // Subkey enumerations of one walk: count them by making them fail one
    // by one until the walk no longer notices.
    int previous = 0;
    unsigned nth = 1;
    for (;; ++nth) {
        ASSERT_LT(nth, 200u);
        SCOPED_TRACE("enumeration " + std::to_string(nth));
        ResetPortTable();
        sim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED, nth, 1);
        const int result = ScanDeviceTree(kEnumRoot);
        sim::ClearFaults();
        ExpectNothingLeftOpen();
        if (result == 1) {
            EXPECT_EQ(Table(), full_);
            break;
        }
        const int written = ExpectAPrefixOfTheFullWalk();
        EXPECT_GE(written, previous);
        previous = written;
    }
    EXPECT_EQ(previous, 4);
    // Three levels of keys, each ending on "no more items" once per parent.
    EXPECT_GT(nth, 15u);
}

TEST_F(DeviceTreeFaultTest, AFailingOpenEndsTheWalkExceptBelowTheInstance) {
    int skipped = 0;
    int previous = 0;
    unsigned nth = 1;
    for (;; ++nth) {
        ASSERT_LT(nth, 200u);
        SCOPED_TRACE("open " + std::to_string(nth));
        ResetPortTable();
        sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, nth, 1);
        const int result = ScanDeviceTree(kEnumRoot);
        sim::ClearFaults();
        ExpectNothingLeftOpen();
        if (result == 1 && Table() == full_) {
            break;
        }
        if (result == 1) {
            // A "Device Parameters" key that doesn't open skips its port.
            ++skipped;
            const std::vector<SlotView> table = Table();
            int missing = 0;
            for (int n = 1; n <= kPortCount; ++n) {
                if (table[n - 1] == full_[n - 1]) {
                    continue;
                }
                ++missing;
                EXPECT_TRUE(n == 1 || n == 3) << n;
                EXPECT_EQ(table[n - 1].kind, Absent);
            }
            EXPECT_EQ(missing, 1);
            continue;
        }
        const int written = ExpectAPrefixOfTheFullWalk();
        EXPECT_GE(written, previous);
        previous = written;
    }
    EXPECT_EQ(skipped, 2);
    EXPECT_EQ(previous, 3);
}

TEST_F(DeviceTreeFaultTest, ANameThatNeverFitsEndsTheWalk) {
    sim::FailCall("RegEnumKeyExA", ERROR_MORE_DATA);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 0);
    sim::ClearFaults();
    ExpectNothingLeftOpen();
    EXPECT_TRUE(AllAbsent());
}

TEST_F(DeviceTreeFaultTest, AFailingPortNameReadEndsTheWalk) {
    // COM1's instance: "CLASS", then "PORTNAME" on the instance.
    sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 2, 1);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 0);
    EXPECT_TRUE(AllAbsent());
}

TEST_F(DeviceTreeFaultTest, AValueThatNeverFitsEndsTheWalk) {
    // From COM1's second port-name read (under "Device Parameters") on,
    // every read asks for more data without saying how much.
    sim::FailCall("RegQueryValueExA", ERROR_MORE_DATA, 3);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 0);
    EXPECT_TRUE(AllAbsent());
}

TEST_F(DeviceTreeFaultTest, AFailingDescriptionReadRecordsThePortWithoutOne) {
    // COM1: "CLASS", "PORTNAME" on the instance, the same under
    // "Device Parameters", then "DeviceDesc".
    sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 4, 1);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    std::vector<SlotView> expected = full_;
    expected[0] = SlotView{General, "(COM1) Serial Port", ResetText(1)};
    EXPECT_EQ(Table(), expected);
}

TEST_F(DeviceTreeFaultTest, UnreadableClassValuesMakeNoPorts) {
    sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_TRUE(AllAbsent());
}

// Single instance read ----------------------------------------------------------

TEST_F(DeviceTreeTest, InstanceReadRecordsAnAbsentPort) {
    Load(PortInstance("FTDIBUS\\VID_0403+PID_6001\\0000", "COM7", "USB Serial Port", true));
    EXPECT_EQ(
        ReadDeviceInstance("SYSTEM\\CURRENTCONTROLSET\\ENUM\\FTDIBUS\\VID_0403+PID_6001\\0000"), 1);
    EXPECT_EQ(Slot(7), (SlotView{Usb, "(COM7) USB Serial Port", "USB Serial Port"}));
}

TEST_F(DeviceTreeTest, InstanceReadFillsOnlyAbsentSlots) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM3", "Met first") +
         PortInstance("USB\\VID_067B\\5", "COM3", "Prolific USB-to-Serial Comm Port"));
    EXPECT_EQ(ReadDeviceInstance("SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\PNP0501\\1"), 1);
    EXPECT_EQ(ReadDeviceInstance("SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_067B\\5"), 1);
    EXPECT_EQ(Slot(3), (SlotView{General, "(COM3) Serial Port", "Met first"}));
}

TEST_F(DeviceTreeTest, InstanceReadResultSaysWhetherThePortNameWasRead) {
    Load(PortInstance("ACPI\\A\\0", "LPT1", "Printer Port") +
         PortInstance("ACPI\\B\\0", "COM99", "Too high") +
         PortInstance("ACPI\\C\\0", "com4", "", true) + EnumSection("ACPI\\D\\0") +
         Value("Class", "Ports") + EnumSection("ACPI\\E\\0") + Value("Class", "Modem") +
         Value("PortName", "COM5") +
         PortInstance("ACPI\\F\\0", "COM6", "Long " + Repeat('m', 200)));
    const std::string base = "SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\";
    EXPECT_EQ(ReadDeviceInstance((base + "A\\0").c_str()), 1);
    EXPECT_EQ(ReadDeviceInstance((base + "B\\0").c_str()), 1);
    EXPECT_TRUE(AllAbsent());
    EXPECT_EQ(ReadDeviceInstance((base + "C\\0").c_str()), 1);
    EXPECT_EQ(Slot(4), (SlotView{General, "(COM4) Serial Port", ResetText(4)}));
    EXPECT_EQ(ReadDeviceInstance((base + "D\\0").c_str()), 0);
    EXPECT_EQ(ReadDeviceInstance((base + "E\\0").c_str()), 0);
    EXPECT_EQ(Slot(5).kind, Absent);
    EXPECT_EQ(ReadDeviceInstance((base + "F\\0").c_str()), 1);
    EXPECT_EQ(Slot(6).description, ("Long " + Repeat('m', 200)).substr(0, 127));
    EXPECT_EQ(ReadDeviceInstance((base + "NOSUCH\\0").c_str()), 0);
}

// The port name's block and the long description's: either refused, the read
// records nothing and raises, for the Setup-API pass to give up its class.
TEST_F(DeviceTreeTest, InstanceReadRaisesOnEveryRefusedAllocation) {
    Load(PortInstance("USB\\VID_0403\\0000", "COM8", "USB " + Repeat('u', 150), true));
    const char path[] = "SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_0403\\0000";
    const unsigned before = sim::AllocationCount();
    ASSERT_EQ(ReadDeviceInstance(path), 1);
    const unsigned allocations = sim::AllocationCount() - before;
    ASSERT_GE(allocations, 2u);
    EXPECT_EQ(Slot(8).kind, Usb);
    for (unsigned nth = 1; nth <= allocations; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        ResetPortTable();
        sim::FailAllocation(nth);
        EXPECT_THROW(ReadDeviceInstance(path), CMemoryException);
        sim::ClearFaults();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        EXPECT_TRUE(AllAbsent());
    }
}

// A registry that answers "out of memory" itself is a read that failed.
TEST_F(DeviceTreeTest, InstanceReadTakesTheRegistrysOutOfMemoryAsAFailedRead) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Communications Port", true));
    ASSERT_TRUE(sim::FailKeyCall(
        HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\1\\Device Parameters",
        "RegQueryValueExA", ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(ReadDeviceInstance("SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\PNP0501\\1"), 0);
    EXPECT_EQ(sim::OpenKeyCount(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 0);
    EXPECT_TRUE(AllAbsent());
}

TEST_F(DeviceTreeTest, InstanceReadWithAFailingOpenChangesNothing) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Communications Port", true));
    const char path[] = "SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\PNP0501\\1";
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(ReadDeviceInstance(path), 0);
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 2, 1);
    EXPECT_EQ(ReadDeviceInstance(path), 0);
    sim::ClearFaults();
    EXPECT_TRUE(AllAbsent());
    EXPECT_EQ(ReadDeviceInstance(path), 1);
    EXPECT_EQ(Slot(1).kind, General);
}

// The growing registry routines ------------------------------------------------

TEST_F(DeviceTreeTest, QueryValueGrowReadsValuesOfAnyLength) {
    Load(EnumSection("X") + Value("Short", "abc") + Value("Long", Repeat('q', 700)) +
         Value("Edge", Repeat('r', 127)) + Value("Over", Repeat('s', 128)));
    CRegistryKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CURRENTCONTROLSET\\ENUM\\X", KEY_READ),
              ERROR_SUCCESS);
    CHeapBlock buffer;
    EXPECT_EQ(QueryValueGrow(key.Get(), "Short", buffer), ERROR_SUCCESS);
    EXPECT_STREQ(buffer.Text(), "abc");
    EXPECT_EQ(QueryValueGrow(key.Get(), "Long", buffer), ERROR_SUCCESS);
    EXPECT_EQ(buffer.Text(), Repeat('q', 700));
    EXPECT_EQ(QueryValueGrow(key.Get(), "Edge", buffer), ERROR_SUCCESS);
    EXPECT_EQ(buffer.Text(), Repeat('r', 127));
    EXPECT_EQ(QueryValueGrow(key.Get(), "Over", buffer), ERROR_SUCCESS);
    EXPECT_EQ(buffer.Text(), Repeat('s', 128));
    EXPECT_EQ(sim::LiveAllocations(), 1);
    // A missing value still leaves a block for the caller to free.
    EXPECT_EQ(QueryValueGrow(key.Get(), "Missing", buffer), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(buffer.Get(), nullptr);
    EXPECT_EQ(sim::LiveAllocations(), 1);
}

TEST_F(DeviceTreeTest, QueryValueGrowGivesUpTheBlockWhenTheHeapRefuses) {
    Load(EnumSection("X") + Value("Long", Repeat('q', 300)));
    CRegistryKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CURRENTCONTROLSET\\ENUM\\X", KEY_READ),
              ERROR_SUCCESS);
    CHeapBlock buffer;
    ASSERT_TRUE(buffer.Allocate(16));
    sim::FailAllocation(1);
    EXPECT_EQ(QueryValueGrow(key.Get(), "Long", buffer), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(buffer.Get(), nullptr);
    EXPECT_EQ(sim::LiveAllocations(), 0);
    // Refused when growing.
    sim::FailAllocation(2);
    EXPECT_EQ(QueryValueGrow(key.Get(), "Long", buffer), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(buffer.Get(), nullptr);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST_F(DeviceTreeTest, OpenSubkeyAtOpensByIndexAndReportsTheEnd) {
    Load(EnumSection("P\\" + Repeat('n', 300)) + EnumSection("P\\SHORT") + Value("V", "short key"));
    CRegistryKey parent;
    ASSERT_EQ(parent.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CURRENTCONTROLSET\\ENUM\\P",
                          KEY_ENUMERATE_SUB_KEYS),
              ERROR_SUCCESS);
    CRegistryKey child;
    EXPECT_EQ(OpenSubkeyAt(parent.Get(), 0, KEY_READ, child), ERROR_SUCCESS);
    EXPECT_TRUE(child.IsOpen());
    EXPECT_EQ(OpenSubkeyAt(parent.Get(), 1, KEY_READ, child), ERROR_SUCCESS);
    char text[16] = {};
    DWORD length = sizeof text;
    EXPECT_EQ(RegQueryValueExA(child.Get(), "V", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                               &length),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "short key");
    EXPECT_EQ(sim::OpenKeyCount(), 2);
    EXPECT_EQ(OpenSubkeyAt(parent.Get(), 2, KEY_READ, child), ERROR_NO_MORE_ITEMS);
    EXPECT_FALSE(child.IsOpen());
    EXPECT_EQ(sim::OpenKeyCount(), 1);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST_F(DeviceTreeTest, OpenSubkeyAtReportsRefusedMemoryAndFailedOpens) {
    Load(EnumSection("P\\" + Repeat('n', 300)));
    CRegistryKey parent;
    ASSERT_EQ(parent.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CURRENTCONTROLSET\\ENUM\\P",
                          KEY_ENUMERATE_SUB_KEYS),
              ERROR_SUCCESS);
    CRegistryKey child;
    for (unsigned nth = 1; nth <= 3; ++nth) {
        sim::FailAllocation(nth);
        EXPECT_EQ(OpenSubkeyAt(parent.Get(), 0, KEY_READ, child), ERROR_NOT_ENOUGH_MEMORY) << nth;
        sim::ClearFaults();
        EXPECT_FALSE(child.IsOpen());
        EXPECT_EQ(sim::LiveAllocations(), 0);
    }
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(OpenSubkeyAt(parent.Get(), 0, KEY_READ, child), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(child.IsOpen());
    EXPECT_EQ(OpenSubkeyAt(parent.Get(), 0, KEY_READ, child), ERROR_SUCCESS);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

}  // namespace
