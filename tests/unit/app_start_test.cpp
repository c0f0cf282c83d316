// The program's start and end on the simulated machine: the entry point runs
// InitInstance, which loads the common controls, finds the executable's
// directory, shows the main dialog until the user leaves it and ends the
// program; Test works from the dialog, and nothing is left behind. An
// exception raised in a dialog handler ends the program through the entry
// point's handlers, never through the dialog manager.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "failing_dialog.h"
#include "machine_fixture.h"
#include "sim/control.h"
#include "sim/ui_control.h"
#include "support/block_pool.h"
#include "support/path_buffer.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"

namespace {

// The bytes in the pool's free blocks.
DWORD FreeBytes(const CBlockPool& pool) {
    DWORD total = 0;
    for (const PoolBlock* block = pool.FirstFreeBlock(); block != nullptr;
         block = CBlockPool::NextFree(block)) {
        total += CBlockPool::BlockSize(block);
    }
    return total;
}

// Bytes of the pool's chunks that are neither headers nor free.
DWORD BytesInUse(const CBlockPool& pool) {
    DWORD usable = 0;
    for (const PoolChunk* chunk = pool.FirstChunk(); chunk != nullptr; chunk = chunk->nextChunk) {
        usable += chunk->chunkSize - CBlockPool::kChunkHeader;
    }
    return usable - FreeBytes(pool);
}

class AppStartTest : public ::testing::Test {
protected:
    // The pool's chunks live in the simulated global memory, so the pool lets
    // go of them before the machine is reset.
    void SetUp() override {
        ThePool().PoolReset();
        sim::ResetMachine();
    }
    void TearDown() override {
        sim::ClearFaults();
        sim::SetDialogUser(nullptr);
        app_.reset();
        ThePool().PoolReset();
        EXPECT_EQ(sim::WindowCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::OpenKeyCount(), 0);
    }

    // A fresh machine of `version`; with `update`, Vista's or 7's update that
    // adds SetDefaultDllDirectories.
    void FreshMachine(const sim::Version& version, bool update) {
        SetUp();
        sim::SetVersion(version);
        if (update) {
            sim::AddDllDirectoriesUpdate();
        }
    }

    // Makes the application for an exe at `path` and runs the entry point.
    int Start(const std::string& path) {
        sim::SetModulePath(path);
        app_ = std::make_unique<CPortTestApp>();
        return AfxWinMain(sim::ExeInstance(), nullptr, nullptr, 1);
    }

