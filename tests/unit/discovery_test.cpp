// The discovery driver: Bluetooth stack detection, the version query with its
// fallback, and the dispatch by platform, observed through the log lines and
// the port table.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "inventory/discovery.h"
#include "inventory/log_sink.h"
#include "inventory/port_table.h"
#include "sim/control.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char kWidcommKey[] = "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect";
constexpr const char kSocketKey[] = "SOFTWARE\\Socket Communications";

class DiscoveryTest : public LogDialogTest {
protected:
    Lines Discover() {
        DiscoverPorts(&dialog_);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return sim::ListBoxItems(GetDlgItem(window_, IDC_LOG_LIST));
    }

    static bool AllAbsent() {
        for (const PortRecord& slot : portTable.slots) {
            if (slot.kind != Absent) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(DiscoveryTest, NoStackLogsNoStackLine) {
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2));
    EXPECT_EQ(Discover(), (Lines{"WinNT 5.1,SP2\r\n"}));
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::None);
}

TEST_F(DiscoveryTest, WidcommStackIsDetected) {
    CreateKey(kWidcommKey);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2));
    const Lines lines = Discover();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "WIDCOMM stack\r\n");
    EXPECT_EQ(lines[1], "WinNT 5.1,SP2\r\n");
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Widcomm);
}

TEST_F(DiscoveryTest, SocketStackIsDetected) {
    CreateKey(kSocketKey);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 0));
    EXPECT_EQ(Discover(), (Lines{"SOCKET stack\r\n", "WinNT 5.0,SP0\r\n"}));
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Socket);
}

TEST_F(DiscoveryTest, WidcommWinsWhenBothStacksArePresent) {
    CreateKey(kWidcommKey);
    CreateKey(kSocketKey);
    const Lines lines = Discover();
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Widcomm);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "WIDCOMM stack\r\n");
    for (const std::string& line : lines) {
        EXPECT_NE(line, "SOCKET stack\r\n");
    }
}

TEST_F(DiscoveryTest, OnlyTheAutoConnectKeyMeansWidcomm) {
    CreateKey("SOFTWARE\\WIDCOMM\\btConfig");
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    EXPECT_EQ(Discover(), Lines{});
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::None);
}

TEST_F(DiscoveryTest, StackIsDetectedAfreshEachTime) {
    CreateKey(kSocketKey);
    Discover();
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Socket);
    ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSocketKey), ERROR_SUCCESS);
    Discover();
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::None);
}

TEST_F(DiscoveryTest, AStackKeyThatCannotBeOpenedCountsAsAbsent) {
    CreateKey(kSocketKey);
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 2);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    EXPECT_EQ(Discover(), Lines{});
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::None);
}

TEST_F(DiscoveryTest, Windows9xLogsItsLine) {
    CreateKey(kSocketKey);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0));
    EXPECT_EQ(Discover(), (Lines{"SOCKET stack\r\n", "Win9X\r\n"}));
}

TEST_F(DiscoveryTest, Nt4LogsNoVersionLine) {
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    EXPECT_EQ(Discover(), Lines{});
}

TEST_F(DiscoveryTest, NtVersionLineCarriesTheServicePack) {
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 0));
    EXPECT_EQ(Discover(), (Lines{"WinNT 5.0,SP0\r\n"}));
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1));
    dialog_.logList.ResetContent();
    EXPECT_EQ(Discover(), (Lines{"WinNT 6.1,SP1\r\n"}));
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0));
    dialog_.logList.ResetContent();
    EXPECT_EQ(Discover(), (Lines{"WinNT 10.0,SP0\r\n"}));
}

TEST_F(DiscoveryTest, Nt351RunsNoPassAtAll) {
    // Data every pass would report a port from, and a WIDCOMM stack whose
    // pass would log at least one line if it ran.
    CreateKey(kWidcommKey);
    CreateKey("SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\3");
    HKEY map = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &map, nullptr),
              ERROR_SUCCESS);
    const char port[] = "COM3";
    RegSetValueExA(map, "\\Device\\Serial0", 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                   sizeof port);
    RegCloseKey(map);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 3, 51, 5));

    FillFromDescription(5, "left over from an earlier run");
    EXPECT_EQ(Discover(), (Lines{"WIDCOMM stack\r\n"}));
    EXPECT_TRUE(AllAbsent());
}

