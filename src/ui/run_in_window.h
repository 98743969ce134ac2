// A run started by "OK" in the main window, kept alive while it goes on.
#pragma once
#include <windows.h>

// Runs RunExtraction(NULL, NULL), with g_RunInWindow set (the window then
// ignores WM_CLOSE and "OK"), with the password field, the buttons and
// the close box disabled. As the archive is read, a few times a second, the
// title shows the share read so far ("37% - Title"), the label the entry
// being restored, and pending messages (paint, move) are handled. Afterwards
// the title, label, controls and focus are as they were. Returns the run's
// result.
int RunInWindow(HWND window);