    std::unique_ptr<CPortTestApp> app_;
};

struct Location {
    const char* exePath;
    const char* directory;
};

class AppDirectoryTest : public AppStartTest, public ::testing::WithParamInterface<Location> {};

TEST_P(AppDirectoryTest, TheDialogRunsWithTheExecutablesDirectory) {
    std::string seenDirectory = "not seen";
    CWnd* seenMain = nullptr;
    HWND seenWindow = nullptr;
    sim::SetDialogUser([&](HWND dialog) {
        seenDirectory = static_cast<const char*>(app_->appDirectory);
        seenMain = app_->m_pMainWnd;
        seenWindow = dialog;
        ASSERT_NE(seenMain, nullptr);
        EXPECT_EQ(seenMain->m_hWnd, dialog);
        sim::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(Start(GetParam().exePath), 0);
    EXPECT_EQ(seenDirectory, GetParam().directory);
    EXPECT_NE(seenMain, nullptr);
    EXPECT_EQ(app_->m_pMainWnd, nullptr);  // reset when its window went
    EXPECT_NE(seenWindow, nullptr);
    EXPECT_STREQ(app_->appDirectory, GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(Paths, AppDirectoryTest,
                         ::testing::Values(Location{"C:\\Tools\\app.exe", "C:\\Tools\\"},
                                           Location{"C:\\app.exe", "C:\\"}, Location{"app.exe", ""},
                                           Location{"D:\\A\\B c\\Varnobel.exe", "D:\\A\\B c\\"}));

// comctl32.dll is loaded before the dialog is made and held while it lives:
// where the manifest sends it to the side-by-side store (XP and later), by
// its name, and XP makes the dialog's controls only then; elsewhere, and
// where a manifest planted beside the exe on XP sends it to the exe's own
// folder, from the system directory. A copy beside the exe is never loaded.
// Without it the dialog runs all the same where its controls are the
// system's plain ones.
TEST_F(AppStartTest, TheCommonControlsAreLoadedBeforeTheDialogIsMade) {
    struct Row {
        const char* what;
        sim::Version version;
        bool present;
        bool version6;  // from the side-by-side store
        bool shown;
        bool manifestPlanted = false;
        const char* failingCall = nullptr;
        const char* windowsDirectory = "C:\\WINDOWS";
    };
    const sim::Version xp = MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 0);
    const Row rows[] = {
        {"Windows 98", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), true, false, true},
        {"NT 4.0", MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), true, false, true},
        {"2000", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), true, false, true},
        {"XP", xp, true, true, true},
        {"XP, a manifest planted beside the exe", xp, true, false, true, true},
        {"XP, the store's assembly not told", xp, true, false, false, false, "QueryActCtxW"},
        {"XP, Windows in a root directory", xp, true, true, true, false, nullptr, "D:\\"},
        {"7", MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1), true, true, true},
        {"10", MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0), true, true, true},
        {"98 without comctl32.dll", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), false, false,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        sim::SetVersion(row.version);
        sim::PlantDllBesideExe("comctl32.dll");
        if (row.manifestPlanted) {
            sim::PlantManifestBesideExe();
        }
        if (!row.present) {
            sim::RemoveSystemDll("comctl32.dll");
        }
        if (row.failingCall != nullptr) {
            sim::FailCall(row.failingCall, ERROR_NOT_ENOUGH_MEMORY);
        }
        sim::SetWindowsDirectory(row.windowsDirectory);
        bool shown = false;
        bool madeWithThem = false;
        bool version6 = false;
        sim::SetDialogUser([&](HWND dialog) {
            shown = true;
            madeWithThem = sim::MadeWithCommonControls(dialog);
            version6 = sim::Version6ControlsLoaded();
            sim::ClickButton(dialog, IDCANCEL);
        });
        Start("C:\\Tools\\Varnobel.exe");
        EXPECT_EQ(row.shown, shown);
        EXPECT_EQ(row.present && row.shown, madeWithThem);
        EXPECT_EQ(row.version6, version6);
        EXPECT_EQ(row.present ? 1u : 0u, sim::ApiCallCount("InitCommonControls"));
        EXPECT_EQ(0, sim::LoadedModuleCount());
        EXPECT_EQ(0, sim::PlantedDllLoads());
        EXPECT_EQ(0, sim::CallsWhileUnloaded("comctl32.dll"));
        EXPECT_EQ(0, sim::ActivationContextsHeld());
        TearDown();
    }
}

// Where the search keeps the exe's folder, the census's DLLs that a system
// DLL loads by name later (uxtheme.dll when the dialog comes up, and its
// imports) are loaded from the system directory first and held to the end,
// so that a copy beside the exe is never taken; a DLL the version lacks is
// skipped. Where only the system directory is searched, nothing is loaded
// ahead.
TEST_F(AppStartTest, CensusDllsAreLoadedAheadWhereTheSearchKeepsTheExesFolder) {
    struct Row {
        const char* what;
        sim::Version version;
        bool update;
        const char* planted;
        int held;  // references to the planted name's system DLL while the dialog is up
        const char* removed = nullptr;
    };
    const sim::Version xp = MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3);
    const sim::Version seven = MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1);
    const Row rows[] = {
        {"XP, uxtheme.dll planted", xp, false, "uxtheme.dll", 1},
        {"XP, msimg32.dll planted", xp, false, "msimg32.dll", 1},
        {"XP without uxtheme.dll", xp, false, "msimg32.dll", 1, "uxtheme.dll"},
        {"7, dwmapi.dll planted", seven, false, "dwmapi.dll", 1},
        {"7, uxtheme.dll planted", seven, false, "uxtheme.dll", 1},
        {"7 with the update", seven, true, "dwmapi.dll", 0},
        {"10", MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0), false, "uxtheme.dll", 0},
        {"2000", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), false, "msimg32.dll", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FreshMachine(row.version, row.update);
        if (row.removed != nullptr) {
            sim::RemoveSystemDll(row.removed);
        }
        sim::PlantDllBesideExe(row.planted);
        int held = -1;
        sim::SetDialogUser([&](HWND dialog) {
            held = sim::DllReferences(row.planted);
            sim::ClickButton(dialog, IDOK);
            sim::ClickButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(0, Start("C:\\Tools\\Varnobel.exe"));
        EXPECT_EQ(row.held, held);
        EXPECT_EQ(0, sim::PlantedDllLoads());
        EXPECT_EQ(0, sim::LoadedModuleCount());
        EXPECT_TRUE(sim::MessageBoxes().empty());
        TearDown();
    }
}