TEST_F(DiscoveryTest, AFailedExtendedQueryFallsBackToTheBasicRecord) {
    sim::Version version = MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4);
    version.extendedQueryFails = true;
    sim::SetVersion(version);
    EXPECT_EQ(Discover(), (Lines{"WinNT 5.0,SP0\r\n"}));
}

TEST_F(DiscoveryTest, OneFailedQueryStillReadsTheBasicRecord) {
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3));
    sim::FailCall("GetVersionExA", ERROR_INVALID_PARAMETER, 1, 1);
    EXPECT_EQ(Discover(), (Lines{"WinNT 5.1,SP0\r\n"}));
}

TEST_F(DiscoveryTest, BothQueriesFailedLeavesPlatformZero) {
    CreateKey(kSocketKey);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3));
    sim::FailCall("GetVersionExA", ERROR_INVALID_PARAMETER, 1, 2);
    EXPECT_EQ(Discover(), (Lines{"SOCKET stack\r\n"}));
}

TEST_F(DiscoveryTest, AnUnknownPlatformLogsNothing) {
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32s, 3, 11, 0));
    EXPECT_EQ(Discover(), Lines{});
}

TEST_F(DiscoveryTest, EveryRunStartsFromAnEmptyTable) {
    const sim::Version rows[] = {MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0),
                                 MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6),
                                 MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2),
                                 MakeVersion(VER_PLATFORM_WIN32s, 3, 11, 0)};
    for (const sim::Version& row : rows) {
        sim::SetVersion(row);
        // Nothing on this machine reports COM77.
        FillFromDescription(77, "USB left over");
        Discover();
        EXPECT_EQ(portTable.slots[76].kind, Absent) << row.platformId << " " << row.major;
        EXPECT_STREQ(portTable.slots[76].description, "\\\\.\\COM77");
    }
}

