// The start of the program: the executable's directory, then the main dialog.
#include "ui/port_test_app.h"

#include "support/path_buffer.h"
#include "ui/port_test_dlg.h"

BOOL CPortTestApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();
    CPathBuffer helpFilePath(m_pszHelpFilePath);
    appDirectory = helpFilePath.DirectoryPart(true);
    CPortTestDlg dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    return FALSE;
}