// A Varnobel.exe.local beside the exe sends every load on 98, Me and 2000 to
// the exe's folder, whatever the path: there the exe loads no DLL at all, and
// each pass takes its fallback; the report is the one without those DLLs.
// From XP on the exe's manifest exempts it.
TEST_F(AppStartTest, ADotLocalFileBesideTheExeKeepsEveryDllOut) {
    struct Row {
        const char* what;
        sim::Version version;
        const char* planted;
        bool loads;
    };
    const Row rows[] = {
        {"98", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), "winspool.drv", false},
        {"Me", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0), "comctl32.dll", false},
        {"2000", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 0, 4), "setupapi.dll", false},
        {"XP", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 3), "setupapi.dll", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const bool dotLocal : {false, true}) {
            SetUp();
            sim::Version version = row.version;
            version.build = 2222;  // 98 Second Edition
            sim::SetVersion(version);
            sim::PlantDllBesideExe(row.planted);
            sim::SetModulePath("C:\\Tools\\Varnobel.exe");
            if (dotLocal) {
                const HANDLE file = CreateFileA("C:\\Tools\\Varnobel.exe.local", GENERIC_WRITE, 0,
                                                nullptr, CREATE_ALWAYS, 0, nullptr);
                CloseHandle(file);
            }
            sim::SetDialogUser([&](HWND dialog) {
                sim::ClickButton(dialog, IDOK);
                sim::ClickButton(dialog, IDCANCEL);
            });
            EXPECT_EQ(0, Start("C:\\Tools\\Varnobel.exe"));
            EXPECT_EQ(0, sim::PlantedDllLoads());
            EXPECT_EQ(row.loads || !dotLocal, sim::ApiCallCount("LoadLibraryExA") > 0) << dotLocal;
            EXPECT_TRUE(sim::FileExists("C:\\Tools\\ComList.txt"));
            TearDown();
        }
    }
}

