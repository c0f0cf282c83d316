// The product on registries that behave as Windows' may: keys a user may only
// read, junk left after "more data", odd name lengths on short buffers, values
// that change between two reads, a failure on one key only and memory that
// stays refused; and how many keys the device registry walk holds open.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "machine_fixture.h"
#include "slot_view.h"
#include "inventory/device_tree.h"
#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "inventory/serial_comm_map.h"
#include "inventory/widcomm_pairings.h"
#include "sim/control.h"
#include "support/block_pool.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<BYTE> Bytes(const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// How a registry may report a name's length on a short buffer, by name.
struct NameLengthReport {
    const char* name;
    sim::ShortNameLength report;
};

const std::vector<NameLengthReport>& NameLengthReports() {
    static const std::vector<NameLengthReport> reports = {
        {"left alone", nullptr},
        {"length needed", [](DWORD, DWORD name) { return name; }},
        {"length with NUL", [](DWORD, DWORD name) { return name + 1; }},
        {"UTF-16 bytes", [](DWORD, DWORD name) { return 2 * (name + 1); }},
        {"one short of the buffer", [](DWORD buffer, DWORD) { return buffer - 1; }},
    };
    return reports;
}

// Whole machines ---------------------------------------------------------------

// Something a registry may do that must not change a test run's result.
struct Misbehaviour {
    const char* name;
    std::function<void()> start;
};

const Misbehaviour kMisbehaviours[] = {
    {"ReadOnlyLocalMachine",
     [] { ASSERT_TRUE(sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "", KEY_READ)); }},
    {"JunkAfterMoreData", [] { sim::ScribbleOnMoreData(true); }},
    {"NeededNameLength", [] { sim::SetShortNameLength(NameLengthReports()[1].report); }},
    {"Utf16NameLength", [] { sim::SetShortNameLength(NameLengthReports()[3].report); }},
};

void PrintTo(const Misbehaviour& misbehaviour, std::ostream* out) {
    *out << misbehaviour.name;
}

// Each end-to-end machine, run once as it is and once misbehaving: both result
// files must be the same.
class MachineRunTest : public MainDialogTest,
                       public ::testing::WithParamInterface<std::tuple<const char*, Misbehaviour>> {
protected:
    void SetUp() override {
        ThePool().PoolReset();
        MainDialogTest::SetUp();
        sim::ProfileError error;
        const std::string profile =
            std::string(VARNOBEL_E2E_PROFILES) + "/" + std::get<0>(GetParam()) + ".reg";
        ASSERT_TRUE(sim::LoadProfileFile(profile, &error))
            << profile << ":" << error.line << ": " << error.message;
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        ThePool().PoolReset();
    }

    std::string Run() {
        dialog_->RunTest();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return sim::FileContents("C:\\Tools\\ComList.txt");
    }
};

TEST_P(MachineRunTest, ResultIsTheSameAsOnAWellBehavedRegistry) {
    const std::string expected = Run();
    ASSERT_NE(expected.find("Test finished."), std::string::npos);
    std::get<1>(GetParam()).start();
    EXPECT_EQ(Run(), expected);
}

