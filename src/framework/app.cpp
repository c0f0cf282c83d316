// The framework's application object and its message box.
#include "framework/app.h"

#include <cstring>

namespace {
CWinApp* currentApp = nullptr;

// Copies at most `capacity` - 1 bytes of `text` and terminates.
void CopyText(char* target, std::size_t capacity, const char* text, std::size_t length) {
    if (length >= capacity) {
        length = capacity - 1;
    }
    std::memcpy(target, text, length);
    target[length] = '\0';
}
}  // namespace

CWinApp::CWinApp(const char* appName) {
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

    if (appName != nullptr) {
        CopyText(appName_, sizeof appName_, appName, std::strlen(appName));
    } else {
        CopyText(appName_, sizeof appName_, fileName,
                 stemEnd - static_cast<std::size_t>(fileName - modulePath));
    }
    CopyText(helpFilePath_, sizeof helpFilePath_, modulePath, stemEnd);
    const std::size_t helpLength = std::strlen(helpFilePath_);
    if (helpLength + 4 < sizeof helpFilePath_) {
        std::memcpy(helpFilePath_ + helpLength, ".HLP", 5);
    }
    m_pszAppName = appName_;
    m_pszHelpFilePath = helpFilePath_;
    currentApp = this;
}

CWinApp::~CWinApp() {
    if (currentApp == this) {
        currentApp = nullptr;
    }
}

CWinApp* AfxGetApp() {
    return currentApp;
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
