// A 32-bit program on 64-bit Windows: how it tells it runs under WOW64; the
// stack detection choosing the view of the stack's key, the 64-bit one first;
// the pairing pass reading that view only, whatever a stale copy in the other
// holds; the path reader keeping to its view; and no view asked for on a
// system that has none.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "inventory/registry_path_reader.h"
#include "inventory/widcomm_pairings.h"
#include "sim/control.h"
#include "support/wow64.h"

namespace {

using Lines = std::vector<std::string>;

// Where a machine keeps HKEY_LOCAL_MACHINE\SOFTWARE for 64-bit programs, and
// where 64-bit Windows keeps it for 32-bit ones.
constexpr const char kNativeSoftware[] = "SOFTWARE";
constexpr const char kWow64Software[] = "SOFTWARE\\Wow6432Node";

sim::Version Windows7() {
    return MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1);
}

std::string Section(const std::string& software, const std::string& path) {
    return "[HKEY_LOCAL_MACHINE\\" + software + "\\" + path + "]\n";
}

std::string AutoConnect(const std::string& software) {
    return Section(software, "WIDCOMM\\btConfig\\AutoConnect");
}

std::string AutoConnectEntry(const std::string& software, const std::string& port,
                             const std::string& name) {
    return Section(software, "WIDCOMM\\btConfig\\AutoConnect\\" + port) +
           "\"BDAddress\"=hex:00,11,22,aa,bb,cc\n\"BDName\"=\"" + name + "\"\n";
}

std::string WidcommLinkKey(const std::string& software) {
    return Section(software, "WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc") +
           "\"LinkKey\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\n";
}

// A WIDCOMM stack with COM4 bound to a headset, all in one view.
std::string PairedStack(const std::string& software) {
    return AutoConnect(software) + AutoConnectEntry(software, "4", "Headset") +
           WidcommLinkKey(software);
}

class Wow64Test : public LogDialogTest {
protected:
    void SetUp() override {
        LogDialogTest::SetUp();
        ResetPortTable();
        BluetoothStack = BluetoothStackKind::None;
        WidcommRegistryView = 0;
    }
    void TearDown() override {
        LogDialogTest::TearDown();
        BluetoothStack = BluetoothStackKind::None;
        WidcommRegistryView = 0;
    }

    static void On64BitWindows() {
        sim::SetVersion(Windows7());
        sim::SetProcessKind(sim::ProcessKind::Wow64);
    }

    // Back to 32-bit Windows without any SOFTWARE keys, the dialog kept.
    static void ForgetSoftware() {
        sim::SetProcessKind(sim::ProcessKind::Native32);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE");
    }

    std::string FirstDiscoveredLine() {
        const Lines lines = Discover();
        return lines.empty() ? "(nothing logged)" : lines.front();
    }

    Lines Log() { return sim::ListBoxItems(GetDlgItem(window_, IDC_LOG_LIST)); }

    Lines Discover() {
        dialog_.logList.ResetContent();
        DiscoverPorts(&dialog_);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return Log();
    }

    // A discovery, which detects the stack and its view, then the pairing
    // pass alone with COM4 a Bluetooth port. `between` runs before the pass.
    Lines Pair(const std::function<void()>& between = nullptr) {
        Discover();
        dialog_.logList.ResetContent();
        ResetPortTable();
        FillFromDescription(4, "Standard Serial over Bluetooth link");
        if (between) {
            between();
        }
        ScanWidcommPairings(&dialog_);
        sim::ClearFaults();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return Log();
    }
};

// Telling WOW64 apart --------------------------------------------------------

TEST_F(Wow64Test, OnlyA32BitProgramOn64BitWindowsRunsUnderWow64) {
    sim::SetVersion(Windows7());
    sim::SetProcessKind(sim::ProcessKind::Native32);
    EXPECT_FALSE(RunsUnderWow64());
    sim::SetProcessKind(sim::ProcessKind::Native64);
    EXPECT_FALSE(RunsUnderWow64());
    sim::SetProcessKind(sim::ProcessKind::Wow64);
    EXPECT_TRUE(RunsUnderWow64());
}

TEST_F(Wow64Test, SystemsWithoutIsWow64ProcessHaveNoWow64) {
    sim::SetProcessKind(sim::ProcessKind::Wow64);
    for (const sim::Version& version :
         {MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0),
          MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4),
          MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 1)}) {
        sim::SetVersion(version);
        EXPECT_FALSE(RunsUnderWow64()) << version.major << "." << version.minor;
    }
}

TEST_F(Wow64Test, AFailedLookupMeansNoWow64) {
    On64BitWindows();
    sim::FailCall("GetProcAddress", ERROR_PROC_NOT_FOUND);
    EXPECT_FALSE(RunsUnderWow64());
}

// Stack detection ------------------------------------------------------------