// Before the dialog opens, the DLL search drops the exe's folder and the
// current directory wherever the system has the calls for it; elsewhere, or
// when a call fails, the program goes on all the same.
TEST_F(AppStartTest, TheDllSearchIsNarrowedWhereTheSystemAllows) {
    struct Row {
        const char* what;
        sim::Version version;
        const char* failingCall;
        bool update;               // Vista or 7 with the update that adds SetDefaultDllDirectories
        DWORD defaultDirectories;  // as SetDefaultDllDirectories left them
        bool directorySet;         // SetDllDirectoryA("")
    };
    const DWORD kSystem32 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    const Row rows[] = {
        {"Windows 98", MakeVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0), nullptr, false, 0, false},
        {"NT 4.0", MakeVersion(VER_PLATFORM_WIN32_NT, 4, 0, 6), nullptr, false, 0, false},
        {"XP", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 0), nullptr, false, 0, false},
        {"XP SP1", MakeVersion(VER_PLATFORM_WIN32_NT, 5, 1, 1), nullptr, false, 0, true},
        {"7 SP1", MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1), nullptr, false, 0, true},
        {"7 with the update", MakeVersion(VER_PLATFORM_WIN32_NT, 6, 1, 1), nullptr, true, kSystem32,
         true},
        {"10", MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0), nullptr, false, kSystem32, true},
        {"10, SetDefaultDllDirectories fails", MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0),
         "SetDefaultDllDirectories", false, 0, true},
        {"10, SetDllDirectoryA fails", MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0),
         "SetDllDirectoryA", false, kSystem32, false},
        {"10, GetProcAddress fails", MakeVersion(VER_PLATFORM_WIN32_NT, 10, 0, 0), "GetProcAddress",
         false, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FreshMachine(row.version, row.update);
        if (row.failingCall != nullptr) {
            sim::FailCall(row.failingCall, ERROR_ACCESS_DENIED, 1, 1);
        }
        sim::DllSearch atDialog;
        sim::SetDialogUser([&](HWND dialog) {
            atDialog = sim::CurrentDllSearch();
            sim::ClickButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(0, Start("C:\\Tools\\Varnobel.exe"));
        EXPECT_EQ(row.defaultDirectories, atDialog.defaultDirectories);
        EXPECT_EQ(row.directorySet, atDialog.dllDirectorySet);
        EXPECT_EQ("", atDialog.dllDirectory);
        TearDown();
    }
}

TEST_F(AppStartTest, ThePathBufferHoldsPoolMemoryUntilTheDialogCloses) {
    const char* const path = "C:\\Tools\\Varnobel.exe";
    DWORD freeDuringDialog = 0;
    sim::SetDialogUser([&](HWND dialog) {
        freeDuringDialog = FreeBytes(ThePool());
        sim::PressKey(dialog, VK_ESCAPE);
    });
    Start(path);
    // Two blocks for "C:\Tools\Varnobel.HLP" and its NUL, each with its block
    // header, come back and merge with the free space.
    const DWORD helpPathBytes = static_cast<DWORD>(std::strlen("C:\\Tools\\Varnobel.HLP") + 1);
    EXPECT_EQ(FreeBytes(ThePool()) - freeDuringDialog,
              2 * (helpPathBytes + CBlockPool::kBlockHeader));
}

TEST_F(AppStartTest, TestRunsFromTheDialogAndWritesBesideTheExe) {
    std::string firstRun;
    sim::SetDialogUser([&](HWND dialog) {
        EXPECT_TRUE(sim::ClickButton(dialog, IDOK));
        firstRun = sim::FileContents("E:\\Diag\\ComList.txt");
        EXPECT_FALSE(sim::ListBoxItems(GetDlgItem(dialog, IDC_LOG_LIST)).empty());
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
        // Enter with the focus on Test runs again; with it on Exit, leaves.
        EXPECT_TRUE(sim::PressKey(dialog, VK_RETURN));
        sim::SetFocusControl(dialog, IDCANCEL);
        EXPECT_TRUE(sim::PressKey(dialog, VK_RETURN));
    });
    EXPECT_EQ(Start("E:\\Diag\\Varnobel.exe"), 0);
    const std::string kEnd = "Thanks.\r\n";
    ASSERT_GE(firstRun.size(), kEnd.size());
    EXPECT_EQ(firstRun.substr(firstRun.size() - kEnd.size()), kEnd);
    EXPECT_EQ(sim::FileContents("E:\\Diag\\ComList.txt"), firstRun);  // the second run's, alike
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(AppStartTest, TheMessageBoxIsTitledWithTheExeName) {
    sim::MakeFileUncreatable("D:\\Diag\\ComList.txt");
    HWND window = nullptr;
    sim::SetDialogUser([&](HWND dialog) {
        window = dialog;
        sim::ClickButton(dialog, IDOK);
        sim::ClickCloseBox(dialog);
    });
    Start("D:\\Diag\\PortCheck.v2.exe");
    const auto boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Fail to create result file.");
    EXPECT_EQ(boxes[0].caption, "PortCheck.v2");
    EXPECT_EQ(boxes[0].owner, window);
    EXPECT_EQ(boxes[0].type & 0x0F, static_cast<UINT>(MB_OK));
}

TEST_F(AppStartTest, WithoutTheTemplateTheProgramEndsSilently) {
    sim::RemoveExeResources();
    bool userRan = false;
    sim::SetDialogUser([&](HWND) { userRan = true; });
    EXPECT_EQ(Start("C:\\Tools\\Varnobel.exe"), 0);
    EXPECT_FALSE(userRan);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(app_->m_pMainWnd, nullptr);
    EXPECT_FALSE(sim::FileExists("C:\\Tools\\ComList.txt"));
}

// Running out of memory before the dialog opens ends the program with a
// message and a failure code rather than an abort; so does a refusal later,
// while the dialog is open, that nothing else caught.
TEST_F(AppStartTest, MemoryRefusedAtStartEndsWithAMessage) {
    bool userRan = false;
    sim::SetDialogUser([&](HWND) { userRan = true; });
    sim::FailAllocation(1);
    EXPECT_NE(Start("C:\\Tools\\Varnobel.exe"), 0);
    EXPECT_FALSE(userRan);
    const auto boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Out of memory.");
    EXPECT_EQ(boxes[0].caption, "Varnobel");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].type & 0x0F, static_cast<UINT>(MB_OK));
    EXPECT_EQ(app_->m_pMainWnd, nullptr);
    EXPECT_FALSE(sim::FileExists("C:\\Tools\\ComList.txt"));
}

