// Drives the real extractor stub from a test process: archives made with the
// writer, the stub started, and its windows found, read and clicked from outside.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pack/writer.h"
#include "payload/results.h"
#include "support/archive_builder.h"
#include "support/scratch_dir.h"

namespace window_test {

const DWORD WAIT_MS = 15000;        // bound on every wait for a window or an exit
const DWORD QUIET_MS = 1500;        // how long "nothing appears" is watched
const DWORD KILLED = 0xDEADDEAD;   // WaitForExit's answer when it had to kill

// A scratch folder at the root of the temporary directory's drive: Wine's folder
// chooser cannot select one inside the user profile (it shows shell folders there).
inline std::string TempDriveRoot() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp).substr(0, 2);
}
class RootScratchDir : public ScratchDir {
public:
    RootScratchDir() : ScratchDir(TempDriveRoot()) {}
};

// `name` in the folder of the test program; the stub built there.
inline std::string BesideTestProgram(const std::string& name) {
    char path[MAX_PATH];
    std::string s(path, GetModuleFileNameA(NULL, path, MAX_PATH));
    return s.substr(0, s.find_last_of("\\/") + 1) + name;
}
inline const std::vector<uint8_t>& StubImage() {
    static std::vector<uint8_t> image = ToBytes(ReadFileBytes(BesideTestProgram("lockbox-stub.exe")));
    return image;
}

// A file entry and a directory entry, dated 2020 so that no restored time is 0.
inline WriterEntry FileEntry(const std::string& name, const std::string& data) {
    WriterEntry e = WriterFile(name, data, FILE_ATTRIBUTE_ARCHIVE, 132223104000000000ull);
    e.creationTime = e.lastWriteTime;
    return e;
}
inline WriterEntry DirEntry(const std::string& name) {
    WriterEntry e = FileEntry(name, "");
    e.attributes = FILE_ATTRIBUTE_DIRECTORY;
    return e;
}

// Settings with a title and password; no background, nothing after the run.
inline ArchiveSettings BasicSettings(const std::string& title, const std::string& password) {
    ArchiveSettings s;
    s.title = title;
    s.password.assign(password.begin(), password.end());
    return s;
}

// Writes the archive to `path`; empty string on success, else the error.
inline std::string MakeArchive(const ArchiveSettings& settings, const std::vector<WriterEntry>& entries,
                               const std::string& path) {
    if (StubImage().empty()) return "lockbox-stub.exe not found beside the test program";
    WriteResult r = WriteArchive(StubImage(), settings, entries, path);
    return r.ok ? std::string() : r.error;
}

// Every file and directory under `root`: relative name ('\' separators) to
// contents, "<dir>" for a directory.
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const std::string& root);

// One running stub. The destructor kills it if it is still running.
class StubProcess {
public:
    // Starts `exe` with the command-line tail `arguments` in `directory`.
    StubProcess(const std::string& exe, const std::string& arguments, const std::string& directory);
    // A whole command line, program name included, passed on as it is.
    struct WholeLine {
        std::string text;
    };
    StubProcess(const std::string& exe, const WholeLine& line, const std::string& directory);
    ~StubProcess();
    StubProcess(const StubProcess&) = delete;
    StubProcess& operator=(const StubProcess&) = delete;

