// The framework's window classes, as thin wrappers over a window handle: a
// window, the dialog that owns the program's controls, and the list box.
#pragma once

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

    HWND m_hWnd = nullptr;
};

class CDialog;

// The context of one data exchange between a dialog and its members.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds `control` to the dialog's child with identifier `id`.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr)
        : m_nIDHelp(templateId), m_pParentWnd(parent) {}
    ~CDialog() override = default;

    // Takes over a dialog window made elsewhere and initialises it as if it
    // had just been created from the template.
    void AttachWindow(HWND dialog);
    // Lets go of the window without destroying it.
    HWND DetachWindow();

    virtual BOOL OnInitDialog();
    virtual void OnOK() {}
    virtual void OnCancel() {}

    UINT m_nIDHelp;  // the template's identifier

protected:
    virtual void DoDataExchange(CDataExchange* /*exchange*/) {}
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    CWnd* m_pParentWnd;
};

class CListBox : public CWnd {
public:
    int AddString(const char* text);
    int GetCount() const;
    int DeleteString(UINT index);
    int SetTopIndex(int index);
    void ResetContent();
};
