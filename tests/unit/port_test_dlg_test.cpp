// The main dialog's log and Test run: list-box trimming, the complete text of
// runs on every kind of platform, the report lines, the result file that
// can't be created, runs interrupted by a failed write or an exhausted heap,
// and what the user sees while a run lasts: each line painted as it comes and
// the hourglass until the run ends.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "inventory/port_table.h"
#include "probe/stopwatch.h"
#include "sim/control.h"
#include "sim/ui_control.h"
#include "support/block_pool.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char kResultPath[] = "C:\\Tools\\ComList.txt";
constexpr const char kWidcommKey[] = "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect";
constexpr const char kClosing[] =
    "\r\nOpen test...\r\n"
    "\r\nTest finished.\r\n"
    "Please send \"ComList.txt\" to Tobrin.\r\n"
    "Thanks.\r\n";

std::string Join(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
    }
    return text;
}

class PortTestDlgTest : public MainDialogTest {
protected:
    // The pool's chunks live in the simulated global memory, so the pool lets
    // go of them before the machine is reset.
    void SetUp() override {
        ThePool().PoolReset();
        MainDialogTest::SetUp();
        heldBeforeRun_ = sim::LiveAllocations();
        cursorBeforeRun_ = sim::CurrentCursor();
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        ThePool().PoolReset();
        EXPECT_EQ(sim::LiveAllocations(), 0);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
    }

    HWND ListBox() const { return GetDlgItem(window_, IDC_LOG_LIST); }
    HWND TestButton() const { return GetDlgItem(window_, IDOK); }
    Lines Items() const { return sim::ListBoxItems(ListBox()); }
    std::string ResultFile() const { return sim::FileContents(kResultPath); }

    // A run whose search takes `ticks` at 1 kHz: the counter read at the
    // start fails and so reads 0.
    void RunTimed(int64_t ticks) {
        sim::SetClockFrequency(1000);
        sim::SetClockCounter(ticks);
        sim::FailCall("QueryPerformanceCounter", ERROR_INVALID_PARAMETER, 1, 1);
        dialog_->RunTest();
    }

    // After every run: nothing left open or allocated, Test usable again, and
    // the cursor back to what it was.
    void ExpectCleanEnd() {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), heldBeforeRun_);
        EXPECT_TRUE(IsWindowEnabled(TestButton()));
        EXPECT_EQ(sim::CurrentCursor(), cursorBeforeRun_);
        EXPECT_EQ(app_->WaitCursorDepth(), 0);
    }

    static HCURSOR Hourglass() { return LoadCursorA(nullptr, IDC_WAIT); }

    int heldBeforeRun_ = 0;
    HCURSOR cursorBeforeRun_ = nullptr;
};

// AppendLog ------------------------------------------------------------------

TEST_F(PortTestDlgTest, AppendLogKeepsTheLast200LinesAndScrollsToTheEnd) {
    ASSERT_TRUE(dialog_->resultFile.Open(kResultPath, 0x1042));
    std::string expectedFile;
    for (int i = 0; i < 230; ++i) {
        const std::string line = "line " + std::to_string(i) + "\r\n";
        dialog_->AppendLog(line.c_str());
        expectedFile += line;
        // The count read right after adding, before the oldest line goes.
        const int count = i + 1 > 200 ? 201 : i + 1;
        EXPECT_EQ(sim::ListBoxTopIndex(ListBox()), count > 16 ? count - 16 : 0) << i;
    }
    dialog_->resultFile.Close();
    // Each line is painted, the ones that push the oldest out included.
    const std::vector<sim::Paint> paints = sim::PaintsOf(ListBox());
    ASSERT_EQ(paints.size(), 230u);
    EXPECT_EQ(paints[199].items.size(), 200u);
    EXPECT_EQ(paints[229].items, Items());
    const Lines items = Items();
    ASSERT_EQ(items.size(), 200u);
    EXPECT_EQ(items.front(), "line 30\r\n");
    EXPECT_EQ(items.back(), "line 229\r\n");
    EXPECT_EQ(ResultFile(), expectedFile);
    EXPECT_EQ(sim::ListBoxTopIndex(ListBox()), 185);
}

TEST_F(PortTestDlgTest, AppendLogTopIndexForFewLines) {
    dialog_->AppendLog("a\r\n");
    EXPECT_EQ(sim::ListBoxTopIndex(ListBox()), 0);
    for (int i = 0; i < 16; ++i) {
        dialog_->AppendLog("b\r\n");
    }
    EXPECT_EQ(sim::ListBoxTopIndex(ListBox()), 1);
}