INSTANTIATE_TEST_SUITE_P(EndToEndMachines, MachineRunTest,
                         ::testing::Combine(::testing::Values("nt351", "nt40", "win2k", "winxp",
                                                              "win10", "win98"),
                                            ::testing::ValuesIn(kMisbehaviours)),
                         [](const ::testing::TestParamInfo<MachineRunTest::ParamType>& info) {
                             return std::string(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

// Keys a user may only read ---------------------------------------------------

class ReadOnlyStackKeyTest : public LogDialogTest {
protected:
    Lines Discover() {
        sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
        DiscoverPorts(&dialog_);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return sim::ListBoxItems(GetDlgItem(window_, IDC_LOG_LIST));
    }
};

TEST_F(ReadOnlyStackKeyTest, WidcommKeyThatMayOnlyBeReadIsFound) {
    CreateKey("SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect");
    ASSERT_TRUE(sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\WIDCOMM", KEY_READ));
    EXPECT_EQ(Discover(), (Lines{"WIDCOMM stack\r\n", "WIDCOMM: 0 enum error\r\n"}));
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Widcomm);
}

TEST_F(ReadOnlyStackKeyTest, SocketKeyThatMayOnlyBeReadIsFound) {
    CreateKey("SOFTWARE\\Socket Communications");
    ASSERT_TRUE(sim::SetKeyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Socket Communications", KEY_READ));
    EXPECT_EQ(Discover(), (Lines{"SOCKET stack\r\n"}));
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Socket);
}

// The device registry walk ----------------------------------------------------

// Three enumerators, devices with one and with two instances, port names on
// the instance and under "Device Parameters".
std::string SmallTree() {
    return PortInstance("ACPI\\PNP0501\\1", "COM1", "Communications Port", true) +
           PortInstance("ACPI\\PNP0501\\2", "COM2", "Communications Port") +
           EnumSection("ACPI\\PNP0A03\\0") + Value("Class", "System") +
           PortInstance("FTDIBUS\\VID_0403\\0000", "COM5", "USB Serial Port", true) +
           PortInstance("ROOT\\PORTS\\0000", "COM9", "Virtual port");
}

class WalkTest : public PortPassTest {
protected:
    // The table a walk of the machine leaves while the registry behaves.
    std::vector<SlotView> WellBehavedWalk() {
        ResetPortTable();
        EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
        std::vector<SlotView> table = Table();
        ResetPortTable();
        return table;
    }
};

TEST_F(WalkTest, HoldsAtMostOneKeyOpenPerLevel) {
    // The root, an enumerator, a device, an instance and its "Device
    // Parameters" subkey.
    constexpr int kLevels = 5;
    Load(SmallTree());
    sim::ClearPeakOpenKeyCount();
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(sim::PeakOpenKeyCount(), kLevels);
    EXPECT_EQ(Slot(9).kind, General);

    // Without "Device Parameters" one level fewer: a key kept open while the
    // next one of its level is opened would show here.
    sim::ResetMachine();
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", "Port") +
         PortInstance("ACPI\\PNP0501\\2", "COM2", "Port") +
         PortInstance("ACPI\\PNP0502\\1", "COM3", "Port") +
         PortInstance("ROOT\\PORTS\\1", "COM4", "Port"));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(sim::PeakOpenKeyCount(), kLevels - 1);
    EXPECT_EQ(Slot(4).kind, General);
}

TEST_F(WalkTest, GrowsItsNameBuffersWhateverLengthAShortBufferReports) {
    Load(SmallTree() +
         PortInstance("FTDIBUS\\" + std::string(140, 'V') + "\\" + std::string(300, 'I'), "COM7",
                      "USB Serial Port"));
    const std::vector<SlotView> expected = WellBehavedWalk();
    ASSERT_EQ(expected[6].kind, Usb);
    for (const NameLengthReport& report : NameLengthReports()) {
        SCOPED_TRACE(report.name);
        sim::SetShortNameLength(report.report);
        EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
        EXPECT_EQ(Table(), expected);
        ResetPortTable();
    }
}

TEST_F(WalkTest, GivesUpOnALengthThatNeverGrows) {
    Load(SmallTree() + PortInstance("FTDIBUS\\" + std::string(140, 'V') + "\\0", "COM7", "USB"));
    sim::SetShortNameLength([](DWORD, DWORD) { return DWORD{0}; });
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 0);
    EXPECT_EQ(Slot(1).kind, General);
    EXPECT_EQ(Slot(7).kind, Absent);
}

TEST_F(WalkTest, NeverUsesTheJunkLeftAfterMoreData) {
    Load(SmallTree() +
         PortInstance("ACPI\\LONG\\0", "COM3" + std::string(200, ' '),
                      "Long " + std::string(200, 'd')) +
         EnumSection("ROOT\\WIDE\\0") + Value("Class", "PortsEx") +
         Value("ClassGUID", kPortsClassGuid) + Value("PortName", "COM4"));
    const std::vector<SlotView> expected = WellBehavedWalk();
    ASSERT_EQ(expected[2].description, "Long " + std::string(122, 'd'));
    sim::ScribbleOnMoreData(true);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Table(), expected);
}