// A machine with the WIDCOMM stack and ports for every source: the spooler
// lists COM1 and a Bluetooth COM4 that the stack has paired with a headset,
// the serial map knows COM3, and the Setup API a USB COM5.
constexpr const char kPopulatedMachine[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\4]\n"
    "\"BDAddress\"=hex:00,11,22,aa,bb,cc\n"
    "\"BDName\"=\"Headset\"\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc]\n"
    "\"LinkKey\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\n"
    "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
    "\"\\\\Device\\\\Serial2\"=\"COM3\"\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1\\5]\n"
    "\"Class\"=\"Ports\"\n"
    "\"PortName\"=\"COM5\"\n"
    "\"DeviceDesc\"=\"USB Serial Port\"\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    "{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#USB#VID_1#5#{86e0d1e0-8089-11d0-9ce4-"
    "08003e301f73}]\n"
    "\"DeviceInstance\"=\"USB\\\\VID_1\\\\5\"\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    "{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#USB#VID_1#5#{86e0d1e0-8089-11d0-9ce4-"
    "08003e301f73}\\#\\Control]\n"
    "\"Linked\"=dword:1\n"
    "[@spooler]\n"
    "\"COM1:\"=\"Communications Port\"\n"
    "\"COM4:\"=\"Bluetooth Serial Port\"\n";

// Which slots hold a port, and their labels.
Lines PresentPorts() {
    Lines ports;
    for (const PortRecord& slot : portTable.slots) {
        if (slot.kind != Absent) {
            ports.emplace_back(slot.displayName);
        }
    }
    return ports;
}

// Each platform runs its own passes and then the WIDCOMM pass, which sees
// the Bluetooth ports those passes found. A version that can't be had at all
// runs the WIDCOMM pass alone.
TEST_F(DiscoveryTest, EachPlatformRunsItsPassesBeforeTheWidcommPass) {
    struct Row {
        const char* name;
        sim::Version version;
        bool versionQueryFails;
        Lines lines;
        Lines ports;
        const char* passRun;  // the one pass that lists ports, or null
    };
    const Row rows[] = {
        {"Windows 98",
         MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0),
         false,
         {"WIDCOMM stack\r\n", "Win9X\r\n", "WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n",
          "WIDCOMM: Found 3:(COM4) Bluetooth [Headset]\r\n", "WIDCOMM: 1 enum error\r\n"},
         {"(COM1) Serial Port", "(COM4) Bluetooth [Headset]"},
         "EnumPortsA"},
        {"NT 4.0",
         MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6),
         false,
         {"WIDCOMM stack\r\n", "WIDCOMM: 1 enum error\r\n"},
         {"(COM3) COM Port"},
         nullptr},
        {"Windows XP",
         MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2),
         false,
         {"WIDCOMM stack\r\n", "WinNT 5.1,SP2\r\n", "WIDCOMM: 1 enum error\r\n"},
         {"(COM3) COM Port", "(COM5) USB Serial Port"},
         "SetupDiGetClassDevsA"},
        {"Windows 98 whose version queries both fail",
         MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0),
         true,
         {"WIDCOMM stack\r\n", "WIDCOMM: 1 enum error\r\n"},
         {},
         nullptr},
    };
    Load(kPopulatedMachine);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::SetVersion(row.version);
        if (row.versionQueryFails) {
            sim::FailCall("GetVersionExA", ERROR_INVALID_PARAMETER, 1, 2);
        }
        dialog_.logList.ResetContent();
        sim::ClearApiCallCounts();
        EXPECT_EQ(Discover(), row.lines);
        sim::ClearFaults();
        EXPECT_EQ(PresentPorts(), row.ports);
        EXPECT_EQ(portTable.slots[3].available, 1);
        for (const char* pass : {"EnumPortsA", "SetupDiGetClassDevsA"}) {
            const bool runs = row.passRun != nullptr && std::string(row.passRun) == pass;
            EXPECT_EQ(sim::ApiCallCount(pass) != 0, runs) << pass;
        }
        // A system DLL is loaded only for the pass that calls into it.
        EXPECT_EQ(sim::ApiCallCount("LoadLibraryExA") != 0, row.passRun != nullptr);
        // The WIDCOMM pass enumerated the AutoConnect key to its end.
        EXPECT_EQ(sim::ApiCallCount("RegEnumKeyExA"), 2u);
    }
}

// A stack whose AutoConnect key opens for the detection but not for the
// pass: every open after the first fails, for good.
TEST_F(DiscoveryTest, AnAutoConnectKeyThatStopsOpeningIsReported) {
    Load(kPopulatedMachine);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0));
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(Discover(), (Lines{"WIDCOMM stack\r\n", "Win9X\r\n",
                                 "WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n",
                                 "WIDCOMM: no AutoConnect\r\n"}));
    EXPECT_EQ(portTable.slots[3].available, 0);
}

TEST_F(DiscoveryTest, TwoRunsLeaveTheSameTable) {
    Load(kPopulatedMachine);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0));
    Discover();
    ASSERT_EQ(PresentPorts(), (Lines{"(COM1) Serial Port", "(COM4) Bluetooth [Headset]"}));
    const PortTable first = portTable;
    Discover();
    for (int i = 0; i < kPortCount; ++i) {
        const PortRecord& before = first.slots[i];
        const PortRecord& after = portTable.slots[i];
        EXPECT_EQ(before.kind, after.kind) << i;
        EXPECT_EQ(before.available, after.available) << i;
        EXPECT_STREQ(before.devicePath, after.devicePath) << i;
        EXPECT_STREQ(before.displayName, after.displayName) << i;
        EXPECT_STREQ(before.description, after.description) << i;
    }
}

// Any sink will do: the inventory knows the dialog only as a place for lines.
class RecordingSink : public CLogSink {
public:
    void AppendLog(const char* text) override { lines.emplace_back(text); }
    Lines lines;
};

TEST_F(DiscoveryTest, LinesGoToWhicheverSinkIsGiven) {
    CreateKey(kWidcommKey);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2));
    RecordingSink sink;
    DiscoverPorts(&sink);
    EXPECT_EQ(sink.lines, Discover());
    EXPECT_EQ(sink.lines.front(), "WIDCOMM stack\r\n");
}

}  // namespace
