// Identifiers of the program's resources and dialog controls.
#pragma once

#define IDD_MAIN_DIALOG 102
#define IDI_APP_ICON 128
#define IDC_LOG_LIST 1000
