// The modal dialog on the simulated dialog manager: placement, the ways in
// and out (buttons, Enter, Escape, the close box), data exchange, the main
// window pointer, a handler's exception; and the main dialog's icon, first
// look and minimised painting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "failing_dialog.h"
#include "framework/app.h"
#include "framework/dll_policy.h"
#include "framework/exceptions.h"
#include "framework/window.h"
#include "sim/control.h"
#include "sim/ui_control.h"
#include "support/block_pool.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
    // The pool's chunks live in the simulated global memory, so the pool lets
    // go of them before the machine is reset.
    // The DLL policy stands as the framework's start leaves it: on XP the
    // dialog's controls need version 6 of the common controls.
    void SetUp() override {
        ThePool().PoolReset();
        sim::ResetMachine();
        policy_.emplace();
    }
    void TearDown() override {
        sim::SetDialogUser(nullptr);
        policy_.reset();
        ThePool().PoolReset();
        EXPECT_EQ(sim::WindowCount(), 0);
        EXPECT_EQ(sim::OpenPaints(), 0);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
    }

    std::optional<CDllPolicy> policy_;
};

// A dialog whose Test button only counts.
class CountingDialog : public CDialog {
public:
    CountingDialog() : CDialog(102) {}
    void OnOK() override { ++okCount; }
    BOOL OnInitDialog() override {
        ++initCount;
        return CDialog::OnInitDialog();
    }
    int okCount = 0;
    int initCount = 0;
};

// Its left and right margins (or top and bottom) differ by at most one pixel.
void ExpectCentred(const RECT& box, const RECT& area) {
    EXPECT_LE(std::abs((box.left - area.left) - (area.right - box.right)), 1);
    EXPECT_LE(std::abs((box.top - area.top) - (area.bottom - box.bottom)), 1);
}

TEST_F(DialogTest, OpensCentredInTheWorkArea) {
    const RECT area{100, 40, 1100, 840};
    sim::SetWorkArea(area);
    RECT box{};
    sim::SetDialogUser([&](HWND dialog) {
        box = sim::WindowRect(dialog);
        sim::PressKey(dialog, VK_ESCAPE);
    });
    CDialog dialog(102);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_GT(box.right - box.left, 0);
    ExpectCentred(box, area);
}

TEST_F(DialogTest, AWorkAreaTooSmallKeepsTheCaptionOnScreen) {
    const RECT area{0, 30, 300, 200};
    sim::SetWorkArea(area);
    RECT box{};
    sim::SetDialogUser([&](HWND dialog) {
        box = sim::WindowRect(dialog);
        sim::ClickButton(dialog, IDCANCEL);
    });
    CDialog dialog(102);
    dialog.DoModal();
    EXPECT_EQ(box.left, area.left);
    EXPECT_EQ(box.top, area.top);
}

