// The start of the program: the executable's directory, then the main dialog.
#include "ui/port_test_app.h"

#include "support/dll_search.h"
#include "support/path_buffer.h"
#include "ui/port_test_dlg.h"

BOOL CPortTestApp::InitInstance() {
    NarrowDllSearch();
    // The manifest asks for version 6 of the common controls, whose buttons
    // and list box take the system's visual style. Windows XP creates them
    // only once comctl32.dll is loaded, so load it before the dialog opens;
    // older systems ignore the manifest and load the classic version.
    InitCommonControls();
    AfxEnableControlContainer();
    Enable3dControls();
    CPathBuffer helpFilePath(m_pszHelpFilePath);
    appDirectory = helpFilePath.DirectoryPart(true);
    CPortTestDlg dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    return FALSE;
}