TEST_F(WalkTest, FollowsAPortNameThatGrowsWhileItIsRead) {
    Load(PortInstance("ACPI\\PNP0501\\1", "COM5" + std::string(200, ' '), "Port"));
    ASSERT_TRUE(sim::ChangeValueAfterReads(
        HKEY_LOCAL_MACHINE, std::string(kEnumRoot) + "\\ACPI\\PNP0501\\1", "PortName", 1, REG_SZ,
        Bytes("COM6" + std::string(300, ' '))));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(5).kind, Absent);
    EXPECT_EQ(Slot(6), (SlotView{General, "(COM6) Serial Port", "Port"}));
}

TEST_F(WalkTest, RecordsAPortWhoseLongDescriptionChangesBetweenItsReads) {
    const std::string instance = std::string(kEnumRoot) + "\\ACPI\\PNP0501\\";
    const std::string bluetooth = "Bluetooth link ";
    Load(PortInstance("ACPI\\PNP0501\\1", "COM1", bluetooth + std::string(200, 'g')) +
         PortInstance("ACPI\\PNP0501\\2", "COM2", "USB " + std::string(200, 's')));
    // Both change after the read that reported more data: one grows past the
    // room the next read makes, twice, the other shrinks.
    sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, instance + "1", "DeviceDesc", 1, REG_SZ,
                               Bytes(bluetooth + std::string(300, 'G')));
    sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, instance + "1", "DeviceDesc", 2, REG_SZ,
                               Bytes(bluetooth + std::string(400, 'H')));
    sim::ChangeValueAfterReads(HKEY_LOCAL_MACHINE, instance + "2", "DeviceDesc", 1, REG_SZ,
                               Bytes("USB " + std::string(150, 'S')));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    EXPECT_EQ(Slot(1), (SlotView{Bluetooth, "(COM1) Bluetooth Serial Port",
                                 bluetooth + std::string(127 - bluetooth.size(), 'H')}));
    EXPECT_EQ(Slot(2), (SlotView{Usb, "(COM2) USB Serial Port", "USB " + std::string(123, 'S')}));
}

TEST_F(WalkTest, SkipsAnInstanceWhoseDeviceParametersAreClosedToTheUser) {
    Load(SmallTree());
    const std::vector<SlotView> expected = WellBehavedWalk();
    ASSERT_TRUE(sim::FailKeyCall(HKEY_LOCAL_MACHINE,
                                 std::string(kEnumRoot) + "\\ACPI\\PNP0501\\1\\Device Parameters",
                                 "RegOpenKeyExA", ERROR_ACCESS_DENIED));
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 1);
    std::vector<SlotView> withoutCom1 = expected;
    withoutCom1[0] = Slot(1);
    EXPECT_EQ(Slot(1).kind, Absent);
    EXPECT_EQ(Table(), withoutCom1);
}

