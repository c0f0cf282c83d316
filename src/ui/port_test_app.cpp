// The start of the program: the executable's directory, then the main dialog.
#include "ui/port_test_app.h"

#include "support/dll_search.h"
#include "support/path_buffer.h"
#include "support/system_functions.h"
#include "support/system_library.h"
#include "ui/port_test_dlg.h"

BOOL CPortTestApp::InitInstance() {
    NarrowDllSearch();
    // The manifest asks for version 6 of the common controls, whose buttons
    // and list box take the system's visual style. Windows XP creates them
    // only once comctl32.dll is loaded, so it stays loaded while the dialog
    // lives. Older systems ignore the manifest, and there comctl32.dll, no
    // known DLL, would be taken from the exe's own folder if the exe
    // imported it; so it comes from the system directory.
    const CSystemLibrary commonControls("comctl32.dll", DllSource::ManifestFirst);
    InitCommonControlsFunction initCommonControls = nullptr;
    if (commonControls.Find("InitCommonControls", &initCommonControls)) {
        initCommonControls();
    }
    AfxEnableControlContainer();
    Enable3dControls();
    CPathBuffer helpFilePath(m_pszHelpFilePath);
    appDirectory = helpFilePath.DirectoryPart(true);
    CPortTestDlg dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    return FALSE;
}
