// The framework stand-in: the string's heap use and refusals, the file
// object's modes and failures, the application's name and help path, its
// entry point and wait cursor, the message box, the list box through
// SendMessageA, and painting with UpdateWindow.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>

#include "framework/app.h"
#include "framework/cstring.h"
#include "framework/file.h"
#include "framework/window.h"
#include "sim/control.h"
#include "sim/ui_control.h"

namespace {

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override {
        EXPECT_EQ(sim::LiveAllocations(), 0);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
    }
};

TEST_F(FrameworkTest, StringsCopyJoinAndFormat) {
    CString empty;
    EXPECT_STREQ(empty, "");
    EXPECT_TRUE(empty.IsEmpty());
    CString path = "C:\\Tools\\";
    CString copy = path;
    path += "ComList.txt";
    EXPECT_STREQ(path, "C:\\Tools\\ComList.txt");
    EXPECT_STREQ(copy, "C:\\Tools\\");
    EXPECT_EQ(path.GetLength(), 20);
    CString joined = copy + "x";
    EXPECT_STREQ(joined, "C:\\Tools\\x");
    CString line;
    line.Format("index %d = %s, Time=%lf\r\n", 3, "(COM4) X", 0.015);
    EXPECT_STREQ(line, "index 3 = (COM4) X, Time=0.015000\r\n");
    // Assigned to itself through another name, as aliasing code would.
    const CString& sameLine = line;
    line = sameLine;
    EXPECT_EQ(line.GetLength(), 35);
}

TEST_F(FrameworkTest, ARefusedAllocationRaisesAndKeepsTheString) {
    CString text = "kept";
    sim::FailAllocation(1);
    EXPECT_THROW(text += " more", CMemoryException);
    EXPECT_STREQ(text, "kept");
    sim::FailAllocation(1);
    EXPECT_THROW(text.Format("%d", 12345), CMemoryException);
    EXPECT_STREQ(text, "kept");
    sim::FailAllocation(1);
    EXPECT_THROW(CString("copy"), CMemoryException);
}

