// The WIDCOMM pairing pass on simulated machines: every line it logs, every
// row of its failure handling, the limits of its buffers, and the silent run
// that changes the table exactly as the logged one does.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "inventory/widcomm_pairings.h"
#include "sim/control.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char kAutoConnect[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect]\n";

// An AutoConnect subkey binding `port` to a device at 00:11:22:aa:bb:<last>,
// with a link key for that address and the name `name`.
std::string Pairing(const std::string& subKey, const std::string& last, const std::string& name) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\" + subKey +
           "]\n\"BDAddress\"=hex:00,11,22,aa,bb," + last + "\n\"BDName\"=\"" + name +
           "\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:" + last +
           "]\n\"LinkKey\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\n";
}

std::string AutoConnectKey(const std::string& subKey) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\" + subKey + "]\n";
}

std::string LinkKey(const std::string& address) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\" + address +
           "]\n\"LinkKey\"=hex:01\n";
}

class WidcommPairingsTest : public LogDialogTest {
protected:
    void SetUp() override {
        LogDialogTest::SetUp();
        ResetPortTable();
        BluetoothStack = BluetoothStackKind::Widcomm;
    }
    void TearDown() override {
        LogDialogTest::TearDown();
        BluetoothStack = BluetoothStackKind::None;
    }

    static void MakeBluetooth(int n) {
        FillFromDescription(n, "Standard Serial over Bluetooth link");
    }

    Lines Scan() {
        dialog_.logList.ResetContent();
        ScanWidcommPairings(&dialog_);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return sim::ListBoxItems(GetDlgItem(window_, IDC_LOG_LIST));
    }

    static const PortRecord& Slot(int n) { return portTable.slots[n - 1]; }
};

// Stack and AutoConnect key -------------------------------------------------

TEST_F(WidcommPairingsTest, OtherStacksChangeNothing) {
    MakeBluetooth(4);
    Load(kAutoConnect + Pairing("4", "cc", "Headset"));
    for (BluetoothStackKind stack : {BluetoothStackKind::None, BluetoothStackKind::Socket}) {
        BluetoothStack = stack;
        EXPECT_EQ(Scan(), Lines{});
        EXPECT_EQ(Slot(4).available, 1);
        EXPECT_STREQ(Slot(4).displayName, "(COM4) Bluetooth Serial Port");
    }
}

TEST_F(WidcommPairingsTest, NoAutoConnectKeyLeavesEveryBluetoothPortUnavailable) {
    MakeBluetooth(5);
    MakeBluetooth(2);
    FillFromDescription(3, "Communications Port");
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM2) Bluetooth Serial Port\r\n",
                             "WIDCOMM: reset (COM5) Bluetooth Serial Port\r\n",
                             "WIDCOMM: no AutoConnect\r\n"}));
    EXPECT_EQ(Slot(2).available, 0);
    EXPECT_EQ(Slot(5).available, 0);
    EXPECT_EQ(Slot(3).available, 1);
}

TEST_F(WidcommPairingsTest, AutoConnectKeyThatCannotBeOpened) {
    MakeBluetooth(1);
    Load(kAutoConnect + Pairing("1", "cc", "Headset"));
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM1) Bluetooth Serial Port\r\n",
                             "WIDCOMM: no AutoConnect\r\n"}));
    EXPECT_EQ(Slot(1).available, 0);
}

TEST_F(WidcommPairingsTest, EmptyAutoConnectEndsAtIndexZero) {
    MakeBluetooth(7);
    Load(kAutoConnect);
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM7) Bluetooth Serial Port\r\n",
                             "WIDCOMM: 0 enum error\r\n"}));
    EXPECT_EQ(Slot(7).available, 0);
}

TEST_F(WidcommPairingsTest, PairedPortIsFoundWithItsDeviceName) {
    MakeBluetooth(4);
    Load(kAutoConnect + Pairing("4", "cc", "Headset"));
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n",
                             "WIDCOMM: Found 3:(COM4) Bluetooth [Headset]\r\n",
                             "WIDCOMM: 1 enum error\r\n"}));
    EXPECT_STREQ(Slot(4).displayName, "(COM4) Bluetooth [Headset]");
    EXPECT_EQ(Slot(4).available, 1);
    EXPECT_EQ(Slot(4).kind, Bluetooth);
}

TEST_F(WidcommPairingsTest, LinkKeyIsLookedUpUnderTheAddressText) {
    MakeBluetooth(4);
    Load(kAutoConnect + AutoConnectKey("4") +
         "\"BDAddress\"=hex:0a,1b,2c,3d,4e,5f\n\"BDName\"=\"Pen\"\n" +
         LinkKey("0a:1b:2c:3d:4e:5e") + LinkKey("a:1b:2c:3d:4e:5f"));
    EXPECT_EQ(Scan()[1], "WIDCOMM: query LinkKey error\r\n");
    Load(LinkKey("0a:1b:2c:3d:4e:5f"));
    EXPECT_EQ(Scan()[1], "WIDCOMM: Found 3:(COM4) Bluetooth [Pen]\r\n");
}

