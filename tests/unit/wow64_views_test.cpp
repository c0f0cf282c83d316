// A 32-bit program on 64-bit Windows: how it tells it runs under WOW64, and
// the stack detection, pairing pass and path reader finding a stack's keys in
// the 64-bit view, or in the 32-bit view when they are only there, without
// ever asking for a view on a system that has none.
#include <gtest/gtest.h>

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

std::string LinkKey(const std::string& software) {
    return Section(software, "WIDCOMM\\btConfig\\Devices\\00:11:22:aa:bb:cc") +
           "\"LinkKey\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\n";
}

// A WIDCOMM stack with COM4 bound to a headset, all in one view.
std::string PairedStack(const std::string& software) {
    return AutoConnect(software) + AutoConnectEntry(software, "4", "Headset") + LinkKey(software);
}

class Wow64Test : public LogDialogTest {
protected:
    void SetUp() override {
        LogDialogTest::SetUp();
        ResetPortTable();
        BluetoothStack = BluetoothStackKind::None;
    }
    void TearDown() override {
        LogDialogTest::TearDown();
        BluetoothStack = BluetoothStackKind::None;
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

    // The pairing pass alone, with COM4 a Bluetooth port.
    Lines Pair() {
        dialog_.logList.ResetContent();
        ResetPortTable();
        FillFromDescription(4, "Standard Serial over Bluetooth link");
        BluetoothStack = BluetoothStackKind::Widcomm;
        ScanWidcommPairings(&dialog_);
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

TEST_F(Wow64Test, StackKeysOnlyInThe64BitViewAreFound) {
    On64BitWindows();
    Load(AutoConnect(kNativeSoftware));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect", 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND)
        << "a plain open must land in the 32-bit view";
    EXPECT_EQ(FirstDiscoveredLine(), "WIDCOMM stack\r\n");
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Widcomm);

    ForgetSoftware();
    On64BitWindows();
    Load(Section(kNativeSoftware, "Socket Communications"));
    EXPECT_EQ(FirstDiscoveredLine(), "SOCKET stack\r\n");
    EXPECT_EQ(BluetoothStack, BluetoothStackKind::Socket);
}

TEST_F(Wow64Test, StackKeysOnlyInThe32BitViewAreStillFound) {
    On64BitWindows();
    Load(AutoConnect(kWow64Software));
    EXPECT_EQ(FirstDiscoveredLine(), "WIDCOMM stack\r\n");

    ForgetSoftware();
    On64BitWindows();
    Load(Section(kWow64Software, "Socket Communications"));
    EXPECT_EQ(FirstDiscoveredLine(), "SOCKET stack\r\n");
}

TEST_F(Wow64Test, TheWidcommKeyInEitherViewWinsOverSocket) {
    On64BitWindows();
    Load(Section(kNativeSoftware, "Socket Communications") + AutoConnect(kWow64Software));
    EXPECT_EQ(FirstDiscoveredLine(), "WIDCOMM stack\r\n");
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

// A key missing from the 64-bit view is looked for in the 32-bit one, each key
// on its own.
TEST_F(Wow64Test, EachMissingKeyIsLookedForInThe32BitView) {
    sim::SetVersion(Windows7());
    Load(PairedStack(kNativeSoftware));
    const Lines expected = Pair();

    ForgetSoftware();
    On64BitWindows();
    Load(AutoConnect(kNativeSoftware) + AutoConnectEntry(kNativeSoftware, "4", "Headset") +
         LinkKey(kWow64Software));
    EXPECT_EQ(Pair(), expected);
}

TEST_F(Wow64Test, The64BitViewWinsWhenBothViewsHoldTheStack) {
    On64BitWindows();
    Load(PairedStack(kNativeSoftware) + AutoConnect(kWow64Software) +
         AutoConnectEntry(kWow64Software, "4", "Old name") + LinkKey(kWow64Software));
    Pair();
    EXPECT_STREQ(portTable.slots[3].displayName, "(COM4) Bluetooth [Headset]");
}

TEST_F(Wow64Test, PathReaderPrefersThe64BitViewAndFallsBackPerRead) {
    On64BitWindows();
    Load(Section(kNativeSoftware, "Vendor\\Both") + "\"Name\"=\"native\"\n" +
         Section(kWow64Software, "Vendor\\Both") + "\"Name\"=\"redirected\"\n" +
         Section(kWow64Software, "Vendor\\Only32") + "\"Name\"=\"redirected\"\n");
    CRegistryPathReader reader;
    const HKEY root = HKEY_LOCAL_MACHINE;
    const char* both = reader.QueryStringByPath(&root, "SOFTWARE\\Vendor\\Both\\Name");
    EXPECT_STREQ(both != nullptr ? both : "(null)", "native");
    const char* only32 = reader.QueryStringByPath(&root, "SOFTWARE\\Vendor\\Only32\\Name");
    EXPECT_STREQ(only32 != nullptr ? only32 : "(null)", "redirected");
    EXPECT_EQ(sim::OpenKeyCount(), 0);
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
