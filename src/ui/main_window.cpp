// The main window of window mode: window class, creation from the dialog
// template, background layout and the report of an extraction run.
#include "ui/main_window.h"

#include "app/app.h"
#include "payload/format.h"
#include "run/run.h"
#include "ui/layout.h"
#include "ui/resource.h"
#include "ui/run_in_window.h"

ATOM RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    // The dialog manager keeps its own data in a window whose class a
    // dialog template names.
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    if (g_Reader.backgroundWidth != 0) {
        // The pattern brush tiles bitmap 107 from the client's top left; it
        // lives as long as the process.
        LOGBRUSH lb;
        lb.lbStyle = BS_PATTERN;
        lb.lbColor = 0;
        lb.lbHatch = (ULONG_PTR)LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BACKGROUND));
        wc.hbrBackground = CreateBrushIndirect(&lb);
    } else {
        wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    }
    wc.lpszMenuName = NULL;
    wc.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassA(&wc);
}

HWND CreateMainWindow(HINSTANCE instance) {
    // No dialog procedure: the template names class "LockboxSFX", so
    // MainWindowProc runs the window. WS_VISIBLE in the template shows it.
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, NULL, 0);
    if (window != NULL)
        SetFocus(GetDlgItem(window, IDC_PASSWORD));
    return window;
}

// Grows the window to the background size around its centre and moves the
// controls as the layout mode asks. The first call comes from inside
// CreateDialogParamA, before the launcher knows the handle, hence `window`.
static void LayOutOverBackground(HWND window) {
    WINDOWPLACEMENT wp;
    wp.length = sizeof wp;
    GetWindowPlacement(window, &wp);
    RECT client;
    GetClientRect(window, &client);

    LayoutResult r = ComputeLayout(client.right - client.left, client.bottom - client.top,
                                   &g_Reader.backgroundWidth, &g_Reader.backgroundHeight, g_Reader.layoutMode);
    const RECT& n = wp.rcNormalPosition;
    SetWindowPos(window, NULL, n.left + r.moveX, n.top + r.moveY,
                 (n.right - n.left) + r.growWidth, (n.bottom - n.top) + r.growHeight,
                 SWP_NOZORDER);

    if (!r.moveControls || (r.shiftX == 0 && r.shiftY == 0))
        return;
    for (HWND child = GetTopWindow(window); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        WINDOWPLACEMENT cp;
        cp.length = sizeof cp;
        GetWindowPlacement(child, &cp); // parent-client coordinates for a child
        SetWindowPos(child, NULL, cp.rcNormalPosition.left + r.shiftX,
                     cp.rcNormalPosition.top + r.shiftY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

// Turns the result of a run started by "OK" into a message box and, after a
// run that went through (or was cancelled at the overwrite question), into
// the quit message. Errors leave the window open for another attempt; a
// closed folder chooser is silent.
static void ReportRunResult(HWND window, int result) {
    const char* text = NULL;
    UINT icon = 0;
    bool quit = false;
    switch (result) {
    case RESULT_CORRUPT:
        text = "Archive file is corrupted or password is invalid!";
        icon = MB_ICONERROR;
        break;
    case RESULT_CANNOT_CREATE:
        text = "Cannot create output file!";
        icon = MB_ICONERROR;
        break;
    case RESULT_BAD_PASSWORD:
        text = "Entered password is invalid.";
        icon = MB_ICONERROR;
        break;
    case RESULT_NO_MEMORY:
        // The archive's key is stretched by bcrypt's PBKDF2, which Windows
        // has from version 7 on.
        text = "This system cannot check the archive's password: it needs Windows 7 or later.";
        icon = MB_ICONERROR;
        break;
    case RESULT_OK:
    case RESULT_END:
        quit = true;
        if (g_Reader.answers.cancelled) {
            text = "Operation canceled!";
            icon = MB_ICONERROR;
        } else if (g_Reader.runAfterLength == 0 && g_Reader.openFolderShowCmd == 0) {
            // Nothing else tells the user that the run is over.
            text = "Files have been successfully restored.";
            icon = MB_ICONINFORMATION;
        }
        break;
    default:
        break;
    }
    if (text != NULL)
        MessageBoxA(window, text, g_Reader.windowTitle, MB_OK | icon);
    if (quit)
        PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // The template's caption is empty; the archive names the window.
        SetWindowTextA(window, g_Reader.windowTitle != NULL ? g_Reader.windowTitle : "");
        return DefWindowProcA(window, message, wParam, lParam);

    case WM_SHOWWINDOW:
        if (g_Reader.backgroundWidth != 0)
            LayOutOverBackground(window);
        return DefWindowProcA(window, message, wParam, lParam);

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // The run executes here, synchronously; it handles pending
            // messages itself as it reads (RunInWindow).
            if (!g_RunInWindow) ReportRunResult(window, RunInWindow(window));
            return 1;
        case IDCANCEL:
            if (!g_RunInWindow) PostQuitMessage(-1);
            return 1;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
        }

    case WM_CTLCOLORSTATIC:
        // The label draws its text without a background of its own, so the
        // window's background (the picture, if any) shows behind it.
        SetBkMode((HDC)wParam, TRANSPARENT);
        return (LRESULT)GetStockObject(NULL_BRUSH);

    case WM_CLOSE:
        // Closing in the middle of a run would leave a half-restored tree.
        if (g_RunInWindow) return 0;
        return DefWindowProcA(window, message, wParam, lParam);

    case WM_DESTROY:
        PostQuitMessage(0);
        return 1;

    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
