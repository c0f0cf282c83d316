// The application object: where the executable lives, and the start of the
// program, which shows the main dialog until the user leaves it.
#pragma once

#include "framework/app.h"
#include "framework/cstring.h"

class CPortTestApp : public CWinApp {
public:
    CPortTestApp() : CWinApp(nullptr) {}
    ~CPortTestApp() override = default;

    // Works out appDirectory, runs the main dialog modally and returns FALSE,
    // so that the program ends when the dialog does.
    BOOL InitInstance() override;

    // The executable's directory with its trailing backslash; empty until set.
    CString appDirectory;
};
