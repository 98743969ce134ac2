// The overwrite question (template IDD_OVERWRITE) and its sticky answers.
#include "ui/overwrite_dialog.h"

#include "launcher/app.h"
#include "payload/reader.h"
#include "ui/resource.h"

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_FILE_NAME, reinterpret_cast<const char*>(lParam));
        return 1;  // focus to the first tab stop, "&Yes"
    case WM_COMMAND:
        // Only the low word counts; notifications of the name field (and any
        // other command) leave the dialog up.
        switch (LOWORD(wParam)) {
        case IDOK:
            EndDialog(dialog, 1);
            break;
        case IDC_NO_BUTTON:
            EndDialog(dialog, 0);
            break;
        case IDC_YES_TO_ALL:
            g_Reader.answers.yesToAll = 1;
            EndDialog(dialog, 1);
            break;
        case IDC_NO_TO_ALL:
            g_Reader.answers.noToAll = 1;
            EndDialog(dialog, 0);
            break;
        case IDCLOSE:   // the "Cancel" button
        case IDCANCEL:  // Escape, or a request to close the dialog
            g_Reader.answers.cancelled = 1;
            EndDialog(dialog, 0);
            break;
        }
        return 1;
    }
    return 0;
}

int AskOverwriteWithDialog(void*, const char* name) {
    INT_PTR answer = DialogBoxParamA(g_Instance, MAKEINTRESOURCEA(IDD_OVERWRITE), g_MainWindow,
                                     OverwriteDialogProc, reinterpret_cast<LPARAM>(name));
    return answer == 1 ? 1 : 0;
}