TEST_F(PortTestDlgTest, AppendLogKeepsControlCharactersAndOrder) {
    dialog_->AppendLog("\r\nOpen test...\r\n");
    dialog_->AppendLog("z\tfirst\r\n");
    dialog_->AppendLog("a second");
    EXPECT_EQ(Items(), (Lines{"\r\nOpen test...\r\n", "z\tfirst\r\n", "a second"}));
}

// Complete runs ---------------------------------------------------------------

struct PlatformRow {
    const char* name;
    sim::Version version;
    const char* stackKey;  // null for none
    std::string expectedHead;
};

TEST_F(PortTestDlgTest, CompleteRunOnEveryPlatform) {
    const PlatformRow rows[] = {
        {"Windows 98", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), nullptr, "Win9X\r\n"},
        {"Windows Me with Socket", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0),
         "SOFTWARE\\Socket Communications", "SOCKET stack\r\nWin9X\r\n"},
        {"NT 3.51", MakeVersion(VER_PLATFORM_WIN32_NT, 3, 51, 5), nullptr, ""},
        {"NT 3.51 with WIDCOMM", MakeVersion(VER_PLATFORM_WIN32_NT, 3, 51, 5), kWidcommKey,
         "WIDCOMM stack\r\n"},
        {"NT 4.0", MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), nullptr, ""},
        {"Windows 2000", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 0), nullptr, "WinNT 5.0,SP0\r\n"},
        {"Windows XP SP2 with Socket", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2),
         "SOFTWARE\\Socket Communications", "SOCKET stack\r\nWinNT 5.1,SP2\r\n"},
        {"Win32s", MakeVersion(VER_PLATFORM_WIN32s, 3, 11, 0), nullptr, ""},
        // With the WIDCOMM stack and no ports, its pass still has its say.
        {"Windows 98 with WIDCOMM", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), kWidcommKey,
         "WIDCOMM stack\r\nWin9X\r\nWIDCOMM: 0 enum error\r\n"},
        {"NT 4.0 with WIDCOMM", MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), kWidcommKey,
         "WIDCOMM stack\r\nWIDCOMM: 0 enum error\r\n"},
        {"Windows XP SP2 with WIDCOMM", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2), kWidcommKey,
         "WIDCOMM stack\r\nWinNT 5.1,SP2\r\nWIDCOMM: 0 enum error\r\n"},
        {"Win32s with WIDCOMM", MakeVersion(VER_PLATFORM_WIN32s, 3, 11, 0), kWidcommKey,
         "WIDCOMM stack\r\nWIDCOMM: 0 enum error\r\n"},
    };
    for (const PlatformRow& row : rows) {
        SCOPED_TRACE(row.name);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Socket Communications");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WIDCOMM");
        sim::SetVersion(row.version);
        if (row.stackKey != nullptr) {
            CreateKey(row.stackKey);
        }
        heldBeforeRun_ = sim::LiveAllocations();
        RunTimed(31);
        const std::string expected =
            row.expectedHead + "Search COM ports, Time=0.031000\r\n" + kClosing;
        EXPECT_EQ(ResultFile(), expected);
        EXPECT_EQ(Join(Items()), expected);
        ExpectCleanEnd();
    }
}

// The stack's key opens when the stack is detected, then no key opens again.
TEST_F(PortTestDlgTest, NoPortsAndAnAutoConnectKeyThatStopsOpening) {
    CreateKey(kWidcommKey);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 2);
    RunTimed(5);
    const std::string expected =
        "WIDCOMM stack\r\nWIDCOMM: no AutoConnect\r\n"
        "Search COM ports, Time=0.005000\r\n" +
        std::string(kClosing);
    EXPECT_EQ(ResultFile(), expected);
    EXPECT_EQ(Join(Items()), expected);
    ExpectCleanEnd();
}

TEST_F(PortTestDlgTest, RunListsTheLinesOneEntryEach) {
    CreateKey("SOFTWARE\\Socket Communications");
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2));
    dialog_->RunTest();
    EXPECT_EQ(Items(),
              (Lines{"SOCKET stack\r\n", "WinNT 5.1,SP2\r\n", "Search COM ports, Time=0.000000\r\n",
                     "\r\nOpen test...\r\n", "\r\nTest finished.\r\n",
                     "Please send \"ComList.txt\" to Tobrin.\r\n", "Thanks.\r\n"}));
}

