// The extractor's process-wide handles. Kept apart from the start-up code so
// that tests can link the extraction run without the entry point.
#include "launcher/app.h"

HINSTANCE g_Instance;
HWND g_MainWindow;