TEST_F(DialogTest, TestAndEnterGoToOnOKAndLeaveTheDialogOpen) {
    CountingDialog dialog;
    int focusAtStart = 0;
    bool openAfterTest = false;
    sim::SetDialogUser([&](HWND window) {
        focusAtStart = sim::FocusedControl(window);
        sim::ClickButton(window, IDOK);
        sim::ClickButton(window, IDOK);
        sim::PressKey(window, VK_RETURN);
        openAfterTest = sim::ClickButton(window, IDOK);
        // From the list box, Enter presses the default button, Test.
        sim::SetFocusControl(window, 1000);
        sim::PressKey(window, VK_RETURN);
        // With the focus on Exit, Enter presses Exit.
        sim::SetFocusControl(window, IDCANCEL);
        sim::PressKey(window, VK_RETURN);
        EXPECT_FALSE(sim::ClickButton(window, IDOK));  // ended
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(focusAtStart, IDOK);
    EXPECT_TRUE(openAfterTest);
    EXPECT_EQ(dialog.okCount, 5);
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

enum class WayOut { ExitButton, EscapeKey, CloseBox };

class WayOutTest : public DialogTest, public ::testing::WithParamInterface<WayOut> {};

TEST_P(WayOutTest, EndsWithCancelAndResetsTheMainWindow) {
    CWinApp app;
    CountingDialog dialog;
    app.m_pMainWnd = &dialog;
    CWnd* mainDuringDialog = nullptr;
    sim::SetDialogUser([&](HWND window) {
        mainDuringDialog = app.m_pMainWnd;
        switch (GetParam()) {
            case WayOut::ExitButton:
                EXPECT_TRUE(sim::ClickButton(window, IDCANCEL));
                break;
            case WayOut::EscapeKey:
                EXPECT_TRUE(sim::PressKey(window, VK_ESCAPE));
                break;
            case WayOut::CloseBox:
                EXPECT_TRUE(sim::ClickCloseBox(window));
                break;
        }
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(mainDuringDialog, &dialog);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(dialog.okCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, WayOutTest,
                         ::testing::Values(WayOut::ExitButton, WayOut::EscapeKey,
                                           WayOut::CloseBox));

TEST_F(DialogTest, TheFrameworkOnOKEndsWithOK) {
    sim::SetDialogUser([](HWND window) { sim::ClickButton(window, IDOK); });
    CDialog dialog(102);
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(DialogTest, ADifferentMainWindowIsLeftAlone) {
    CWinApp app;
    CWnd other;
    app.m_pMainWnd = &other;
    sim::SetDialogUser([](HWND window) { sim::ClickButton(window, IDCANCEL); });
    CDialog dialog(102);
    dialog.DoModal();
    EXPECT_EQ(app.m_pMainWnd, &other);
}

TEST_F(DialogTest, DataExchangeBindsTheListBoxWhenTheWindowOpens) {
    class ListDialog : public CDialog {
    public:
        ListDialog() : CDialog(102) {}
        CListBox list;

    protected:
        void DoDataExchange(CDataExchange* exchange) override { DDX_Control(exchange, 1000, list); }
    };
    ListDialog dialog;
    HWND bound = nullptr;
    HWND expected = nullptr;
    sim::SetDialogUser([&](HWND window) {
        bound = dialog.list.m_hWnd;
        expected = GetDlgItem(window, 1000);
        dialog.list.AddString("shown");
        EXPECT_EQ(sim::ListBoxItems(expected), std::vector<std::string>{"shown"});
        sim::ClickButton(window, IDCANCEL);
    });
    EXPECT_EQ(dialog.list.m_hWnd, nullptr);
    dialog.DoModal();
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(bound, expected);
}

TEST_F(DialogTest, AMissingTemplateMakesNoWindow) {
    sim::RemoveExeResources();
    bool userRan = false;
    sim::SetDialogUser([&](HWND) { userRan = true; });
    CountingDialog dialog;
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(userRan);
    EXPECT_EQ(dialog.initCount, 0);
}

TEST_F(DialogTest, PaintingAndTheDragIconDefaultToTheSystem) {
    bool painted = true;
    HCURSOR dragIcon = reinterpret_cast<HCURSOR>(1);
    sim::SetDialogUser([&](HWND window) {
        sim::SetIconic(window, true);
        painted = sim::PaintDialog(window);
        dragIcon = sim::QueryDragIcon(window);
        sim::ClickButton(window, IDCANCEL);
    });
    CDialog dialog(102);
    dialog.DoModal();
    EXPECT_FALSE(painted);
    EXPECT_EQ(dragIcon, nullptr);
    EXPECT_TRUE(sim::DrawnIcons().empty());
}

// A handler's exception ends the dialog and leaves DoModal once the window is
// gone, the very object that was raised.
TEST_F(DialogTest, AHandlersExceptionLeavesDoModalAfterTheWindowIsGone) {
    CWinApp app;
    failing::FailingDialog dialog(failing::Handler::OK, failing::Raised::File);
    app.m_pMainWnd = &dialog;
    int okTries = 0;
    sim::SetDialogUser([&](HWND window) {
        okTries += sim::ClickButton(window, IDOK) ? 1 : 0;
        okTries += sim::ClickButton(window, IDOK) ? 1 : 0;  // ended by the first
    });
    bool raised = false;
    try {
        dialog.DoModal();
    } catch (const CFileException& error) {
        raised = true;
        EXPECT_EQ(error.m_cause, CFileException::generic);
        EXPECT_EQ(error.m_lOsError, failing::kFileError);
        EXPECT_EQ(sim::WindowCount(), 0);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_EQ(app.m_pMainWnd, nullptr);
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(okTries, 1);
}

// OK sends itself Exit, whose handler raises; then OK once more, which no
// handler takes any longer; then raises an exception of its own.
class NestingDialog : public CDialog {
public:
    NestingDialog() : CDialog(102) {}
    void OnOK() override {
        if (++okCount > 1) {
            return;
        }
        SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        paintedAfter = sim::PaintDialog(m_hWnd);
        AfxThrowFileException(ERROR_WRITE_FAULT);
    }
    void OnCancel() override {
        ++cancelCount;
        throw std::bad_alloc();
    }
    void OnPaint() override { ++paintCount; }
    int okCount = 0;
    int cancelCount = 0;
    int paintCount = 0;
    bool paintedAfter = true;
};

TEST_F(DialogTest, TheFirstExceptionLeavesAndNoHandlerRunsAfterIt) {
    NestingDialog dialog;
    sim::SetDialogUser([](HWND window) { sim::ClickButton(window, IDOK); });
    EXPECT_THROW(dialog.DoModal(), std::bad_alloc);
    EXPECT_EQ(dialog.okCount, 1);
    EXPECT_EQ(dialog.cancelCount, 1);
    EXPECT_EQ(dialog.paintCount, 0);
    EXPECT_FALSE(dialog.paintedAfter);
}

TEST_F(DialogTest, TheDialogRunsAgainAfterAFailure) {
    struct OnceFailing : CDialog {
        OnceFailing() : CDialog(102) {}
        BOOL OnInitDialog() override {
            if (fail) {
                fail = false;
                AfxThrowMemoryException();
            }
            return CDialog::OnInitDialog();
        }
        bool fail = true;
    };
    OnceFailing dialog;
    int userRuns = 0;
    sim::SetDialogUser([&](HWND window) {
        ++userRuns;
        sim::ClickButton(window, IDCANCEL);
    });
    EXPECT_THROW(dialog.DoModal(), CMemoryException);
    EXPECT_EQ(userRuns, 0);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(userRuns, 1);
}

// The main dialog -------------------------------------------------------------

class MainDialogTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        app_.appDirectory = "C:\\Tools\\";
    }
    // Opens the main dialog, lets `user` act, then presses Exit.
    void Open(const std::function<void(HWND)>& user) {
        sim::SetDialogUser([&](HWND window) {
            user(window);
            sim::ClickButton(window, IDCANCEL);
        });
        CPortTestDlg dialog;
        app_.m_pMainWnd = &dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    }
    CPortTestApp app_;
};

TEST_F(MainDialogTest, OpensWithItsIconAnEmptyListAndTheFocusOnTest) {
    Open([](HWND window) {
        EXPECT_EQ(sim::WindowIcon(window, true), sim::AppIconHandle());
        EXPECT_EQ(sim::WindowIcon(window, false), sim::AppIconHandle());
        std::vector<WPARAM> iconSlots;
        for (const sim::SentMessage& sent : sim::MessagesSentTo(window)) {
            if (sent.message == WM_SETICON) {
                iconSlots.push_back(sent.wParam);
            }
        }
        EXPECT_EQ(iconSlots, (std::vector<WPARAM>{ICON_BIG, ICON_SMALL}));
        EXPECT_TRUE(sim::ListBoxItems(GetDlgItem(window, IDC_LOG_LIST)).empty());
        EXPECT_FALSE(sim::FileExists("C:\\Tools\\ComList.txt"));
        EXPECT_EQ(sim::FocusedControl(window), IDOK);
        EXPECT_EQ(sim::QueryDragIcon(window), sim::AppIconHandle());
    });
}

TEST_F(MainDialogTest, WithoutItsIconTheDialogStillOpens) {
    sim::FailCall("LoadIconA", ERROR_RESOURCE_NAME_NOT_FOUND);
    bool opened = false;
    Open([&](HWND window) {
        opened = true;
        EXPECT_EQ(sim::WindowIcon(window, true), nullptr);
        EXPECT_EQ(sim::QueryDragIcon(window), nullptr);
    });
    EXPECT_TRUE(opened);
}

TEST_F(MainDialogTest, OpenTheDialogPaintsAsUsual) {
    Open([](HWND window) { EXPECT_FALSE(sim::PaintDialog(window)); });
    EXPECT_TRUE(sim::DrawnIcons().empty());
}

struct IconPlace {
    int clientWidth;
    int clientHeight;
    int x;
    int y;
};

class IconPlaceTest : public MainDialogTest, public ::testing::WithParamInterface<IconPlace> {};

// With a 32-pixel icon: (client - 32 + 1) / 2, truncated toward zero.
TEST_P(IconPlaceTest, MinimisedTheDialogDrawsItsIconCentred) {
    const IconPlace place = GetParam();
    Open([&](HWND window) {
        sim::SetIconic(window, true);
        sim::SetClientSize(window, place.clientWidth, place.clientHeight);
        EXPECT_TRUE(sim::PaintDialog(window));
        const auto drawn = sim::DrawnIcons();
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_EQ(drawn[0].x, place.x);
        EXPECT_EQ(drawn[0].y, place.y);
        EXPECT_EQ(drawn[0].icon, sim::AppIconHandle());
        ASSERT_NE(drawn[0].dc, nullptr);
        // The background is erased on the same device context first.
        const auto sent = sim::MessagesSentTo(window);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().message, static_cast<UINT>(WM_ICONERASEBKGND));
        EXPECT_EQ(sent.back().wParam, reinterpret_cast<WPARAM>(drawn[0].dc));
        EXPECT_EQ(sent.back().lParam, 0);
    });
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconPlaceTest,
                         ::testing::Values(IconPlace{33, 33, 1, 1}, IconPlace{35, 40, 2, 4},
                                           IconPlace{0, 0, -15, -15}, IconPlace{32, 31, 0, 0}));

}  // namespace