TEST_F(PortTestDlgTest, WithoutACounterTimesAreMinusOne) {
    sim::SetClockFrequency(0);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    dialog_->RunTest();
    EXPECT_EQ(ResultFile(), std::string("Search COM ports, Time=-1.000000\r\n") + kClosing);
}

TEST_F(PortTestDlgTest, PressingTestTwiceKeepsOnlyTheSecondRun) {
    CreateKey("SOFTWARE\\Socket Communications");
    RunTimed(500);
    ASSERT_NE(ResultFile().find("Time=0.500000"), std::string::npos);
    ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Socket Communications"), ERROR_SUCCESS);
    RunTimed(7);
    const std::string expected =
        "WinNT 5.1,SP3\r\nSearch COM ports, Time=0.007000\r\n" + std::string(kClosing);
    EXPECT_EQ(ResultFile(), expected);
    EXPECT_EQ(Join(Items()), expected);
    ExpectCleanEnd();
}

TEST_F(PortTestDlgTest, TheResultFileGoesToTheAppDirectory) {
    app_->appDirectory = "D:\\Other Place\\";
    dialog_->RunTest();
    EXPECT_TRUE(sim::FileExists("d:\\other place\\comlist.txt"));
    EXPECT_FALSE(sim::FileExists(kResultPath));
}

TEST_F(PortTestDlgTest, AnUncreatableFileStopsTheRunAtAMessageBox) {
    dialog_->AppendLog("from before\r\n");
    sim::MakeFileUncreatable(kResultPath);
    dialog_->RunTest();
    const std::vector<sim::MessageBoxRecord> boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Fail to create result file.");
    EXPECT_EQ(boxes[0].caption, "Varnobel");
    EXPECT_EQ(boxes[0].owner, window_);
    EXPECT_EQ(boxes[0].type & 0x0F, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes[0].cursor, cursorBeforeRun_);  // no hourglass over the box
    EXPECT_EQ(Items(), Lines{"from before\r\n"});
    EXPECT_FALSE(sim::FileExists(kResultPath));
    ExpectCleanEnd();
}

TEST_F(PortTestDlgTest, AFileHeldWithoutSharingCannotBeCreated) {
    HANDLE holder = CreateFileA(kResultPath, GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    dialog_->RunTest();
    EXPECT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_TRUE(IsWindowEnabled(TestButton()));
    CloseHandle(holder);
}

TEST_F(PortTestDlgTest, AReadOnlyResultFileStopsTheRunAtAMessageBox) {
    HANDLE file = CreateFileA(kResultPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "kept\r\n", 6, &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(SetFileAttributesA(kResultPath, FILE_ATTRIBUTE_READONLY));
    dialog_->AppendLog("from before\r\n");
    dialog_->RunTest();
    const std::vector<sim::MessageBoxRecord> boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Fail to create result file.");
    EXPECT_EQ(Items(), Lines{"from before\r\n"});
    EXPECT_EQ(ResultFile(), "kept\r\n");
    EXPECT_TRUE(IsWindowEnabled(TestButton()));
    ExpectCleanEnd();
}

// Another program with the result file open: the run opens it shared, so it
// goes ahead as long as the other program shares reading and writing.
TEST_F(PortTestDlgTest, AResultFileHeldByAnotherProgram) {
    struct Holder {
        const char* name;
        DWORD access;
        DWORD shareMode;
        bool runs;
    };
    const DWORD both = GENERIC_READ | GENERIC_WRITE;
    const DWORD shareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const Holder holders[] = {
        {"a viewer sharing everything", GENERIC_READ, shareBoth, true},
        {"an editor sharing everything", both, shareBoth, true},
        {"a viewer sharing only reading", GENERIC_READ, FILE_SHARE_READ, false},
        {"a writer sharing only writing", GENERIC_WRITE, FILE_SHARE_WRITE, false},
        {"a viewer sharing nothing", GENERIC_READ, 0, false},
    };
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    std::size_t boxesExpected = 0;
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.name);
        dialog_->logList.ResetContent();
        sim::HoldFileOpen(kResultPath, holder.access, holder.shareMode);
        RunTimed(12);
        sim::ReleaseHeldFiles();
        const std::string full = std::string("Search COM ports, Time=0.012000\r\n") + kClosing;
        if (holder.runs) {
            EXPECT_EQ(ResultFile(), full);
            EXPECT_EQ(Join(Items()), full);
        } else {
            EXPECT_EQ(Items(), Lines{});
        }
        boxesExpected += holder.runs ? 0u : 1u;
        EXPECT_EQ(sim::MessageBoxes().size(), boxesExpected);
        ExpectCleanEnd();
    }
}

