// The main window of window mode: class "LockboxSFX", dialog template IDD_MAIN.
#pragma once
#include <windows.h>

// Registers the window class; returns the class atom, 0 on failure.
ATOM RegisterMainWindowClass(HINSTANCE instance);

// Creates the modeless main window from its template and focuses the
// password field; null on failure.
HWND CreateMainWindow(HINSTANCE instance);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