TEST_F(WalkTest, EndsOnAnInstanceThatCannotBeOpened) {
    Load(SmallTree());
    sim::FailKeyCall(HKEY_LOCAL_MACHINE, std::string(kEnumRoot) + "\\FTDIBUS\\VID_0403\\0000",
                     "RegOpenKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ScanDeviceTree(kEnumRoot), 0);
    EXPECT_EQ(Slot(1).kind, General);
    EXPECT_EQ(Slot(2).kind, General);
    EXPECT_EQ(Slot(5).kind, Absent);
    EXPECT_EQ(Slot(9).kind, Absent);
}

TEST_F(WalkTest, StopsCleanlyWhenMemoryStaysRefused) {
    Load(SmallTree() + PortInstance("ACPI\\LONG\\0", "COM3", "Long " + std::string(200, 'd')));
    const unsigned before = sim::AllocationCount();
    const std::vector<SlotView> expected = WellBehavedWalk();
    const unsigned allocations = sim::AllocationCount() - before;
    for (unsigned nth = 1; nth <= allocations; ++nth) {
        SCOPED_TRACE("refused from allocation " + std::to_string(nth));
        sim::FailAllocation(nth, 0);
        EXPECT_EQ(ScanDeviceTree(kEnumRoot), 0);
        sim::ClearFaults();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        for (int n = 1; n <= kPortCount; ++n) {
            const SlotView slot = Slot(n);
            if (slot.kind != Absent && !(slot == expected[n - 1])) {
                // Only a description may be missing: its second read was refused.
                EXPECT_EQ(slot, (SlotView{General, "(COM" + std::to_string(n) + ") Serial Port",
                                          ResetText(n)}));
            }
        }
        ResetPortTable();
    }
}

// The serial-port map ----------------------------------------------------------

class SerialCommMapLieTest : public PortPassTest {};

TEST_F(SerialCommMapLieTest, GrowsItsNameBufferWhateverLengthAShortBufferReports) {
    Load("[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n" +
         Value("\\\\Device\\\\" + std::string(100, 'S'), "COM3") +
         Value("\\\\Device\\\\Serial0", "COM1" + std::string(100, ' ')));
    for (const NameLengthReport& report : NameLengthReports()) {
        SCOPED_TRACE(report.name);
        ResetPortTable();
        sim::SetShortNameLength(report.report);
        sim::ScribbleOnMoreData(true);
        ScanSerialCommMap();
        EXPECT_EQ(Slot(1).kind, General);
        EXPECT_EQ(Slot(3).kind, General);
    }
}

// The WIDCOMM pairing pass -----------------------------------------------------

class WidcommLieTest : public LogDialogTest {
protected:
    void SetUp() override {
        LogDialogTest::SetUp();
        ResetPortTable();
        BluetoothStack = BluetoothStackKind::Widcomm;
        FillFromDescription(4, "Standard Serial over Bluetooth link");
        FillFromDescription(7, "Standard Serial over Bluetooth link");
    }
    void TearDown() override {
        LogDialogTest::TearDown();
        BluetoothStack = BluetoothStackKind::None;
    }

    static std::string Pairing(const std::string& port, const std::string& last,
                               const std::string& address) {
        return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\" + port +
               "]\n\"BDAddress\"=hex:" + address + "\n\"BDName\"=\"Device " + port +
               "\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:" +
               last + "]\n\"LinkKey\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\n";
    }

    Lines Scan() {
        ScanWidcommPairings(&dialog_);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return sim::ListBoxItems(GetDlgItem(window_, IDC_LOG_LIST));
    }
};

TEST_F(WidcommLieTest, OnePairingThatCannotBeReadLeavesTheOthers) {
    Load(Pairing("4", "04", "00,11,22,aa,bb,04") + Pairing("7", "07", "00,11,22,aa,bb,07"));
    ASSERT_TRUE(sim::FailKeyCall(HKEY_LOCAL_MACHINE,
                                 "SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:04",
                                 "RegOpenKeyExA", ERROR_ACCESS_DENIED));
    const Lines lines = Scan();
    EXPECT_EQ(lines, (Lines{"WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n",
                            "WIDCOMM: reset (COM7) Bluetooth Serial Port\r\n",
                            "WIDCOMM: query LinkKey error\r\n",
                            "WIDCOMM: Found 6:(COM7) Bluetooth [Device 7]\r\n",
                            "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_EQ(portTable.slots[3].available, 0);
    EXPECT_EQ(portTable.slots[6].available, 1);
}

TEST_F(WidcommLieTest, AnAddressTooLongForItsBufferIsNotReadFromTheJunk) {
    // COM4's address has twelve bytes; its first six name a paired device.
    // The junk, taken for an address, would name a paired device too.
    Load(Pairing("4", "04", "00,11,22,aa,bb,04,00,00,00,00,00,00") +
         Pairing("7", "07", "00,11,22,aa,bb,07") +
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\04:04:04:04:04:04]\n"
         "\"LinkKey\"=hex:01\n");
    sim::ScribbleOnMoreData(true, 0x04);
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n",
                             "WIDCOMM: reset (COM7) Bluetooth Serial Port\r\n",
                             "WIDCOMM: Found 6:(COM7) Bluetooth [Device 7]\r\n",
                             "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_EQ(portTable.slots[3].available, 0);
    EXPECT_EQ(portTable.slots[6].available, 1);
}

}  // namespace