TEST_F(PortTestDlgTest, TestButtonIsDisabledDuringTheRun) {
    // When enabling it again at the end fails, the button shows the state
    // the run left it in.
    sim::FailCall("EnableWindow", ERROR_INVALID_HANDLE, 2, 1);
    dialog_->RunTest();
    EXPECT_FALSE(IsWindowEnabled(TestButton()));
    EXPECT_EQ(ResultFile().substr(ResultFile().size() - 9), "Thanks.\r\n");
}

TEST_F(PortTestDlgTest, ADialogWithoutTestButtonStillRuns) {
    dialog_->DetachWindow();
    sim::DestroyTestDialog(window_);
    window_ = sim::CreateTestDialog({{IDC_LOG_LIST, sim::ControlKind::ListBox}});
    dialog_->logList.m_hWnd = nullptr;
    dialog_->AttachWindow(window_);
    sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6));
    dialog_->RunTest();
    EXPECT_EQ(Join(Items()), std::string("Search COM ports, Time=0.000000\r\n") + kClosing);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

// While a run lasts ---------------------------------------------------------------

TEST_F(PortTestDlgTest, TheListShowsEachLineAsItArrives) {
    CreateKey("SOFTWARE\\Socket Communications");
    sim::SetSerialDevice(1, sim::SerialDevice::Present);
    Load("[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n" +
         Value("\\\\Device\\\\Serial0", "COM1"));
    dialog_->AppendLog("from before\r\n");
    const std::size_t paintsBefore = sim::PaintsOf(ListBox()).size();
    dialog_->RunTest();

    // First the emptied list, then one paint per line, each showing the
    // lines so far, all under the hourglass.
    const Lines lines = Items();
    ASSERT_GT(lines.size(), 8u);
    const std::vector<sim::Paint> all = sim::PaintsOf(ListBox());
    const std::vector<sim::Paint> paints(all.begin() + static_cast<std::ptrdiff_t>(paintsBefore),
                                         all.end());
    ASSERT_EQ(paints.size(), lines.size() + 1);
    for (std::size_t shown = 0; shown < paints.size(); ++shown) {
        SCOPED_TRACE("paint " + std::to_string(shown));
        EXPECT_EQ(paints[shown].items,
                  Lines(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(shown)));
        EXPECT_EQ(paints[shown].cursor, Hourglass());
    }
    ExpectCleanEnd();
}

TEST_F(PortTestDlgTest, TheTestButtonShowsDisabledAtOnce) {
    dialog_->RunTest();
    const std::vector<sim::Paint> paints = sim::PaintsOf(TestButton());
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_FALSE(paints[0].enabled);
    EXPECT_EQ(paints[0].cursor, Hourglass());
    ExpectCleanEnd();
}

TEST_F(PortTestDlgTest, ARunGivesBackWhateverCursorWasThere) {
    const HCURSOR custom = LoadCursorA(nullptr, MAKEINTRESOURCEA(32515));
    SetCursor(custom);
    cursorBeforeRun_ = custom;
    dialog_->RunTest();
    ASSERT_FALSE(sim::PaintsOf(ListBox()).empty());
    EXPECT_EQ(sim::PaintsOf(ListBox()).back().cursor, Hourglass());
    ExpectCleanEnd();
}

// Report lines ----------------------------------------------------------------

TEST_F(PortTestDlgTest, PortListNamesEveryPresentPort) {
    ResetPortTable();
    FillFromDescription(1, "Communications Port");
    FillFromDescription(4, "Standard Bluetooth link");
    SetDisplayName(4, "(COM4) Bluetooth [Headset]");
    FillFromDescription(12, "Infrared port");
    FillFromDescription(80, "USB Serial");
    dialog_->LogPortList();
    EXPECT_EQ(Items(), (Lines{"index 0 = (COM1) Serial Port, Type=General\r\n",
                              "index 3 = (COM4) Bluetooth [Headset], Type=Bluetooth\r\n",
                              "index 11 = (COM12) Infrared Serial Port, Type=IR\r\n",
                              "index 79 = (COM80) USB Serial Port, Type=USB\r\n"}));
}

