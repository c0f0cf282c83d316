// The framework's application object: the one current application, its name
// and help-file path taken from the executable's path, and its message boxes.
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

    virtual BOOL InitInstance() { return FALSE; }

    void BeginWaitCursor() { ++waitCursorDepth_; }
    void EndWaitCursor() {
        if (waitCursorDepth_ > 0) {
            --waitCursorDepth_;
        }
    }
    int WaitCursorDepth() const { return waitCursorDepth_; }

    const char* m_pszAppName;
    const char* m_pszHelpFilePath;  // the executable's path with ".HLP" for its extension
    CWnd* m_pMainWnd = nullptr;

private:
    static constexpr int kPathCapacity = 260;  // MAX_PATH

    char appName_[kPathCapacity] = {};
    char helpFilePath_[kPathCapacity] = {};
    int waitCursorDepth_ = 0;
};

// The current application, or null when none exists.
CWinApp* AfxGetApp();

// A message box owned by the main window and titled with the application's name.
int AfxMessageBox(const char* text, UINT type = MB_OK);
