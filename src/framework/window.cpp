// The framework's window classes over the dialog manager and user32.
#include "framework/window.h"

#include <utility>

#include "framework/app.h"

CWnd CWnd::GetDlgItem(int id) const {
    return CWnd(m_hWnd != nullptr ? ::GetDlgItem(m_hWnd, id) : nullptr);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return ::EnableWindow(m_hWnd, enable);
}

// UpdateWindow sends WM_PAINT straight to the window procedure, so a window
// repaints even while its thread takes no messages.
void CWnd::UpdateWindow() {
    if (m_hWnd != nullptr) {
        ::UpdateWindow(m_hWnd);
    }
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(RECT* rect) const {
    if (!::GetClientRect(m_hWnd, rect)) {
        *rect = RECT{0, 0, 0, 0};
    }
}

LRESULT CWnd::Default() {
    defaultRequested_ = true;
    return 0;
}

CPaintDC::CPaintDC(CWnd* window) : m_hDC(nullptr), m_ps(), window_(window->m_hWnd) {
    m_hDC = BeginPaint(window_, &m_ps);
}

CPaintDC::~CPaintDC() {
    EndPaint(window_, &m_ps);
}

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
    if (control.m_hWnd == nullptr) {
        control.m_hWnd = ::GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
    }
}

INT_PTR CDialog::DoModal() {
    failure_ = nullptr;
    const HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    const INT_PTR result = DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDHelp),
                                           owner, DialogProc, reinterpret_cast<LPARAM>(this));
    WindowGone();
    if (failure_ != nullptr) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    return result;
}

void CDialog::EndDialog(int result) {
    ::EndDialog(m_hWnd, result);
}

void CDialog::AttachWindow(HWND dialog) {
    m_hWnd = dialog;
    OnInitDialog();
}

HWND CDialog::DetachWindow() {
    HWND dialog = m_hWnd;
    m_hWnd = nullptr;
    return dialog;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

HCURSOR CDialog::OnQueryDragIcon() {
    Default();
    return nullptr;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange{this, saveAndValidate};
    DoDataExchange(&exchange);
    return TRUE;
}

// The dialog manager sends a few messages (WM_SETFONT among them) before
// WM_INITDIALOG, which is the first to carry the object; those go to the
// default processing.
//
// The exe unwinds C++ exceptions with DWARF tables, which user32's frames
// between DialogBoxParamA and this procedure do not have: an exception that
// left here would end the process. So the first one is kept, the dialog ends
// (EndDialog works from WM_INITDIALOG too, before the window shows), and
// DoModal raises it again. Messages that still come, up to WM_NCDESTROY, go
// to the default processing; a later exception, from a handler that was
// already running when a message it sent failed, is dropped.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    } else {
        dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    if (dialog == nullptr || dialog->failure_ != nullptr) {
        return FALSE;
    }
    try {
        return dialog->HandleMessage(message, wParam, lParam);
    } catch (...) {
        if (dialog->failure_ == nullptr) {
            dialog->failure_ = std::current_exception();
        }
        ::EndDialog(window, -1);
        return FALSE;
    }
}

// A dialog procedure returns FALSE for what it leaves to the dialog manager.
// WM_INITDIALOG and WM_QUERYDRAGICON return their answer directly.
INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG: {
            const BOOL setFocus = OnInitDialog();
            CenterInWorkArea();
            return setFocus;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) {
                return FALSE;
            }
            if (LOWORD(wParam) == IDOK) {
                OnOK();
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            defaultRequested_ = false;
            OnPaint();
            return defaultRequested_ ? FALSE : TRUE;
        case WM_QUERYDRAGICON: {
            defaultRequested_ = false;
            const HCURSOR cursor = OnQueryDragIcon();
            return defaultRequested_ ? FALSE : reinterpret_cast<INT_PTR>(cursor);
        }
        case WM_NCDESTROY:
            WindowGone();
            return FALSE;
        default:
            return FALSE;
    }
}

// Centred in the work area (the screen without the taskbar), but never with
// its top-left corner outside it.
void CDialog::CenterInWorkArea() {
    RECT area;
    RECT box;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0) || !GetWindowRect(m_hWnd, &box)) {
        return;
    }
    const LONG width = box.right - box.left;
    const LONG height = box.bottom - box.top;
    LONG x = area.left + (area.right - area.left - width) / 2;
    LONG y = area.top + (area.bottom - area.top - height) / 2;
    if (x < area.left) {
        x = area.left;
    }
    if (y < area.top) {
        y = area.top;
    }
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::WindowGone() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
    }
    m_hWnd = nullptr;
}

int CListBox::AddString(const char* text) {
    return static_cast<int>(SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CListBox::GetCount() const {
    return static_cast<int>(SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0));
}

int CListBox::DeleteString(UINT index) {
    return static_cast<int>(SendMessageA(m_hWnd, LB_DELETESTRING, index, 0));
}

int CListBox::SetTopIndex(int index) {
    return static_cast<int>(SendMessageA(m_hWnd, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0));
}

void CListBox::ResetContent() {
    SendMessageA(m_hWnd, LB_RESETCONTENT, 0, 0);
}