TEST_F(AppStartTest, WithoutPoolMemoryTheDialogStillRuns) {
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    std::string seenDirectory = "not seen";
    sim::SetDialogUser([&](HWND dialog) {
        seenDirectory = static_cast<const char*>(app_->appDirectory);
        sim::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(Start("C:\\Tools\\Varnobel.exe"), 0);
    EXPECT_EQ(seenDirectory, "");
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

// An application like the program's: the help-file path in a path buffer,
// then the dialog as the main window, whose one handler raises.
class FailingApp : public CWinApp {
public:
    explicit FailingApp(failing::Case which) : which_(which) {}
    BOOL InitInstance() override {
        CPathBuffer helpFilePath(m_pszHelpFilePath);
        failing::FailingDialog dialog(which_.handler, which_.raised);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        return FALSE;
    }

private:
    failing::Case which_;
};

class HandlerFailureTest : public AppStartTest,
                           public ::testing::WithParamInterface<failing::Case> {
protected:
    void TearDown() override {
        failingApp_.reset();
        AppStartTest::TearDown();
        EXPECT_EQ(sim::OpenPaints(), 0);
    }
    std::unique_ptr<FailingApp> failingApp_;
};

TEST_P(HandlerFailureTest, EndsTheProgramAsTheEntryPointsHandlersSay) {
    const failing::Case which = GetParam();
    const char* const expectedText = which.raised == failing::Raised::File
                                         ? "The program stopped after an unexpected error."
                                         : "Out of memory.";
    sim::SetModulePath("C:\\Tools\\Varnobel.exe");
    failingApp_ = std::make_unique<FailingApp>(which);
    const HCURSOR arrow = sim::CurrentCursor();
    bool userRan = false;
    bool stillOpen = false;
    DWORD poolBytesDuringDialog = 0;
    sim::SetDialogUser([&](HWND dialog) {
        userRan = true;
        poolBytesDuringDialog = BytesInUse(ThePool());
        failing::Reach(dialog, which.handler);
        // The failed handler ended the dialog: Exit finds nothing to press.
        stillOpen = sim::ClickButton(dialog, IDCANCEL);
    });

    EXPECT_EQ(AfxWinMain(sim::ExeInstance(), nullptr, nullptr, 1), -1);

    EXPECT_EQ(userRan, which.handler != failing::Handler::Init);
    EXPECT_FALSE(stillOpen);
    const auto boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, expectedText);
    EXPECT_EQ(boxes[0].caption, "Varnobel");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].type & 0xF0, static_cast<UINT>(MB_ICONSTOP));
    // Its buttons need the common controls as much as the dialog's did.
    EXPECT_TRUE(boxes[0].commonControlsHeld);
    EXPECT_EQ(failingApp_->m_pMainWnd, nullptr);
    // Nothing held: the window, the paint, the file opened with the window,
    // the wait cursor, the path buffer's pool memory.
    EXPECT_EQ(sim::WindowCount(), 0);
    EXPECT_EQ(sim::OpenPaints(), 0);
    EXPECT_TRUE(sim::FileExists(failing::kHeldFile));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(failingApp_->WaitCursorDepth(), 0);
    EXPECT_EQ(sim::CurrentCursor(), arrow);
    if (userRan) {
        EXPECT_GT(poolBytesDuringDialog, 0u);
    }
    EXPECT_EQ(BytesInUse(ThePool()), 0u);
}

std::vector<failing::Case> EveryHandlerAndException() {
    std::vector<failing::Case> cases;
    for (failing::Handler handler :
         {failing::Handler::Init, failing::Handler::OK, failing::Handler::Cancel,
          failing::Handler::Paint, failing::Handler::DragIcon}) {
        for (failing::Raised raised :
             {failing::Raised::Memory, failing::Raised::File, failing::Raised::BadAlloc}) {
            cases.push_back({handler, raised});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Handlers, HandlerFailureTest,
                         ::testing::ValuesIn(EveryHandlerAndException()),
                         [](const ::testing::TestParamInfo<failing::Case>& info) {
                             return std::string(failing::Name(info.param.handler)) + "_" +
                                    failing::Name(info.param.raised);
                         });

}  // namespace
