// A dialog on template 102 whose one chosen handler raises one chosen
// exception, while holding what the program's handlers hold: a file opened
// when the window opened, the wait cursor, a paint in progress.
#pragma once

#include <new>
#include <ostream>

#include "framework/app.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/window.h"
#include "sim/ui_control.h"

namespace failing {

enum class Handler { Init, OK, Cancel, Paint, DragIcon };
enum class Raised { Memory, File, BadAlloc };

inline const char* Name(Handler handler) {
    switch (handler) {
        case Handler::Init:
            return "Init";
        case Handler::OK:
            return "OK";
        case Handler::Cancel:
            return "Cancel";
        case Handler::Paint:
            return "Paint";
        case Handler::DragIcon:
            return "DragIcon";
    }
    return "?";
}

inline const char* Name(Raised raised) {
    switch (raised) {
        case Raised::Memory:
            return "CMemoryException";
        case Raised::File:
            return "CFileException";
        case Raised::BadAlloc:
            return "bad_alloc";
    }
    return "?";
}

// The cause and system status a raised CFileException carries.
constexpr DWORD kFileError = ERROR_WRITE_FAULT;

[[noreturn]] inline void Raise(Raised raised) {
    switch (raised) {
        case Raised::Memory:
            AfxThrowMemoryException();
        case Raised::File:
            AfxThrowFileException(kFileError);
        case Raised::BadAlloc:
            throw std::bad_alloc();
    }
    throw std::bad_alloc();
}

// Where the file opened with the window lives.
constexpr const char kHeldFile[] = "C:\\Tools\\held.txt";

class FailingDialog : public CDialog {
public:
    FailingDialog(Handler handler, Raised raised)
        : CDialog(102), handler_(handler), raised_(raised) {}

    BOOL OnInitDialog() override {
        ++calls;
        CDialog::OnInitDialog();
        held.Open(kHeldFile, CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyNone);
        if (handler_ == Handler::Init) {
            Raise(raised_);
        }
        return TRUE;
    }
    void OnOK() override {
        ++calls;
        CWaitCursor busy;
        if (handler_ == Handler::OK) {
            Raise(raised_);
        }
    }
    void OnCancel() override {
        ++calls;
        if (handler_ == Handler::Cancel) {
            Raise(raised_);
        }
        CDialog::OnCancel();
    }
    void OnPaint() override {
        ++calls;
        CPaintDC dc(this);
        if (handler_ == Handler::Paint) {
            Raise(raised_);
        }
    }
    HCURSOR OnQueryDragIcon() override {
        ++calls;
        if (handler_ == Handler::DragIcon) {
            Raise(raised_);
        }
        return nullptr;
    }

    CFile held;
    int calls = 0;  // handler calls of every kind

private:
    Handler handler_;
    Raised raised_;
};

// What the user does to reach `handler` in the open dialog; nothing for
// Init, which runs as the window opens.
inline void Reach(HWND dialog, Handler handler) {
    switch (handler) {
        case Handler::Init:
            break;
        case Handler::OK:
            sim::ClickButton(dialog, IDOK);
            break;
        case Handler::Cancel:
            sim::ClickButton(dialog, IDCANCEL);
            break;
        case Handler::Paint:
            sim::PaintDialog(dialog);
            break;
        case Handler::DragIcon:
            sim::QueryDragIcon(dialog);
            break;
    }
}

struct Case {
    Handler handler;
    Raised raised;
};

inline std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << Name(c.handler) << "/" << Name(c.raised);
}

}  // namespace failing
