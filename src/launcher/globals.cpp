// The extractor's process-wide state, and all of it: handles, the one
// archive reader and its cipher context. Kept apart from the start-up code
// so that tests can link the extraction run without the entry point.
// Static storage: zero before any code runs, no initialiser needed.
#include "launcher/app.h"

HINSTANCE g_Instance;
HWND g_MainWindow;
Reader g_Reader;
CipherContext g_Cipher;