// Subkey names --------------------------------------------------------------

TEST_F(WidcommPairingsTest, NamesThatGiveNoPortAreSkippedSilently) {
    for (int n = 1; n <= 80; ++n) {
        MakeBluetooth(n);
    }
    Load(kAutoConnect + Pairing("0", "01", "Zero") + Pairing("81", "02", "High") +
         Pairing("abc", "03", "Letters") + Pairing("-2", "04", "Negative"));
    const Lines lines = Scan();
    ASSERT_EQ(lines.size(), 81u);
    EXPECT_EQ(lines.back(), "WIDCOMM: 4 enum error\r\n");
    for (const PortRecord& slot : portTable.slots) {
        EXPECT_EQ(slot.available, 0);
    }
}

TEST_F(WidcommPairingsTest, LeadingZerosAndTrailingTextStillNameThePort) {
    MakeBluetooth(7);
    Load(kAutoConnect + Pairing("07", "01", "Zero") + Pairing("7x", "02", "Suffix"));
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM7) Bluetooth Serial Port\r\n",
                             "WIDCOMM: Found 6:(COM7) Bluetooth [Zero]\r\n",
                             "WIDCOMM: Found 6:(COM7) Bluetooth [Suffix]\r\n",
                             "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_STREQ(Slot(7).displayName, "(COM7) Bluetooth [Suffix]");
}

TEST_F(WidcommPairingsTest, PortsThatAreNotBluetoothAreSkippedSilently) {
    FillFromDescription(3, "Communications Port");
    MakeBluetooth(9);
    Load(kAutoConnect + Pairing("3", "01", "Serial") + Pairing("4", "02", "Absent"));
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM9) Bluetooth Serial Port\r\n",
                             "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_STREQ(Slot(3).displayName, "(COM3) Serial Port");
    EXPECT_EQ(Slot(3).available, 1);
    EXPECT_EQ(Slot(4).kind, Absent);
    EXPECT_STREQ(Slot(4).displayName, "\\\\.\\COM4");
    // A Bluetooth port no subkey names keeps its label and ends unavailable.
    EXPECT_STREQ(Slot(9).displayName, "(COM9) Bluetooth Serial Port");
    EXPECT_EQ(Slot(9).available, 0);
}

