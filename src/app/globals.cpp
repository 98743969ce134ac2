// The extractor's process-wide state, and all of it: handles, the command
// line, the one archive reader and its cipher context, and what a run in
// the window and the run-after action keep. Kept apart from the start-up
// code so that tests can link the extraction run without the entry point.
// Static storage: zero before any code runs, no initialiser needed.
#include "app/app.h"

HINSTANCE g_Instance;
HWND g_MainWindow;
char* g_Arguments[MAX_ARGUMENTS + 1];
Reader g_Reader;
CipherContext g_Cipher;
bool g_RunInWindow;
DWORD g_LastShown;
char g_RunAfterPlain[MAX_NAME + 1];
