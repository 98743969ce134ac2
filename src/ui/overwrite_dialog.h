// The overwrite question: a modal dialog from template IDD_OVERWRITE.
#pragma once
#include <windows.h>

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The reader's overwrite question for the extractor: shows the dialog owned
// by the main window (none in unattended mode) with the entry's relative
// name; returns 1 to overwrite. The dialog sets g_Reader's answers.
int AskOverwriteWithDialog(void* unused, const char* name);