TEST_F(WidcommPairingsTest, SubkeyNameOf20CharactersEndsTheEnumeration) {
    MakeBluetooth(1);
    MakeBluetooth(2);
    MakeBluetooth(3);
    Load(kAutoConnect + Pairing("1", "01", "One") +
         Pairing("2" + std::string(18, 'y'), "02", "Two") +
         Pairing("2" + std::string(19, 'z'), "03", "Long") + Pairing("3", "04", "Three"));
    EXPECT_EQ(Scan(),
              (Lines{"WIDCOMM: reset (COM1) Bluetooth Serial Port\r\n",
                     "WIDCOMM: reset (COM2) Bluetooth Serial Port\r\n",
                     "WIDCOMM: reset (COM3) Bluetooth Serial Port\r\n",
                     "WIDCOMM: Found 0:(COM1) Bluetooth [One]\r\n",
                     "WIDCOMM: Found 1:(COM2) Bluetooth [Two]\r\n", "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_EQ(Slot(3).available, 0);
}

TEST_F(WidcommPairingsTest, AnyFailingEnumerationEndsWithItsIndex) {
    MakeBluetooth(1);
    MakeBluetooth(2);
    Load(kAutoConnect + Pairing("1", "01", "One") + Pairing("2", "02", "Two"));
    sim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED, 2, 1);
    const Lines lines = Scan();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "WIDCOMM: Found 0:(COM1) Bluetooth [One]\r\n");
    EXPECT_EQ(lines[3], "WIDCOMM: 1 enum error\r\n");
    EXPECT_EQ(Slot(2).available, 0);
}

// BDAddress -----------------------------------------------------------------

// Only an address that can be read and has six bytes or more is looked up;
// any other is skipped without a line.
TEST_F(WidcommPairingsTest, AddressSizeDecidesWhetherThePortIsLookedAt) {
    struct Row {
        const char* address;
        const char* failingCall;  // on the AutoConnect subkey, or null
        DWORD status;
    };
    const Row rows[] = {
        {"00,11,22,33,44", nullptr, 0},                    // 5 bytes: too short
        {"00,11,22,33,44,55", nullptr, 0},                 // 6
        {"00,11,22,33,44,55,66,77,88,99", nullptr, 0},     // 10: the first six count
        {"00,11,22,33,44,55,66,77,88,99,aa", nullptr, 0},  // 11: larger than the buffer
        {"00,11,22,33,44,55", "RegOpenKeyExA", ERROR_ACCESS_DENIED},
        {"00,11,22,33,44,55", "RegQueryValueExA", ERROR_NOT_ENOUGH_MEMORY},
    };
    const int count = static_cast<int>(sizeof rows / sizeof rows[0]);
    Lines expected;
    for (int n = 1; n <= count; ++n) {
        const Row& row = rows[n - 1];
        MakeBluetooth(n);
        Load(kAutoConnect + AutoConnectKey(std::to_string(n)) + "\"BDAddress\"=hex:" + row.address +
             "\n\"BDName\"=\"Dev" + std::to_string(n) + "\"\n");
        if (row.failingCall != nullptr) {
            ASSERT_TRUE(
                sim::FailKeyCall(HKEY_LOCAL_MACHINE,
                                 "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\" + std::to_string(n),
                                 row.failingCall, row.status));
        }
        expected.push_back("WIDCOMM: reset (COM" + std::to_string(n) +
                           ") Bluetooth Serial Port\r\n");
    }
    Load(LinkKey("00:11:22:33:44:55"));
    expected.push_back("WIDCOMM: Found 1:(COM2) Bluetooth [Dev2]\r\n");
    expected.push_back("WIDCOMM: Found 2:(COM3) Bluetooth [Dev3]\r\n");
    expected.push_back("WIDCOMM: " + std::to_string(count) + " enum error\r\n");
    EXPECT_EQ(Scan(), expected);
    for (int n = 1; n <= count; ++n) {
        SCOPED_TRACE("COM" + std::to_string(n));
        const bool bound = n == 2 || n == 3;
        EXPECT_EQ(Slot(n).available, bound ? 1 : 0);
        if (!bound) {
            EXPECT_STREQ(Slot(n).displayName,
                         ("(COM" + std::to_string(n) + ") Bluetooth Serial Port").c_str());
        }
    }
}

TEST_F(WidcommPairingsTest, MissingAddressIsSkippedSilently) {
    MakeBluetooth(6);
    Load(kAutoConnect + AutoConnectKey("6") + "\"BDName\"=\"Mouse\"\n");
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM6) Bluetooth Serial Port\r\n",
                             "WIDCOMM: 1 enum error\r\n"}));
}

// LinkKey -------------------------------------------------------------------

TEST_F(WidcommPairingsTest, MissingLinkKeyIsLogged) {
    MakeBluetooth(4);
    Load(
        kAutoConnect + AutoConnectKey("4") + "\"BDAddress\"=hex:00,11,22,aa,bb,cc\n" +
        "\"BDName\"=\"Headset\"\n" +
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc\\LinkKey]\n");
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n",
                             "WIDCOMM: query LinkKey error\r\n", "WIDCOMM: 1 enum error\r\n"}));
    EXPECT_EQ(Slot(4).available, 0);
    EXPECT_STREQ(Slot(4).displayName, "(COM4) Bluetooth Serial Port");
}

TEST_F(WidcommPairingsTest, LinkKeyOfAnySizeCounts) {
    MakeBluetooth(4);
    Load(kAutoConnect + AutoConnectKey("4") +
         "\"BDAddress\"=hex:00,11,22,aa,bb,cc\n\"BDName\"=\"Headset\"\n" +
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc]\n" +
         "\"LinkKey\"=hex:\n");
    EXPECT_EQ(Scan()[1], "WIDCOMM: Found 3:(COM4) Bluetooth [Headset]\r\n");
    // The 16-byte key of the usual pairing is larger than the buffer.
    Load(Pairing("4", "cc", "Headset"));
    EXPECT_EQ(Scan()[1], "WIDCOMM: Found 3:(COM4) Bluetooth [Headset]\r\n");
}

// BDName --------------------------------------------------------------------

TEST_F(WidcommPairingsTest, MissingOrOverlongNameIsLogged) {
    MakeBluetooth(1);
    MakeBluetooth(2);
    Load(kAutoConnect + AutoConnectKey("1") + "\"BDAddress\"=hex:00,11,22,aa,bb,01\n" +
         LinkKey("00:11:22:aa:bb:01") + Pairing("2", "02", std::string(256, 'n')));
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM1) Bluetooth Serial Port\r\n",
                             "WIDCOMM: reset (COM2) Bluetooth Serial Port\r\n",
                             "WIDCOMM: query BDName error\r\n", "WIDCOMM: query BDName error\r\n",
                             "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_EQ(Slot(1).available, 0);
    EXPECT_EQ(Slot(2).available, 0);
}