TEST_F(PortTestDlgTest, OpenTestsReportResultsAndTimes) {
    ResetPortTable();
    FillFromDescription(2, "Communications Port");
    FillFromDescription(4, "Standard Bluetooth link");
    FillFromDescription(5, "Bluetooth link");
    portTable.slots[4].available = 0;
    sim::SetClockFrequency(1000);
    ReadTimerFrequency();
    dialog_->LogOpenTests();
    EXPECT_EQ(Items(), (Lines{"index 1 = (COM2) Serial Port, Res=0, Time=0.000000\r\n",
                              "index 3 = (COM4) Bluetooth Serial Port, Res=1, Time=0.000000\r\n",
                              "index 4 = (COM5) Bluetooth Serial Port, Res=0, Time=0.000000\r\n"}));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(PortTestDlgTest, SlowOpensAddTheDescription) {
    ResetPortTable();
    FillFromDescription(2, "Communications Port");
    sim::SetClockFrequency(1000);
    ReadTimerFrequency();

    // The start reading fails (0) and the end reading is the counter.
    sim::SetClockCounter(1000);
    sim::FailCall("QueryPerformanceCounter", ERROR_INVALID_PARAMETER, 1, 1);
    dialog_->LogOpenTests();
    EXPECT_EQ(Items(), (Lines{"index 1 = (COM2) Serial Port, Res=0, Time=1.000000\r\n"}));

    dialog_->logList.ResetContent();
    sim::SetClockCounter(1001);
    sim::FailCall("QueryPerformanceCounter", ERROR_INVALID_PARAMETER, 1, 1);
    dialog_->LogOpenTests();
    EXPECT_EQ(Items(), (Lines{"index 1 = (COM2) Serial Port, Res=0, Time=1.001000\r\n",
                              "     Name = Communications Port\r\n"}));
}

// Interrupted runs --------------------------------------------------------------

class InterruptedRunTest : public PortTestDlgTest {
protected:
    void SetUp() override {
        PortTestDlgTest::SetUp();
        CreateKey("SOFTWARE\\Socket Communications");
        sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2));
        // A complete run, to know its lines and how much it writes.
        dialog_->RunTest();
        fullRun_ = Items();
        ASSERT_EQ(Join(fullRun_), ResultFile());
    }

    // The run's first `count` lines followed by the interruption line.
    static std::string Prefix(const Lines& lines, std::size_t count) {
        return Join(Lines(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(count)));
    }

    static constexpr const char* kOldContents = "an earlier run\r\n";

    static void WriteOldResultFile() {
        HANDLE file =
            CreateFileA(kResultPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, kOldContents, 16, &written, nullptr);
        CloseHandle(file);
    }

    Lines fullRun_;
};

TEST_F(InterruptedRunTest, AFailedWriteEndsTheRunCleanly) {
    for (std::size_t failing = 1; failing <= fullRun_.size(); ++failing) {
        SCOPED_TRACE("write " + std::to_string(failing) + " fails");
        sim::FailCall("WriteFile", ERROR_WRITE_FAULT, static_cast<unsigned>(failing), 1);
        dialog_->RunTest();
        sim::ClearFaults();
        const std::string kept = Prefix(fullRun_, failing - 1);
        EXPECT_EQ(ResultFile(), kept + "Test interrupted.\r\n");
        EXPECT_EQ(Join(Items()), kept + "Test interrupted.\r\n");
        ExpectCleanEnd();
    }
}

TEST_F(InterruptedRunTest, AFileThatTakesNoMoreKeepsWhatItHas) {
    const std::size_t failing = 3;
    sim::FailCall("WriteFile", ERROR_WRITE_FAULT, failing, 0);
    dialog_->RunTest();
    sim::ClearFaults();
    EXPECT_EQ(ResultFile(), Prefix(fullRun_, failing - 1));
    EXPECT_EQ(Join(Items()), Prefix(fullRun_, failing - 1) + "Test interrupted.\r\n");
    ExpectCleanEnd();
}

