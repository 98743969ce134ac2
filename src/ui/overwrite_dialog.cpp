// The overwrite question (template IDD_OVERWRITE) and its sticky answers.
#include "ui/overwrite_dialog.h"

#include "app/app.h"
#include "payload/reader.h"
#include "ui/resource.h"

namespace {

// What one question shows and where its answers go; the dialog keeps a
// pointer to it in its DWLP_USER slot.
struct Question {
    const char* name;
    OverwriteAnswers* answers;
};

}  // namespace

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Question* question = reinterpret_cast<Question*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SetDlgItemTextA(dialog, IDC_FILE_NAME, reinterpret_cast<Question*>(lParam)->name);
        return 1;  // focus to the first tab stop, "&Yes"
    case WM_COMMAND:
        if (question == nullptr) return 0;
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
            question->answers->yesToAll = 1;
            EndDialog(dialog, 1);
            break;
        case IDC_NO_TO_ALL:
            question->answers->noToAll = 1;
            EndDialog(dialog, 0);
            break;
        case IDCLOSE:   // the "Cancel" button
        case IDCANCEL:  // Escape, or a request to close the dialog
            question->answers->cancelled = 1;
            EndDialog(dialog, 0);
            break;
        }
        return 1;
    }
    return 0;
}

int AskOverwriteWithDialog(void* answers, const char* name) {
    Question question = {name, static_cast<OverwriteAnswers*>(answers)};
    INT_PTR answer = DialogBoxParamA(g_Instance, MAKEINTRESOURCEA(IDD_OVERWRITE), g_MainWindow,
                                     OverwriteDialogProc, reinterpret_cast<LPARAM>(&question));
    return answer == 1 ? 1 : 0;
}