TEST_F(WidcommPairingsTest, NameFromTheDefaultValueOfABDNameSubkey) {
    MakeBluetooth(8);
    Load(kAutoConnect + AutoConnectKey("8") + "\"BDAddress\"=hex:00,11,22,aa,bb,08\n" +
         AutoConnectKey("8\\BDName") + "@=\"Keyboard\"\n" + LinkKey("00:11:22:aa:bb:08"));
    EXPECT_EQ(Scan()[1], "WIDCOMM: Found 7:(COM8) Bluetooth [Keyboard]\r\n");
    EXPECT_STREQ(Slot(8).displayName, "(COM8) Bluetooth [Keyboard]");
}

TEST_F(WidcommPairingsTest, LongLabelIsCutInTheTableButWholeInTheLine) {
    MakeBluetooth(12);
    const std::string name = "Very Long Remote Device Name 30";
    ASSERT_EQ(name.size(), 31u);
    const std::string thirty = name.substr(0, 30);
    Load(kAutoConnect + Pairing("12", "12", thirty));
    const std::string label = "(COM12) Bluetooth [" + thirty + "]";
    ASSERT_EQ(label.size(), 50u);
    EXPECT_EQ(Scan()[1], "WIDCOMM: Found 11:" + label + "\r\n");
    EXPECT_EQ(std::string(Slot(12).displayName), label.substr(0, 40));
}

TEST_F(WidcommPairingsTest, LongestReadableNameStaysInItsBuffers) {
    MakeBluetooth(80);
    const std::string name(255, 'w');
    Load(kAutoConnect + Pairing("80", "50", name));
    EXPECT_EQ(Scan()[1], "WIDCOMM: Found 79:(COM80) Bluetooth [" + name + "]\r\n");
    EXPECT_EQ(std::strlen(Slot(80).displayName), 40u);
}

// Several subkeys for one port ----------------------------------------------

TEST_F(WidcommPairingsTest, LaterSubkeyForTheSamePortWins) {
    MakeBluetooth(5);
    Load(kAutoConnect + Pairing("05", "01", "Early") + Pairing("5", "02", "Late"));
    Scan();
    EXPECT_STREQ(Slot(5).displayName, "(COM5) Bluetooth [Late]");
    EXPECT_EQ(Slot(5).available, 1);
}

TEST_F(WidcommPairingsTest, LaterFailureKeepsEarlierSuccess) {
    MakeBluetooth(5);
    Load(kAutoConnect + Pairing("05", "01", "Early") + AutoConnectKey("5") +
         "\"BDAddress\"=hex:00,11,22,aa,bb,02\n\"BDName\"=\"Late\"\n");
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM5) Bluetooth Serial Port\r\n",
                             "WIDCOMM: Found 4:(COM5) Bluetooth [Early]\r\n",
                             "WIDCOMM: query LinkKey error\r\n", "WIDCOMM: 2 enum error\r\n"}));
    EXPECT_STREQ(Slot(5).displayName, "(COM5) Bluetooth [Early]");
    EXPECT_EQ(Slot(5).available, 1);
}

TEST_F(WidcommPairingsTest, EachRunStartsByClearingAvailability) {
    MakeBluetooth(4);
    Load(kAutoConnect + Pairing("4", "cc", "Headset"));
    Scan();
    ASSERT_EQ(Slot(4).available, 1);
    Load("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\4]\n");
    EXPECT_EQ(Scan(), (Lines{"WIDCOMM: reset (COM4) Bluetooth [Headset]\r\n",
                             "WIDCOMM: 0 enum error\r\n"}));
    EXPECT_EQ(Slot(4).available, 0);
    EXPECT_STREQ(Slot(4).displayName, "(COM4) Bluetooth [Headset]");
}

// Silent run ----------------------------------------------------------------

TEST_F(WidcommPairingsTest, SilentRunChangesTheTableExactlyAsTheLoggedRun) {
    MakeBluetooth(2);
    MakeBluetooth(4);
    MakeBluetooth(12);
    FillFromDescription(3, "USB Serial");
    Load(kAutoConnect + Pairing("4", "cc", "Headset") + Pairing("12", "12", std::string(30, 'x')) +
         AutoConnectKey("2") + "\"BDAddress\"=hex:00,11,22,aa,bb,02\n");
    const PortTable before = portTable;
    const Lines lines = Scan();
    EXPECT_EQ(lines.size(), 7u);
    const PortTable logged = portTable;

    portTable = before;
    dialog_.logList.ResetContent();
    ScanWidcommPairings(nullptr);
    EXPECT_EQ(sim::OpenKeyCount(), 0);
    EXPECT_EQ(sim::ListBoxItems(GetDlgItem(window_, IDC_LOG_LIST)), Lines{});
    EXPECT_EQ(std::memcmp(&portTable, &logged, sizeof portTable), 0);
    EXPECT_NE(std::memcmp(&portTable, &before, sizeof portTable), 0);
}

}  // namespace
