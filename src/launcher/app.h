// Process-wide handles of the extractor, set by the launcher.
#pragma once
#include <windows.h>

extern HINSTANCE g_Instance;   // the program's own module; recorded first
extern HWND g_MainWindow;      // null until the main window exists; null in unattended mode

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
