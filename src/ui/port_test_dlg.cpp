// The main dialog: its icon, the Test action and the log.
#include "ui/port_test_dlg.h"

#include <cstdint>
#include <cstring>

#include "framework/app.h"
#include "framework/cstring.h"
#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "probe/open_probe.h"
#include "probe/stopwatch.h"
#include "ui/port_test_app.h"

namespace {

constexpr int kMaxListLines = 200;
constexpr int kVisibleLines = 16;
constexpr const char kResultFileName[] = "ComList.txt";
constexpr const char kInterrupted[] = "Test interrupted.\r\n";

}  // namespace

CPortTestDlg::CPortTestDlg(CWnd* parent) : CDialog(IDD_MAIN_DIALOG, parent) {
    appIcon = LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDI_APP_ICON), RT_GROUP_ICON),
                        MAKEINTRESOURCEA(IDI_APP_ICON));
}

void CPortTestDlg::DoDataExchange(CDataExchange* exchange) {
    DDX_Control(exchange, IDC_LOG_LIST, logList);
}

BOOL CPortTestDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
    return TRUE;
}

void CPortTestDlg::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    const int width = static_cast<int>(client.right - client.left);
    const int height = static_cast<int>(client.bottom - client.top);
    const int x = (width - iconWidth + 1) / 2;
    const int y = (height - iconHeight + 1) / 2;
    DrawIcon(dc.m_hDC, x, y, appIcon);
}

void CPortTestDlg::AppendLog(const char* text) {
    if (text == nullptr) {
        return;
    }
    if (resultFile.IsOpen()) {
        resultFile.Write(text, static_cast<UINT>(std::strlen(text)));
    }
    AddToList(text);
}

void CPortTestDlg::AddToList(const char* text) {
    logList.AddString(text);
    const int count = logList.GetCount();
    if (count > kMaxListLines) {
        logList.DeleteString(0);
    }
    const int top = count - kVisibleLines;
    logList.SetTopIndex(top < 0 ? 0 : top);
    // The run takes no messages, so the list box would not repaint before
    // its end; a direct paint shows each line as it arrives.
    logList.UpdateWindow();
}

void CPortTestDlg::RunTest() {
    CWnd testButton;
    try {
        RunSteps(testButton);
    } catch (const CException&) {
        EndInterruptedRun(testButton);
    }
}

void CPortTestDlg::RunSteps(CWnd& testButton) {
    CString path;
    if (auto* app = static_cast<CPortTestApp*>(AfxGetApp())) {
        path = app->appDirectory;
    }
    path += kResultFileName;
    if (!resultFile.Open(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyNone)) {
        AfxMessageBox("Fail to create result file.", MB_OK);
        return;
    }
    // Gone again on every way out of here, an exception included.
    CWaitCursor busy;
    logList.ResetContent();
    logList.UpdateWindow();
    testButton = GetDlgItem(IDOK);
    if (testButton.m_hWnd != nullptr) {
        testButton.EnableWindow(FALSE);
        testButton.UpdateWindow();
    }

    ReadTimerFrequency();
    int64_t start = 0;
    int64_t now = 0;
    ReadTimerCount(start);
    DiscoverPorts(this);
    CString line;
    line.Format("Search COM ports, Time=%lf\r\n", ElapsedSeconds(start, now));
    AppendLog(line);

    LogPortList();
    AppendLog("\r\nOpen test...\r\n");
    LogOpenTests();

    AppendLog("\r\nTest finished.\r\n");
    AppendLog("Please send \"ComList.txt\" to Tobrin.\r\n");
    AppendLog("Thanks.\r\n");
    resultFile.Close();
    if (testButton.m_hWnd != nullptr) {
        testButton.EnableWindow(TRUE);
    }
}

// A failed write or an exhausted heap ends the run early: what was written
// stays, the file is closed and the Test button works again.
void CPortTestDlg::EndInterruptedRun(CWnd& testButton) {
    if (resultFile.IsOpen()) {
        try {
            resultFile.Write(kInterrupted, static_cast<UINT>(std::strlen(kInterrupted)));
        } catch (const CFileException&) {
            // The file takes no more; the list box still shows the line.
        }
        resultFile.Abort();
    }
    AddToList(kInterrupted);
    if (testButton.m_hWnd != nullptr) {
        testButton.EnableWindow(TRUE);
    }
}

void CPortTestDlg::LogPortList() {
    CString line;
    for (int i = 0; i < kPortCount; ++i) {
        const PortRecord& slot = portTable.slots[i];
        if (slot.kind == Absent) {
            continue;
        }
        line.Format("index %d = %s, Type=%s\r\n", i, slot.displayName, ReportName(slot.kind));
        AppendLog(line);
    }
}

// The absent test comes before the probe, so the WIDCOMM refresh that probing
// slot 0 makes happens only when COM1 is present.
void CPortTestDlg::LogOpenTests() {
    CString line;
    for (int i = 0; i < kPortCount; ++i) {
        if (portTable.slots[i].kind == Absent) {
            continue;
        }
        int64_t start = 0;
        int64_t now = 0;
        ReadTimerCount(start);
        const int32_t result = ProbePort(static_cast<uint32_t>(i));
        const double seconds = ElapsedSeconds(start, now);
        const PortRecord& slot = portTable.slots[i];
        line.Format("index %d = %s, Res=%d, Time=%lf\r\n", i, slot.displayName,
                    static_cast<int>(result), seconds);
        AppendLog(line);
        if (seconds > 1.0) {
            line.Format("     Name = %s\r\n", slot.description);
            AppendLog(line);
        }
    }
}
