// Resource and control identifiers of the extractor.
#pragma once

#include "payload/resource_ids.h"  // IDI_MAIN, IDB_BACKGROUND

#define IDD_MAIN 101
#define IDD_OVERWRITE 102

// Main window controls (IDOK and IDCANCEL are the platform's).
#include "app/controls.h"  // IDC_PASSWORD
#define IDC_PASSWORD_LABEL 1001

// Overwrite dialog controls (IDOK is "&Yes"; IDCLOSE (8) is "Cancel").
#define IDC_NO_BUTTON 102
#define IDC_YES_TO_ALL 103
#define IDC_NO_TO_ALL 104
#define IDC_FILE_NAME 2001

#define MAIN_WINDOW_CLASS "LockboxSFX"