TEST_F(FrameworkTest, FileCreateTruncatesAndShares) {
    const UINT flags = CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyNone;
    EXPECT_EQ(flags, 0x1042u);
    {
        CFile file;
        ASSERT_TRUE(file.Open("C:\\Tools\\out.txt", flags));
        file.Write("first run, longer\r\n", 19);
        // Shared with other openers for reading and writing.
        HANDLE other =
            CreateFileA("c:\\tools\\OUT.TXT", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(other, INVALID_HANDLE_VALUE);
        CloseHandle(other);
    }
    EXPECT_EQ(sim::OpenHandleCount(), 0);  // the destructor closed it
    CFile file;
    ASSERT_TRUE(file.Open("C:\\Tools\\out.txt", flags));
    file.Write("second\r\n", 8);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(sim::FileContents("C:\\TOOLS\\OUT.TXT"), "second\r\n");
}

TEST_F(FrameworkTest, FileFailuresReportTheirCause) {
    sim::MakeFileUncreatable("C:\\ro.txt");
    CFile file;
    CFileException error(CFileException::none, 0);
    EXPECT_FALSE(file.Open("C:\\ro.txt", CFile::modeCreate | CFile::modeReadWrite, &error));
    EXPECT_EQ(error.m_lOsError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.IsOpen());

    ASSERT_TRUE(file.Open("C:\\w.txt", CFile::modeCreate | CFile::modeReadWrite));
    sim::FailCall("WriteFile", ERROR_WRITE_FAULT, 1, 1);
    try {
        file.Write("abc", 3);
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& failure) {
        EXPECT_EQ(failure.m_lOsError, static_cast<DWORD>(ERROR_WRITE_FAULT));
    }
    EXPECT_TRUE(file.IsOpen());
    file.Write("def", 3);
    file.Close();
    EXPECT_EQ(sim::FileContents("C:\\w.txt"), "def");
}

TEST_F(FrameworkTest, ReadOnlyFilesRefuseWrites) {
    CFile file;
    ASSERT_TRUE(file.Open("C:\\r.txt", CFile::modeCreate | CFile::modeRead));
    EXPECT_THROW(file.Write("x", 1), CFileException);
    CFile closed;
    EXPECT_THROW(closed.Write("x", 1), CFileException);
}

TEST_F(FrameworkTest, AppNameAndHelpPathComeFromTheExecutable) {
    struct Row {
        const char* modulePath;
        const char* name;
        const char* helpPath;
    };
    const Row rows[] = {
        {"C:\\Program Files\\Diag.v2\\PortTool.exe", "PortTool",
         "C:\\Program Files\\Diag.v2\\PortTool.HLP"},
        {"C:\\Tools\\noext", "noext", "C:\\Tools\\noext.HLP"},
        // A drive's current directory: the name starts after the colon.
        {"C:Varnobel.exe", "Varnobel", "C:Varnobel.HLP"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.modulePath);
        sim::SetModulePath(row.modulePath);
        auto app = std::make_unique<CWinApp>();
        EXPECT_EQ(AfxGetApp(), app.get());
        EXPECT_STREQ(app->m_pszAppName, row.name);
        EXPECT_STREQ(app->m_pszHelpFilePath, row.helpPath);
        app.reset();
        EXPECT_EQ(AfxGetApp(), nullptr);
    }
}

TEST_F(FrameworkTest, WaitCursorNestsAndRestoresThePreviousCursor) {
    CWinApp app;
    const HCURSOR arrow = sim::CurrentCursor();
    const HCURSOR hourglass = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(hourglass, nullptr);
    ASSERT_NE(hourglass, arrow);
    app.BeginWaitCursor();
    EXPECT_EQ(sim::CurrentCursor(), hourglass);
    app.BeginWaitCursor();
    EXPECT_EQ(app.WaitCursorDepth(), 2);
    app.EndWaitCursor();
    EXPECT_EQ(sim::CurrentCursor(), hourglass);  // still inside the outer pair
    app.EndWaitCursor();
    EXPECT_EQ(sim::CurrentCursor(), arrow);
    // An unmatched End changes nothing.
    app.EndWaitCursor();
    EXPECT_EQ(app.WaitCursorDepth(), 0);
    EXPECT_EQ(sim::CurrentCursor(), arrow);
}

TEST_F(FrameworkTest, ScopedWaitCursorEndsWithItsScopeEvenOnAnException) {
    const HCURSOR arrow = sim::CurrentCursor();
    {
        CWaitCursor withoutApp;  // nothing to show it through
        EXPECT_EQ(sim::CurrentCursor(), arrow);
    }
    CWinApp app;
    try {
        CWaitCursor busy;
        EXPECT_EQ(app.WaitCursorDepth(), 1);
        EXPECT_EQ(sim::CurrentCursor(), LoadCursorA(nullptr, IDC_WAIT));
        throw CFileException(CFileException::generic, ERROR_WRITE_FAULT);
    } catch (const CFileException&) {
        EXPECT_EQ(app.WaitCursorDepth(), 0);
        EXPECT_EQ(sim::CurrentCursor(), arrow);
    }
}

TEST_F(FrameworkTest, EntryPointSetsTheAppUpAndEndsWhenInitInstanceSaysSo) {
    struct Recording : CWinApp {
        BOOL InitInstance() override {
            ++calls;
            seenName = m_pszAppName;
            seenHelp = m_pszHelpFilePath;
            seenInstance = m_hInstance;
            return FALSE;
        }
        int calls = 0;
        std::string seenName;
        std::string seenHelp;
        HINSTANCE seenInstance = nullptr;
    };
    EXPECT_EQ(AfxWinMain(sim::ExeInstance(), nullptr, nullptr, 1), -1);  // no application
    sim::SetModulePath("D:\\Diag\\PortCheck.exe");
    Recording app;
    EXPECT_EQ(AfxWinMain(sim::ExeInstance(), nullptr, nullptr, 1), 0);
    EXPECT_EQ(app.calls, 1);
    EXPECT_EQ(app.seenName, "PortCheck");
    EXPECT_EQ(app.seenHelp, "D:\\Diag\\PortCheck.HLP");
    EXPECT_EQ(app.seenInstance, sim::ExeInstance());
    EXPECT_EQ(AfxGetResourceHandle(), sim::ExeInstance());
    EXPECT_TRUE(app.Enable3dControls());
}

// An exception that leaves InitInstance ends the program with a message box
// of its own and a failure code; the main window it may have named is gone.
TEST_F(FrameworkTest, EntryPointEndsWithAMessageOnAnEscapedException) {
    struct Throwing : CWinApp {
        BOOL InitInstance() override {
            m_pMainWnd = &window;
            switch (kind) {
                case 0:
                    AfxThrowMemoryException();
                case 1:
                    throw std::bad_alloc();
                default:
                    AfxThrowFileException(ERROR_WRITE_FAULT);
            }
        }
        int kind = 0;
        CWnd window;
    };
    sim::SetModulePath("D:\\Diag\\PortCheck.exe");
    Throwing app;
    HWND window = sim::CreateTestDialog({});
    app.window.m_hWnd = window;
    const char* const expected[] = {"Out of memory.", "Out of memory.",
                                    "The program stopped after an unexpected error."};
    for (int kind = 0; kind < 3; ++kind) {
        app.kind = kind;
        EXPECT_EQ(AfxWinMain(sim::ExeInstance(), nullptr, nullptr, 1), -1) << kind;
        EXPECT_EQ(app.m_pMainWnd, nullptr) << kind;
        const auto boxes = sim::MessageBoxes();
        ASSERT_EQ(boxes.size(), static_cast<std::size_t>(kind + 1));
        EXPECT_EQ(boxes.back().text, expected[kind]);
        EXPECT_EQ(boxes.back().caption, "PortCheck");
        EXPECT_EQ(boxes.back().owner, nullptr);
        EXPECT_EQ(boxes.back().type & 0xF0, static_cast<UINT>(MB_ICONSTOP));
    }
    app.window.m_hWnd = nullptr;
    sim::DestroyTestDialog(window);
}

TEST_F(FrameworkTest, MessageBoxIsTitledWithTheAppName) {
    CWinApp app;
    HWND dialog = sim::CreateTestDialog({});
    CWnd main(dialog);
    app.m_pMainWnd = &main;
    EXPECT_EQ(AfxMessageBox("Something."), IDOK);
    const auto boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Something.");
    EXPECT_EQ(boxes[0].caption, "Varnobel");
    EXPECT_EQ(boxes[0].owner, dialog);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    sim::DestroyTestDialog(dialog);
}

TEST_F(FrameworkTest, ListBoxAndEnableWindowBehaveLikeWindows) {
    HWND dialog = sim::CreateTestDialog(
        {{IDOK, sim::ControlKind::Button}, {1000, sim::ControlKind::ListBox}});
    CWnd window(dialog);
    CListBox list;
    list.m_hWnd = window.GetDlgItem(1000).m_hWnd;
    ASSERT_NE(list.m_hWnd, nullptr);
    EXPECT_EQ(window.GetDlgItem(999).m_hWnd, nullptr);
    EXPECT_EQ(list.AddString("b"), 0);
    EXPECT_EQ(list.AddString("a"), 1);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.SetTopIndex(5), LB_ERR);
    EXPECT_EQ(list.SetTopIndex(1), LB_OKAY);
    EXPECT_EQ(list.DeleteString(7), LB_ERR);
    EXPECT_EQ(list.DeleteString(0), 1);
    EXPECT_EQ(sim::ListBoxItems(list.m_hWnd), std::vector<std::string>{"a"});
    char text[8] = {};
    EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETTEXTLEN, 0, 0), 1);
    EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text)), 1);
    EXPECT_STREQ(text, "a");
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);

    CWnd button = window.GetDlgItem(IDOK);
    EXPECT_FALSE(button.EnableWindow(FALSE));  // was enabled
    EXPECT_FALSE(IsWindowEnabled(button.m_hWnd));
    EXPECT_TRUE(button.EnableWindow(TRUE));  // was disabled
    EXPECT_TRUE(IsWindowEnabled(button.m_hWnd));
    sim::DestroyTestDialog(dialog);
}