// The stack's key is looked for in the 64-bit view first, and in the 32-bit
// view only when the 64-bit view has no such key: one that is there but does
// not open means no stack, whatever the 32-bit view holds.
TEST_F(Wow64Test, TheStackIsDetectedInTheFirstViewThatHasItsKey) {
    const std::string socket64 = Section(kNativeSoftware, "Socket Communications");
    const std::string socket32 = Section(kWow64Software, "Socket Communications");
    const std::string autoConnect64 = AutoConnect(kNativeSoftware);
    const std::string autoConnect32 = AutoConnect(kWow64Software);
    const auto fail64 = [](DWORD status) {
        return [status] {
            ASSERT_TRUE(sim::FailKeyCall(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect",
                                         "RegOpenKeyExA", status));
        };
    };
    struct Row {
        const char* name;
        std::string machine;
        std::function<void()> fault;
        const char* firstLine;
        BluetoothStackKind stack;
        REGSAM view;
    };
    const Row rows[] = {
        {"WIDCOMM in the 64-bit view", autoConnect64, nullptr, "WIDCOMM stack\r\n",
         BluetoothStackKind::Widcomm, KEY_WOW64_64KEY},
        {"Socket in the 64-bit view", socket64, nullptr, "SOCKET stack\r\n",
         BluetoothStackKind::Socket, 0},
        {"WIDCOMM in the 32-bit view only", autoConnect32, nullptr, "WIDCOMM stack\r\n",
         BluetoothStackKind::Widcomm, 0},
        {"Socket in the 32-bit view only", socket32, nullptr, "SOCKET stack\r\n",
         BluetoothStackKind::Socket, 0},
        {"WIDCOMM in either view wins over Socket", socket64 + autoConnect32, nullptr,
         "WIDCOMM stack\r\n", BluetoothStackKind::Widcomm, 0},
        {"WIDCOMM in both views", autoConnect64 + autoConnect32, nullptr, "WIDCOMM stack\r\n",
         BluetoothStackKind::Widcomm, KEY_WOW64_64KEY},
        {"64-bit key refused, a stale 32-bit copy", autoConnect64 + autoConnect32,
         fail64(ERROR_ACCESS_DENIED), "WinNT 6.1,SP1\r\n", BluetoothStackKind::None, 0},
        {"64-bit key refused, Socket", autoConnect64 + autoConnect32 + socket64,
         fail64(ERROR_ACCESS_DENIED), "SOCKET stack\r\n", BluetoothStackKind::Socket, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ForgetSoftware();
        On64BitWindows();
        Load(row.machine);
        if (row.fault) {
            row.fault();
        }
        EXPECT_EQ(FirstDiscoveredLine(), row.firstLine);
        sim::ClearFaults();
        EXPECT_EQ(BluetoothStack, row.stack);
        EXPECT_EQ(WidcommRegistryView, row.view);
    }
}

// Pairing pass ---------------------------------------------------------------

// The same stack reports the same on 32-bit Windows and, in either view, on
// 64-bit Windows.
TEST_F(Wow64Test, PairingsReadAsOn32BitWindowsFromEitherView) {
    sim::SetVersion(Windows7());
    Load(PairedStack(kNativeSoftware));
    const Lines expected = Pair();
    const PortRecord expectedSlot = portTable.slots[3];
    ASSERT_EQ(expectedSlot.available, 1) << "the 32-bit machine must bind COM4";

    for (const char* software : {kNativeSoftware, kWow64Software}) {
        ForgetSoftware();
        On64BitWindows();
        Load(PairedStack(software));
        EXPECT_EQ(Pair(), expected) << software;
        EXPECT_STREQ(portTable.slots[3].displayName, expectedSlot.displayName) << software;
        EXPECT_EQ(portTable.slots[3].available, expectedSlot.available) << software;
    }
}

// A 32-bit install leaves a stale copy of the stack's keys in the 32-bit view
// beside the 64-bit stack that runs. Every key the pass reads is read in the
// view the stack was found in, and one missing there is missing.
TEST_F(Wow64Test, EveryReadOfThePassStaysInTheStacksView) {
    const std::string entry64 = Section(kNativeSoftware, "WIDCOMM\\btConfig\\AutoConnect\\4");
    const std::string address = "\"BDAddress\"=hex:00,11,22,aa,bb,cc\n";
    const std::string name = "\"BDName\"=\"Headset\"\n";
    const std::string staleStack = AutoConnect(kWow64Software) +
                                   AutoConnectEntry(kWow64Software, "4", "Old name") +
                                   WidcommLinkKey(kWow64Software);
    const std::string reset = "WIDCOMM: reset (COM4) Bluetooth Serial Port\r\n";
    const std::string unbound = "(COM4) Bluetooth Serial Port";
    struct Row {
        const char* name;
        std::string machine;
        std::function<void()> between;
        Lines lines;
        const char* label;
        uint8_t available;
    };
    const Row rows[] = {
        {"the link key only in the stale copy",
         AutoConnect(kNativeSoftware) + AutoConnectEntry(kNativeSoftware, "4", "Headset") +
             WidcommLinkKey(kWow64Software),
         nullptr,
         {reset, "WIDCOMM: query LinkKey error\r\n", "WIDCOMM: 1 enum error\r\n"},
         unbound.c_str(),
         0},
        {"the address only in the stale copy",
         AutoConnect(kNativeSoftware) + entry64 + name + WidcommLinkKey(kNativeSoftware) +
             staleStack,
         nullptr,
         {reset, "WIDCOMM: 1 enum error\r\n"},
         unbound.c_str(),
         0},
        {"the name only in the stale copy",
         AutoConnect(kNativeSoftware) + entry64 + address + WidcommLinkKey(kNativeSoftware) +
             staleStack,
         nullptr,
         {reset, "WIDCOMM: query BDName error\r\n", "WIDCOMM: 1 enum error\r\n"},
         unbound.c_str(),
         0},
        {"the auto-connect entry only in the stale copy",
         AutoConnect(kNativeSoftware) + staleStack,
         nullptr,
         {reset, "WIDCOMM: 0 enum error\r\n"},
         unbound.c_str(),
         0},
        {"both views hold the stack",
         PairedStack(kNativeSoftware) + staleStack,
         nullptr,
         {reset, "WIDCOMM: Found 3:(COM4) Bluetooth [Headset]\r\n", "WIDCOMM: 1 enum error\r\n"},
         "(COM4) Bluetooth [Headset]",
         1},
        {"the stack's key gone from the 64-bit view after the detection",
         PairedStack(kNativeSoftware) + staleStack,
         [] { sim::FailCall("RegOpenKeyExA", ERROR_FILE_NOT_FOUND, 1, 1); },
         {reset, "WIDCOMM: no AutoConnect\r\n"},
         unbound.c_str(),
         0},
        {"the stack in the 32-bit view only, a link key in the 64-bit view",
         AutoConnect(kWow64Software) + AutoConnectEntry(kWow64Software, "4", "Headset") +
             WidcommLinkKey(kNativeSoftware),
         nullptr,
         {reset, "WIDCOMM: query LinkKey error\r\n", "WIDCOMM: 1 enum error\r\n"},
         unbound.c_str(),
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ForgetSoftware();
        On64BitWindows();
        Load(row.machine);
        EXPECT_EQ(Pair(row.between), row.lines);
        EXPECT_STREQ(portTable.slots[3].displayName, row.label);
        EXPECT_EQ(portTable.slots[3].available, row.available);
    }
}

// The path reader ------------------------------------------------------------

TEST_F(Wow64Test, ThePathReaderReadsItsOwnViewOnly) {
    On64BitWindows();
    Load(Section(kNativeSoftware, "Vendor\\Both") + "\"Name\"=\"native\"\n" +
         Section(kWow64Software, "Vendor\\Both") + "\"Name\"=\"redirected\"\n" +
         Section(kNativeSoftware, "Vendor\\Only64") + "\"Name\"=\"native\"\n" +
         Section(kWow64Software, "Vendor\\Only32") + "\"Name\"=\"redirected\"\n");
    struct Row {
        REGSAM view;
        const char* path;
        const char* expected;  // null for a failed read
    };
    const Row rows[] = {
        {KEY_WOW64_64KEY, "SOFTWARE\\Vendor\\Both\\Name", "native"},
        {KEY_WOW64_64KEY, "SOFTWARE\\Vendor\\Only64\\Name", "native"},
        {KEY_WOW64_64KEY, "SOFTWARE\\Vendor\\Only32\\Name", nullptr},
        {0, "SOFTWARE\\Vendor\\Both\\Name", "redirected"},
        {0, "SOFTWARE\\Vendor\\Only32\\Name", "redirected"},
        {0, "SOFTWARE\\Vendor\\Only64\\Name", nullptr},
        {KEY_WOW64_32KEY, "SOFTWARE\\Vendor\\Only64\\Name", nullptr},
        {KEY_WOW64_64KEY | KEY_WOW64_32KEY, "SOFTWARE\\Vendor\\Only64\\Name", "native"},
    };
    const HKEY root = HKEY_LOCAL_MACHINE;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.view) + " " + row.path);
        CRegistryPathReader reader(row.view);
        const char* text = reader.QueryStringByPath(&root, row.path);
        EXPECT_STREQ(text != nullptr ? text : "(null)",
                     row.expected != nullptr ? row.expected : "(null)");
        EXPECT_EQ(sim::OpenKeyCount(), 0);
    }
}

// No view without WOW64 ------------------------------------------------------

// Windows 2000 refuses the view flags; every system without WOW64 is asked
// exactly as before, and finds the stack.
TEST_F(Wow64Test, SystemsWithoutWow64AreNeverAskedForAView) {
    for (const sim::Version& version :
         {MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0),
          MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0),
          MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4),
          MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3), Windows7()}) {
        ForgetSoftware();
        sim::SetVersion(version);
        Load(PairedStack(kNativeSoftware));
        const int flagOpensBefore = sim::ViewFlagOpenCount();
        EXPECT_EQ(FirstDiscoveredLine(), "WIDCOMM stack\r\n")
            << version.major << "." << version.minor;
        Pair();
        EXPECT_EQ(portTable.slots[3].available, 1) << version.major << "." << version.minor;
        EXPECT_EQ(sim::ViewFlagOpenCount(), flagOpensBefore)
            << version.major << "." << version.minor;
    }
}

}  // namespace
