// The framework's application object: the one current application, its name
// and help-file path taken from the executable's path, the wait cursor and its
// scoped holder, the entry point that runs it, and its message boxes.
#pragma once

#include "framework/window.h"
#include "platform/platform.h"

class CWinApp {
public:
    // A null name means: the executable's file name without its extension.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once by AfxWinMain; FALSE ends the program.
    virtual BOOL InitInstance() { return FALSE; }
    // The program's own window is a modal dialog with its own message loop,
    // so the application never needs one: Run goes straight to ExitInstance.
    virtual int Run() { return ExitInstance(); }
    // The program's exit code.
    virtual int ExitInstance() { return 0; }

    // The system's look of dialogs and their controls needs no switching on
    // from Windows 95 on.
    BOOL Enable3dControls() { return TRUE; }

    // The hourglass until the matching EndWaitCursor; calls nest, and the
    // outermost End restores the cursor that was there before.
    void BeginWaitCursor();
    void EndWaitCursor();
    int WaitCursorDepth() const { return waitCursorDepth_; }

    // What AfxWinMain does before InitInstance: takes the exe's module handle
    // and derives the name and the help-file path from the exe's path.
    void SetUpFromModule(HINSTANCE instance);

    HINSTANCE m_hInstance = nullptr;
    const char* m_pszAppName;
    const char* m_pszHelpFilePath;  // the executable's path with ".HLP" for its extension
    CWnd* m_pMainWnd = nullptr;

private:
    static constexpr int kPathCapacity = 260;  // MAX_PATH

    void TakeNamesFromModule();

    char appName_[kPathCapacity] = {};
    char helpFilePath_[kPathCapacity] = {};
    bool nameGiven_ = false;
    int waitCursorDepth_ = 0;
    HCURSOR restoreCursor_ = nullptr;
};

// The hourglass, through the current application, for as long as the object
// lives. Windows only puts the window's own cursor back when the thread takes
// its next message, so the hourglass stays through work that takes none.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    CWinApp* app_;
};

// The current application, or null when none exists.
CWinApp* AfxGetApp();

// The module that holds the program's resources: the exe.
HINSTANCE AfxGetResourceHandle();
// The module that holds resource `name` of `type`; this program has one.
HINSTANCE AfxFindResourceHandle(const char* name, const char* type);

// Hosting of ActiveX controls; the program's dialog holds none.
void AfxEnableControlContainer();

// The framework's entry point: sets the application up, sets up the DLL
// policy (framework/dll_policy.h) for the whole run, calls InitInstance and
// ends the program when that returns FALSE, giving the exit code. A
// framework exception that escapes ends it with a message box and exit code -1.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

// A message box owned by the main window and titled with the application's name.
int AfxMessageBox(const char* text, UINT type = MB_OK);
