// The application object: where the executable lives.
#pragma once

#include "framework/app.h"
#include "framework/cstring.h"

class CPortTestApp : public CWinApp {
public:
    CPortTestApp() : CWinApp(nullptr) {}
    ~CPortTestApp() override = default;

    // The executable's directory with its trailing backslash; empty until set.
    CString appDirectory;
};