// A disk that fills up during the run: the write that finds too little room
// writes what fits and reports the shorter count, the next finds none.
TEST_F(InterruptedRunTest, AFullDiskEndsTheRunWithWhatFitted) {
    const std::string full = Join(fullRun_);
    for (std::size_t room = 0; room < full.size(); ++room) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        ASSERT_TRUE(DeleteFileA(kResultPath));
        sim::SetDiskSpace(static_cast<int64_t>(room));
        dialog_->RunTest();
        sim::SetDiskSpace(-1);
        EXPECT_EQ(ResultFile(), full.substr(0, room));
        // The list box shows each line written whole, then the interruption.
        std::size_t whole = 0;
        std::size_t bytes = 0;
        while (whole < fullRun_.size() && bytes + fullRun_[whole].size() <= room) {
            bytes += fullRun_[whole++].size();
        }
        EXPECT_EQ(Join(Items()), Prefix(fullRun_, whole) + "Test interrupted.\r\n");
        ExpectCleanEnd();
    }
}

TEST_F(InterruptedRunTest, ARunThatJustFitsTheDiskEndsNormally) {
    ASSERT_TRUE(DeleteFileA(kResultPath));
    sim::SetDiskSpace(static_cast<int64_t>(Join(fullRun_).size()));
    dialog_->RunTest();
    EXPECT_EQ(ResultFile(), Join(fullRun_));
    EXPECT_EQ(Items(), fullRun_);
    ExpectCleanEnd();
}

// Every allocation of a run refused in turn. The Setup-API pass gives up an
// interface class when memory runs out there and the run goes on; memory
// refused anywhere else ends the run, inside the spooler pass too.
TEST_F(InterruptedRunTest, ARefusedAllocationEndsTheRunCleanly) {
    struct Row {
        const char* name;
        std::function<void()> machine;   // added to the fixture's
        bool absorbs;                    // whether some refusals let the run end normally
        std::string stopsInsideSpooler;  // the lines before a stop in the spooler pass
    };
    const Row rows[] = {
        {"Windows XP", [] {}, true, ""},
        // The WIDCOMM pass logs after the spooler pass, so a run that stops
        // right after "Win9X" stopped in the spooler pass.
        {"Windows 98 with a port whose long description is classified on the heap",
         [] {
             sim::SetVersion(MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0));
             CreateKey(kWidcommKey);
             Load("[@spooler]\n\"COM1:\"=\"Communications Port " + std::string(300, 'c') + "\"\n");
         },
         false, "WIDCOMM stack\r\nWin9X\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.machine();
        const unsigned before = sim::AllocationCount();
        dialog_->RunTest();
        const unsigned perRun = sim::AllocationCount() - before;
        const Lines fullRun = Items();
        ASSERT_EQ(fullRun.back(), "Thanks.\r\n");
        ASSERT_GT(perRun, 0u);
        unsigned absorbed = 0;
        unsigned insideSpooler = 0;
        for (unsigned refused = 1; refused <= perRun; ++refused) {
            SCOPED_TRACE("allocation " + std::to_string(refused) + " refused");
            WriteOldResultFile();
            dialog_->logList.ResetContent();
            dialog_->AppendLog("from before\r\n");

            sim::FailAllocation(refused);
            dialog_->RunTest();
            const Lines items = Items();
            ASSERT_FALSE(items.empty());
            const std::string file = ResultFile();
            if (items.back() != "Test interrupted.\r\n") {
                ++absorbed;
                EXPECT_EQ(items.back(), "Thanks.\r\n");
                EXPECT_EQ(Join(items), file);
            } else if (file == kOldContents) {
                // Stopped before the file was created: the list box keeps what
                // it showed.
                EXPECT_EQ(items, (Lines{"from before\r\n", "Test interrupted.\r\n"}));
            } else {
                // The file holds the lines logged so far, and so does the list.
                ASSERT_GE(file.size(), 19u);
                const std::string kept = file.substr(0, file.size() - 19);
                EXPECT_EQ(file.substr(kept.size()), "Test interrupted.\r\n");
                EXPECT_EQ(Join(fullRun).compare(0, kept.size(), kept), 0);
                EXPECT_EQ(Join(items), file);
                insideSpooler += !row.stopsInsideSpooler.empty() && kept == row.stopsInsideSpooler;
            }
            ExpectCleanEnd();
        }
        EXPECT_LT(absorbed, perRun);  // the run's own strings are not absorbed
        if (!row.absorbs) {
            EXPECT_EQ(absorbed, 0u);
        }
        if (!row.stopsInsideSpooler.empty()) {
            EXPECT_EQ(insideSpooler, 1u);
        }
    }
}

}  // namespace