    bool started() const { return process_ != NULL; }
    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    bool running() const { return process_ != NULL && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    // The exit code, or KILLED when the stub did not end within `ms`.
    DWORD WaitForExit(DWORD ms = WAIT_MS);

private:
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
};

// Runs the stub (or any program) with arguments or a WholeLine to its end: its exit code as the
// signed result it gave ExitProcess, KILLED (signed) when it had to be killed.
template <typename Line>
int RunStub(const std::string& exe, const Line& line, const std::string& directory, DWORD ms = WAIT_MS) {
    return static_cast<int>(StubProcess(exe, line, directory).WaitForExit(ms));
}

// Polls `done` every 50 ms for up to `ms`; its last answer.
template <typename F>
auto WaitUntil(DWORD ms, F done) -> decltype(done()) {
    for (DWORD start = GetTickCount();; Sleep(50)) {
        auto result = done();
        if (result || GetTickCount() - start > ms) return result;
    }
}
inline bool Exists(const std::string& path) { return FactsOf(path).exists; }
inline bool WaitForFile(const std::string& path, DWORD ms) {
    return WaitUntil(ms, [&] { return Exists(path); });
}
// True once `window` is destroyed.
inline bool WaitGone(HWND window, DWORD ms = WAIT_MS) {
    return WaitUntil(ms, [&] { return !IsWindow(window); });
}
// Closes `window`, when there is one, with WM_CLOSE and waits until it is gone.
inline void CloseAndWait(HWND window, DWORD ms = WAIT_MS) {
    if (window != NULL && PostMessageA(window, WM_CLOSE, 0, 0)) WaitGone(window, ms);
}

// The visible main window ("LockboxSFX") of process `pid`, null on timeout.
HWND WaitForMainWindow(DWORD pid, DWORD ms = WAIT_MS);
// Any window of class "LockboxSFX" that belongs to `pid` (visible or not).
HWND FindMainWindow(DWORD pid);
// A visible dialog (#32770) of `pid` owned by `owner` (null: none), with `caption` if given.
HWND WaitForDialog(DWORD pid, HWND owner, DWORD ms = WAIT_MS, const char* caption = nullptr);
// A visible top-level window of any process with this class and caption.
HWND WaitForAnyWindow(const char* className, const char* caption, DWORD ms = WAIT_MS);
// A visible top-level window of any process whose caption contains `part`.
HWND WaitForCaptionPart(const std::string& part, DWORD ms);

// Text of a window of another process (WM_GETTEXT, with a timeout).
inline std::string TextOf(HWND window) {
    char text[1024];
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return "<no answer>";
    return std::string(text, copied);
}
inline std::string ClassOf(HWND window) {
    char name[256];
    int n = GetClassNameA(window, name, sizeof name);
    return std::string(name, n > 0 ? n : 0);
}
// The message text of a message box: its static control with text.
std::string MessageText(HWND box);
// A message box's icon as seen on screen: 'r' red (error), 'b' blue (information), '?' neither.
char MessageIconColour(HWND box);

// Posts a click to control `id` of `dialog` (posted: a click that opens a modal loop must not block).
inline void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// Puts text into a control of another process.
inline void SetText(HWND control, const std::string& text) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                        5000, &ignored);
}
// Posts a key press (WM_KEYDOWN and WM_KEYUP) to `window`.
inline void PressKey(HWND window, UINT key) {
    UINT scan = MapVirtualKeyA(key, 0);
    PostMessageA(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}
// Drives `stub`'s folder chooser to `folder` and presses OK; false when it could not be selected.
bool ChooseFolder(const StubProcess& stub, HWND chooser, const std::string& folder);

// Window rectangle and client size; control rectangle in the parent's client coordinates.
inline RECT WindowRect(HWND window) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(window, &r);
    return r;
}
inline SIZE ClientSize(HWND window) {
    RECT r = {0, 0, 0, 0};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}
inline RECT ChildRect(HWND parent, int id) {
    RECT r = WindowRect(GetDlgItem(parent, id));
    MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// True when the tests run under Wine (ntdll exports wine_get_version).
inline bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

// Plant a name the writer refuses as the run-after name or as the last entry's (a
// directory's); `name` has the stored name's length. False when it cannot be done.
bool PatchRunAfterName(const std::string& path, const std::string& password, const std::string& name);
bool PatchLastDirectoryName(const std::string& path, const std::string& password, const std::string& name);

// A batch file that writes `marker` when run.
inline std::string MarkerScript(const std::string& marker) { return "@echo ran> \"" + marker + "\"\r\n"; }

}  // namespace window_test
