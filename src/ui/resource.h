// Resource and control identifiers of the extractor.
#pragma once

#define IDD_MAIN 101
#define IDD_OVERWRITE 102
#define IDI_MAIN 102
#define IDB_BACKGROUND 107

// Main window controls (IDOK and IDCANCEL are the platform's).
#define IDC_PASSWORD 1000
#define IDC_PASSWORD_LABEL 1001

// Overwrite dialog controls (IDOK is "&Yes"; IDCLOSE (8) is "Cancel").
#define IDC_NO_BUTTON 102
#define IDC_YES_TO_ALL 103
#define IDC_NO_TO_ALL 104
#define IDC_FILE_NAME 2001

#define MAIN_WINDOW_CLASS "LockboxSFX"
