// The framework's window classes over SendMessageA, GetDlgItem and EnableWindow.
#include "framework/window.h"

CWnd CWnd::GetDlgItem(int id) const {
    return CWnd(m_hWnd != nullptr ? ::GetDlgItem(m_hWnd, id) : nullptr);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return ::EnableWindow(m_hWnd, enable);
}

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
    if (control.m_hWnd == nullptr) {
        control.m_hWnd = ::GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
    }
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

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange{this, saveAndValidate};
    DoDataExchange(&exchange);
    return TRUE;
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
