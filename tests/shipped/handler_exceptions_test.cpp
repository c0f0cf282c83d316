// A dialog handler's exception in the shipped exe's own configuration (i686,
// win32 thread model, static, GUI subsystem, Release) under real dialogs: it
// must end the program through the entry point's handlers, with their
// message box and exit code. Each case runs the framework's entry point with
// an application whose dialog raises in one handler; a thread timer reads and
// closes the message box the entry point shows. One line per case on stdout;
// exit code 0 when every case ended as it should.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "framework/app.h"
#include "framework/exceptions.h"
#include "framework/window.h"
#include "handler_exceptions_resource.h"
#include "platform/platform.h"

namespace {

enum class Handler { None, Init, OK, Cancel, Paint, Nested };
enum class Raised { Nothing, Memory, File, BadAlloc };

constexpr char kOutOfMemory[] = "Out of memory.";
constexpr char kUnexpected[] = "The program stopped after an unexpected error.";

struct Case {
    const char* name;
    Handler handler;
    Raised raised;
    int exitCode;         // what AfxWinMain returns
    const char* message;  // the text of the entry point's message box; null for none
};

const Case kCases[] = {
    {"no exception, Cancel ends the dialog", Handler::None, Raised::Nothing, 0, nullptr},
    {"OnInitDialog raises CMemoryException", Handler::Init, Raised::Memory, -1, kOutOfMemory},
    {"OnOK raises std::bad_alloc", Handler::OK, Raised::BadAlloc, -1, kOutOfMemory},
    {"OnOK raises CFileException", Handler::OK, Raised::File, -1, kUnexpected},
    {"OnCancel raises CMemoryException", Handler::Cancel, Raised::Memory, -1, kOutOfMemory},
    {"OnPaint raises CFileException", Handler::Paint, Raised::File, -1, kUnexpected},
    {"OnOK sends Cancel, which raises std::bad_alloc, then raises CFileException", Handler::Nested,
     Raised::File, -1, kOutOfMemory},
};

// What the timer saw of one case. Plain data: the timer procedure, called by
// user32, neither allocates nor raises.
struct Seen {
    HWND dialog;
    HWND box;
    int boxes;
    char boxCaption[128];
    char boxText[128];
    bool boxOwned;
    bool dialogAliveAtBox;
    int ticks;
    bool watchdogFired;
};
Seen seen;

constexpr UINT kTickMs = 50;
// A case whose dialog is still open after this long is ended with Cancel.
constexpr int kWatchdogTicks = 400;

[[noreturn]] void Raise(Raised raised) {
    switch (raised) {
        case Raised::Memory:
            AfxThrowMemoryException();
        case Raised::File:
            AfxThrowFileException(ERROR_WRITE_FAULT);
        case Raised::BadAlloc:
        case Raised::Nothing:
            break;
    }
    throw std::bad_alloc();
}

void Post(HWND window, int command) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
}

class HandlerDialog : public CDialog {
public:
    explicit HandlerDialog(const Case& which) : CDialog(IDD_HANDLER_TEST), case_(which) {}

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        seen.dialog = m_hWnd;
        switch (case_.handler) {
            case Handler::Init:
                Raise(case_.raised);
            case Handler::OK:
            case Handler::Nested:
                Post(m_hWnd, IDOK);
                break;
            case Handler::None:
            case Handler::Cancel:
                Post(m_hWnd, IDCANCEL);
                break;
            case Handler::Paint:
                break;
        }
        return TRUE;
    }
    void OnOK() override {
        if (case_.handler == Handler::Nested) {
            SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        if (case_.handler == Handler::OK || case_.handler == Handler::Nested) {
            Raise(case_.raised);
        }
    }
    void OnCancel() override {
        if (case_.handler == Handler::Nested) {
            Raise(Raised::BadAlloc);
        }
        if (case_.handler == Handler::Cancel) {
            Raise(case_.raised);
        }
        CDialog::OnCancel();
    }
    void OnPaint() override {
        if (case_.handler != Handler::Paint) {
            Default();
            return;
        }
        CPaintDC dc(this);
        Raise(case_.raised);
    }

private:
    const Case& case_;
};

