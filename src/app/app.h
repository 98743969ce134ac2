// The extractor's process-wide state: handles set by the launcher, and the
// archive reader with its cipher context (globals.cpp defines them).
#pragma once
#include <windows.h>

#include "app/command_line.h"
#include "crypto/cipher.h"
#include "payload/reader.h"

extern HINSTANCE g_Instance;   // the program's own module; recorded first
extern HWND g_MainWindow;      // null until the main window exists; null in unattended mode
extern char* g_Arguments[MAX_ARGUMENTS + 1];  // the command line as SplitArguments leaves it
extern Reader g_Reader;        // the archive: the program's own file, one per process
extern CipherContext g_Cipher; // the key of the entry being read
extern bool g_RunInWindow;     // true while a run started by "OK" goes on (RunInWindow)
extern DWORD g_LastShown;      // tick count of the window's last progress display
extern char g_RunAfterPlain[MAX_NAME + 1];  // the run-after name as the last run decrypted it

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
