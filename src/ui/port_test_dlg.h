// The main dialog: its icon, the Test action that runs one diagnosis, and the
// log that every line of a run goes through, into the list box and the result
// file.
#pragma once

#include "framework/file.h"
#include "framework/window.h"
#include "inventory/log_sink.h"
#include "platform/platform.h"
#include "ui/resource.h"

class CPortTestDlg : public CDialog, public CLogSink {
public:
    // Loads the program's icon; the list box is bound when the window opens.
    explicit CPortTestDlg(CWnd* parent = nullptr);
    ~CPortTestDlg() override = default;

    // Writes `text` (NUL-terminated, carrying its own "\r\n") to the result
    // file and adds it to the list box, which keeps the last 200 lines.
    void AppendLog(const char* text) override;
    // One test run; the Test button and the Enter key come here.
    void RunTest();
    void OnOK() override { RunTest(); }
    BOOL OnInitDialog() override;
    // While minimised the dialog draws its icon centred in its client area.
    void OnPaint() override;
    HCURSOR OnQueryDragIcon() override { return appIcon; }

    // The parts of a run that report the port table: one line per present
    // port, then one open attempt per present port.
    void LogPortList();
    void LogOpenTests();

    CListBox logList;
    HICON appIcon = nullptr;
    CFile resultFile;

protected:
    void DoDataExchange(CDataExchange* exchange) override;

private:
    void RunSteps(CWnd& testButton);
    void EndInterruptedRun(CWnd& testButton);
    void AddToList(const char* text);
};