class HandlerApp : public CWinApp {
public:
    explicit HandlerApp(const Case& which) : case_(which) {}
    BOOL InitInstance() override {
        HandlerDialog dialog(case_);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        return FALSE;
    }

private:
    const Case& case_;
};

bool HasClass(HWND window, const char* name) {
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    return std::strcmp(className, name) == 0;
}

BOOL CALLBACK FindBox(HWND window, LPARAM found) noexcept {
    if (window != seen.dialog && IsWindowVisible(window) && HasClass(window, "#32770")) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The message's text is the one static control with text; the icon is another.
BOOL CALLBACK ReadBoxText(HWND child, LPARAM) noexcept {
    if (HasClass(child, "Static") && GetWindowTextA(child, seen.boxText, sizeof seen.boxText) > 0) {
        return FALSE;
    }
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) noexcept {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (box != nullptr) {
        if (box != seen.box) {
            seen.box = box;
            ++seen.boxes;
            GetWindowTextA(box, seen.boxCaption, sizeof seen.boxCaption);
            EnumChildWindows(box, ReadBoxText, 0);
            seen.boxOwned = GetWindow(box, GW_OWNER) != nullptr;
            seen.dialogAliveAtBox = seen.dialog != nullptr && IsWindow(seen.dialog);
            Post(box, IDOK);
        }
        return;
    }
    if (seen.dialog != nullptr && IsWindow(seen.dialog) && ++seen.ticks == kWatchdogTicks) {
        seen.watchdogFired = true;
        Post(seen.dialog, IDCANCEL);
    }
}

// An exception that meets user32's frames ends the program in std::terminate
// and msvcrt's abort, which on Windows may show a box that nobody closes; a
// crash may start a debugger. Both end the program here, saying so.
[[noreturn]] void Terminated() noexcept {
    std::fputs("FAIL: std::terminate: an exception found no handler on its way\n", stdout);
    std::fflush(stdout);
    std::_Exit(3);
}

LONG WINAPI Crashed(EXCEPTION_POINTERS* info) noexcept {
    std::printf("FAIL: crashed with exception %08lx\n",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    std::fflush(stdout);
    std::_Exit(4);
}

bool RunCase(HINSTANCE instance, const Case& which) {
    std::printf("RUN:  %s\n", which.name);
    std::fflush(stdout);
    seen = Seen();
    HandlerApp app(which);
    const int exitCode = AfxWinMain(instance, nullptr, nullptr, SW_SHOWNORMAL);

    bool passed = exitCode == which.exitCode && !seen.watchdogFired && !seen.dialogAliveAtBox &&
                  app.m_pMainWnd == nullptr && seen.dialog != nullptr && !IsWindow(seen.dialog);
    if (which.message != nullptr) {
        passed = passed && seen.boxes == 1 && std::strcmp(seen.boxText, which.message) == 0 &&
                 std::strcmp(seen.boxCaption, app.m_pszAppName) == 0 && !seen.boxOwned;
    } else {
        passed = passed && seen.boxes == 0;
    }
    std::printf("%s %s: exit code %d, %d message box(es)", passed ? "PASS:" : "FAIL:", which.name,
                exitCode, seen.boxes);
    if (seen.boxes > 0) {
        std::printf(" \"%s\" titled \"%s\"%s%s", seen.boxText, seen.boxCaption,
                    seen.boxOwned ? ", owned" : "",
                    seen.dialogAliveAtBox ? ", shown while the dialog was open" : "");
    }
    if (seen.watchdogFired) {
        std::printf(", the handler was never reached");
    }
    std::printf("\n");
    std::fflush(stdout);
    return passed;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    std::set_terminate(Terminated);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(Crashed);
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
    if (timer == 0) {
        std::printf("FAIL: no timer (error %lu)\n", static_cast<unsigned long>(GetLastError()));
        return 2;
    }
    int failures = 0;
    for (const Case& which : kCases) {
        if (!RunCase(instance, which)) {
            ++failures;
        }
    }
    KillTimer(nullptr, timer);
    std::printf("%d of %d cases failed\n", failures,
                static_cast<int>(sizeof kCases / sizeof kCases[0]));
    return failures == 0 ? 0 : 1;
}
