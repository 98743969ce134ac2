#include "ui/run_in_window.h"

#include <string.h>

#include "app/app.h"
#include "payload/reader.h"
#include "run/run.h"
#include "ui/resource.h"

// The title as it stands outside a run.
static const char* Title() { return g_Reader.windowTitle != NULL ? g_Reader.windowTitle : ""; }

static void EnableControls(HWND window, BOOL enable) {
    static const int CONTROLS[] = {IDC_PASSWORD, IDOK, IDCANCEL};
    for (int id : CONTROLS) EnableWindow(GetDlgItem(window, id), enable);
    EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

static void ShowProgress(Reader* reader) {
    DWORD now = GetTickCount();
    if (now - g_LastShown < 250) return;
    g_LastShown = now;

    // The share of the entries read: both sides shortened to 24 bits, so
    // that 32-bit arithmetic does (archives go beyond 4 GiB).
    int64_t done = PlatformTell(reader->file) - reader->firstEntryOffset;
    int64_t total = reader->entriesEnd - reader->firstEntryOffset;
    while (total > 0xFFFFFF) {
        total >>= 4;
        done >>= 4;
    }
    uint32_t percent = total > 0 && done > 0 ? (uint32_t)done * 100 / (uint32_t)total : 0;
    if (percent > 100) percent = 100;
    char title[8 + MAX_NAME];
    char* p = title;
    if (percent >= 100) *p++ = '1';
    if (percent >= 10) *p++ = (char)('0' + percent / 10 % 10);
    *p++ = (char)('0' + percent % 10);
    memcpy(p, "% - ", 4);
    lstrcpynA(p + 4, Title(), MAX_NAME + 1);
    SetWindowTextA(g_MainWindow, title);
    SetDlgItemTextA(g_MainWindow, IDC_PASSWORD_LABEL, reader->entryName);
    // The label draws without a background: the window behind it repaints.
    RedrawWindow(g_MainWindow, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);

    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {  // for the main loop, after the run
            PostQuitMessage((int)message.wParam);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int RunInWindow(HWND window) {
    HWND focus = GetFocus();
    char label[64];
    GetDlgItemTextA(window, IDC_PASSWORD_LABEL, label, sizeof label);
    EnableControls(window, FALSE);
    g_RunInWindow = true;
    g_LastShown = GetTickCount();
    g_Reader.onProgress = ShowProgress;
    int result = RunExtraction(NULL, NULL);
    g_Reader.onProgress = NULL;
    g_RunInWindow = false;
    EnableControls(window, TRUE);
    SetWindowTextA(window, Title());
    SetDlgItemTextA(window, IDC_PASSWORD_LABEL, label);
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    SetFocus(focus);
    return result;
}