// A window paints on UpdateWindow only when something in it changed since its
// last paint; reading it changes nothing.
TEST_F(FrameworkTest, UpdateWindowPaintsOnlyWhatChanged) {
    HWND dialog = sim::CreateTestDialog(
        {{IDOK, sim::ControlKind::Button}, {1000, sim::ControlKind::ListBox}});
    CWnd window(dialog);
    CListBox list;
    list.m_hWnd = window.GetDlgItem(1000).m_hWnd;
    CWnd button = window.GetDlgItem(IDOK);
    const auto paintCount = [](const CWnd& w) { return sim::PaintsOf(w.m_hWnd).size(); };

    list.UpdateWindow();
    button.UpdateWindow();
    EXPECT_EQ(paintCount(list), 0u);
    EXPECT_EQ(paintCount(button), 0u);

    list.AddString("a");
    list.AddString("b");
    list.UpdateWindow();
    list.GetCount();
    list.SetTopIndex(0);  // already there
    list.UpdateWindow();
    ASSERT_EQ(paintCount(list), 1u);
    EXPECT_EQ(sim::PaintsOf(list.m_hWnd)[0].items, (std::vector<std::string>{"a", "b"}));
    list.SetTopIndex(1);
    list.UpdateWindow();
    list.ResetContent();
    list.UpdateWindow();
    EXPECT_EQ(paintCount(list), 3u);
    EXPECT_TRUE(sim::PaintsOf(list.m_hWnd)[2].items.empty());

    button.EnableWindow(TRUE);  // no change
    button.UpdateWindow();
    EXPECT_EQ(paintCount(button), 0u);
    button.EnableWindow(FALSE);
    button.UpdateWindow();
    ASSERT_EQ(paintCount(button), 1u);
    EXPECT_FALSE(sim::PaintsOf(button.m_hWnd)[0].enabled);

    CWnd none;
    none.UpdateWindow();  // no window, nothing to do
    EXPECT_FALSE(UpdateWindow(nullptr));
    sim::DestroyTestDialog(dialog);
}

TEST_F(FrameworkTest, MultibyteFunctionsFoldAsciiOnly) {
    unsigned char text[] = "Com1 \xe9t\xe9 bt";
    _mbsupr(text);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "COM1 \xe9T\xe9 BT");
    const auto* a = reinterpret_cast<const unsigned char*>("COM1");
    const auto* b = reinterpret_cast<const unsigned char*>("com1");
    EXPECT_EQ(_mbsicmp(a, b), 0);
    EXPECT_NE(_mbscmp(a, b), 0);
    EXPECT_EQ(_mbsnicmp(reinterpret_cast<const unsigned char*>("COM12"), b, 4), 0);
    // Comparing lower-case forms puts '_' before the letters.
    EXPECT_LT(_mbsicmp(reinterpret_cast<const unsigned char*>("_"),
                       reinterpret_cast<const unsigned char*>("A")),
              0);
    EXPECT_EQ(_mbschr(a, 'M'), a + 2);
    EXPECT_EQ(_mbschr(a, 'x'), nullptr);
    EXPECT_EQ(_setmbcp(-3), 0);
    EXPECT_EQ(_setmbcp(12345), -1);
}

}  // namespace
