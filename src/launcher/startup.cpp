// Process start of the extractor: its own entry point (no C runtime start-up
// code), the command line, the choice of mode and the message loop.
#include <string.h>
#include <windows.h>

#include "app/app.h"
#include "app/command_line.h"
#include "payload/reader.h"
#include "run/run.h"
#include "ui/main_window.h"
#include "ui/overwrite_dialog.h"

// Splits a heap copy of the process command line into g_Arguments. The
// copy is never freed: the arguments point into it. 0 when the copy cannot
// be allocated or the program path's quote never closes.
static int SplitCommandLine() {
    const char* line = GetCommandLineA();
    size_t length = strlen(line);
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (copy == nullptr) return 0;
    memcpy(copy, line, length + 1);
    return SplitArguments(copy, g_Arguments);
}

static int RunMessageLoop(HWND window) {
    MSG message;
    message.wParam = 0;
    // GetMessageA returns 0 for WM_QUIT and -1 only for invalid arguments.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_Instance = instance;
    int count = SplitCommandLine();
    if (count == 0) return RESULT_NO_MEMORY;
    bool unattended = count != 1;

    // The reader asks through this hook in both modes.
    g_Reader.askOverwrite = AskOverwriteWithDialog;
    g_Reader.questionUser = &g_Reader.answers;

    if (ReadArchiveHeader(&g_Reader) != RESULT_OK) {
        if (!unattended) {
            MessageBoxA(nullptr, "Archive file is corrupted", g_Reader.windowTitle,
                        MB_OK | MB_ICONWARNING);
        }
        return RESULT_CORRUPT;
    }

    if (unattended) {
        // No "drive not ready" boxes from the system while nobody watches.
        SetErrorMode(SEM_FAILCRITICALERRORS);
        // The destination counts only when it is the one other argument.
        return RunExtraction(g_Arguments[0], count == 3 ? g_Arguments[1] : ".");
    }

    if (RegisterMainWindowClass(instance) == 0) return RESULT_NO_WINDOW;
    g_MainWindow = CreateMainWindow(instance);
    if (g_MainWindow == nullptr) return RESULT_NO_WINDOW;
    return RunMessageLoop(g_MainWindow);
}

// The linker's entry point (-e _StubEntry). The loader's stack is only
// 4-byte aligned, hence the realignment.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void StubEntry(void) {
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT)));
}
