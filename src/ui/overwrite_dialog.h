// The overwrite question: a modal dialog from template IDD_OVERWRITE.
#pragma once
#include <windows.h>

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The reader's overwrite question for the extractor: shows the dialog owned
// by the main window (none in unattended mode) with the entry's relative
// name; returns 1 to overwrite. `answers` (an OverwriteAnswers, the
// reader's questionUser) receives the sticky answers the dialog gives.
int AskOverwriteWithDialog(void* answers, const char* name);
