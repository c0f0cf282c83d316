// The framework's window classes, as thin wrappers over a window handle: a
// window, its painting context, the modal dialog that owns the program's
// controls, and the list box.
#pragma once

#include <exception>

#include "platform/platform.h"

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND window) : m_hWnd(window) {}
    virtual ~CWnd() = default;

    // The child control with `id`; its m_hWnd is null when there is none.
    CWnd GetDlgItem(int id) const;
    // Like Windows: nonzero when the window was disabled before.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsIconic() const;
    void GetClientRect(RECT* rect) const;
    // Paints what has changed now, without waiting for the message loop.
    void UpdateWindow();

    // Leaves the message being handled to the system's default processing.
    LRESULT Default();

    HWND m_hWnd = nullptr;

protected:
    bool defaultRequested_ = false;
};

// Painting of one WM_PAINT: BeginPaint on construction, EndPaint on destruction.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC m_hDC;
    PAINTSTRUCT m_ps;

private:
    HWND window_;
};

class CDialog;

// The context of one data exchange between a dialog and its members.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds `control` to the dialog's child with identifier `id`.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

// A modal dialog made from a template of the exe. Its window is centred in
// the work area as it opens; Test (IDOK) goes to OnOK, and Exit, Escape and
// the close box (IDCANCEL) go to OnCancel. An exception that a handler raises
// ends the dialog, and DoModal raises it again once the window is gone.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr)
        : m_nIDHelp(templateId), m_pParentWnd(parent) {}
    ~CDialog() override = default;

    // Runs the dialog until it is ended; its window is gone when this returns.
    // The ending code, or -1 when the dialog could not be made. When a handler
    // raised an exception, the first one raised leaves here instead; the
    // dialog's handlers were called no more after it.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    // Takes over a dialog window made elsewhere and initialises it as if it
    // had just been created from the template.
    void AttachWindow(HWND dialog);
    // Lets go of the window without destroying it.
    HWND DetachWindow();

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnPaint() { Default(); }
    virtual HCURSOR OnQueryDragIcon();

    UINT m_nIDHelp;  // the template's identifier

protected:
    virtual void DoDataExchange(CDataExchange* /*exchange*/) {}
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CenterInWorkArea();
    void WindowGone();

    std::exception_ptr failure_;
};

class CListBox : public CWnd {
public:
    int AddString(const char* text);
    int GetCount() const;
    int DeleteString(UINT index);
    int SetTopIndex(int index);
    void ResetContent();
};
