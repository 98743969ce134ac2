// The extractor's process-wide state: handles set by the launcher, and the
// archive reader with its cipher context (globals.cpp defines them).
#pragma once
#include <windows.h>

#include "crypto/cipher.h"
#include "payload/reader.h"

extern HINSTANCE g_Instance;   // the program's own module; recorded first
extern HWND g_MainWindow;      // null until the main window exists; null in unattended mode
extern Reader g_Reader;        // the archive: the program's own file, one per process
extern CipherContext g_Cipher; // the key of the entry being read

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
