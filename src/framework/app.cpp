// The framework's application object, its entry point and its message box.
#include "framework/app.h"

#include <cstring>
#include <new>

#include "framework/dll_policy.h"
#include "framework/exceptions.h"

namespace {
CWinApp* currentApp = nullptr;

constexpr char kOutOfMemory[] = "Out of memory.";
constexpr char kUnexpectedError[] = "The program stopped after an unexpected error.";

// Copies at most `capacity` - 1 bytes of `text` and terminates.
void CopyText(char* target, std::size_t capacity, const char* text, std::size_t length) {
    if (length >= capacity) {
        length = capacity - 1;
    }
    std::memcpy(target, text, length);
    target[length] = '\0';
}
}  // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName_), m_pszHelpFilePath(helpFilePath_) {
    if (appName != nullptr) {
        CopyText(appName_, sizeof appName_, appName, std::strlen(appName));
        nameGiven_ = true;
    }
    TakeNamesFromModule();
    currentApp = this;
}

void CWinApp::SetUpFromModule(HINSTANCE instance) {
    m_hInstance = instance;
    TakeNamesFromModule();
}

void CWinApp::TakeNamesFromModule() {
    char modulePath[kPathCapacity] = {};
    const DWORD length = GetModuleFileNameA(nullptr, modulePath, kPathCapacity);
    modulePath[length < kPathCapacity ? length : kPathCapacity - 1] = '\0';

    // The file name starts after the last backslash or colon; the extension at
    // the last dot within it.
    const char* fileName = modulePath;
    for (const char* p = modulePath; *p != '\0'; ++p) {
        if (*p == '\\' || *p == ':') {
            fileName = p + 1;
        }
    }
    const char* dot = std::strrchr(fileName, '.');
    const std::size_t stemEnd = static_cast<std::size_t>(
        (dot != nullptr ? dot : fileName + std::strlen(fileName)) - modulePath);

    if (!nameGiven_) {
        CopyText(appName_, sizeof appName_, fileName,
                 stemEnd - static_cast<std::size_t>(fileName - modulePath));
    }
    CopyText(helpFilePath_, sizeof helpFilePath_, modulePath, stemEnd);
    const std::size_t helpLength = std::strlen(helpFilePath_);
    if (helpLength + 4 < sizeof helpFilePath_) {
        std::memcpy(helpFilePath_ + helpLength, ".HLP", 5);
    }
}

CWinApp::~CWinApp() {
    if (currentApp == this) {
        currentApp = nullptr;
    }
}

void CWinApp::BeginWaitCursor() {
    if (waitCursorDepth_++ == 0) {
        restoreCursor_ = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    }
}

void CWinApp::EndWaitCursor() {
    if (waitCursorDepth_ == 0) {
        return;
    }
    if (--waitCursorDepth_ == 0) {
        SetCursor(restoreCursor_);
        restoreCursor_ = nullptr;
    }
}

CWaitCursor::CWaitCursor() : app_(AfxGetApp()) {
    if (app_ != nullptr) {
        app_->BeginWaitCursor();
    }
}

CWaitCursor::~CWaitCursor() {
    if (app_ != nullptr) {
        app_->EndWaitCursor();
    }
}

CWinApp* AfxGetApp() {
    return currentApp;
}

HINSTANCE AfxGetResourceHandle() {
    if (currentApp != nullptr && currentApp->m_hInstance != nullptr) {
        return currentApp->m_hInstance;
    }
    return GetModuleHandleA(nullptr);
}

HINSTANCE AfxFindResourceHandle(const char* /*name*/, const char* /*type*/) {
    return AfxGetResourceHandle();
}

void AfxEnableControlContainer() {}

namespace {

constexpr int kStartFailed = -1;

// A framework exception that no handler caught ends the program with a message
// instead of the runtime's abort. The main window is gone by now, so the box
// has no owner.
int EndOnException(CWinApp& app, const char* message) {
    app.m_pMainWnd = nullptr;
    AfxMessageBox(message, MB_OK | MB_ICONSTOP);
    return kStartFailed;
}

}  // namespace

int AfxWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return kStartFailed;
    }
    app->SetUpFromModule(instance);
    // Outlives the handlers below, whose message box needs the common
    // controls as much as the dialog does.
    const CDllPolicy dllPolicy;
    try {
        if (!app->InitInstance()) {
            return app->ExitInstance();
        }
        return app->Run();
    } catch (const CMemoryException&) {
        return EndOnException(*app, kOutOfMemory);
    } catch (const std::bad_alloc&) {
        return EndOnException(*app, kOutOfMemory);
    } catch (const CException&) {
        return EndOnException(*app, kUnexpectedError);
    }
}

int AfxMessageBox(const char* text, UINT type) {
    CWinApp* app = AfxGetApp();
    HWND owner = nullptr;
    const char* caption = nullptr;
    if (app != nullptr) {
        caption = app->m_pszAppName;
        if (app->m_pMainWnd != nullptr) {
            owner = app->m_pMainWnd->m_hWnd;
        }
    }
    // The framework gives a plain OK box the exclamation icon.
    constexpr UINT kIconMask = 0xF0;
    constexpr UINT kTypeMask = 0x0F;
    constexpr UINT kOkCancel = 0x01;
    if ((type & kIconMask) == 0 &&
        ((type & kTypeMask) == MB_OK || (type & kTypeMask) == kOkCancel)) {
        type |= MB_ICONEXCLAMATION;
    }
    return MessageBoxA(owner, text, caption, type);
}
