// Drives the real extractor stub from a test process: archives made with the
// writer, the stub started with or without arguments, and its windows found,
// read and clicked from outside, as a person would.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pack/writer.h"
#include "payload/format.h"
#include "payload/results.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace window_test {

const DWORD WAIT_MS = 15000;        // bound on every wait for a window or an exit
const DWORD QUIET_MS = 1500;        // how long "nothing appears" is watched
const DWORD KILLED = 0xDEADDEAD;   // WaitForExit's answer when it had to kill

// A scratch folder at the root of the temporary directory's drive: Wine's
// folder chooser cannot select a folder inside the user profile (it shows
// the profile folders as shell folders), and the flows choose these folders.
std::string TempDriveRoot();
class RootScratchDir : public ScratchDir {
public:
    RootScratchDir() : ScratchDir(TempDriveRoot()) {}
};

// `name` in the folder of the test program; the stub built there.
std::string BesideTestProgram(const std::string& name);
const std::vector<uint8_t>& StubImage();

// A file entry (dated 2020, so that no restored time is 0), a directory
// entry, and a file with explicit attributes and three distinct times.
WriterEntry FileEntry(const std::string& name, const std::string& data);
WriterEntry DirEntry(const std::string& name);
WriterEntry TimedFile(const std::string& name, const std::string& data, uint32_t attributes);

// Settings with a title and password; no background, nothing after the run.
ArchiveSettings BasicSettings(const std::string& title, const std::string& password);

// Writes the archive to `path`; empty string on success, else the error.
std::string MakeArchive(const ArchiveSettings& settings, const std::vector<WriterEntry>& entries,
                        const std::string& path);

// Every file and directory under `root`: relative name ('\' separators) to
// contents; a directory maps to "<dir>".
std::map<std::string, std::string> ReadTree(const std::string& root);

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
    bool running() const;
    // The exit code, or KILLED when the stub did not end within `ms`.
    DWORD WaitForExit(DWORD ms = WAIT_MS);

private:
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
};

// Runs the stub (or any program) to its end: its exit code as the signed
// result it gave ExitProcess, KILLED (signed) when it had to be killed.
int RunStub(const std::string& exe, const std::string& arguments, const std::string& directory,
            DWORD ms = WAIT_MS);
int RunStub(const std::string& exe, const StubProcess::WholeLine& line, const std::string& directory);

// Polls `done` every 50 ms for up to `ms`; its last answer.
template <typename F>
auto WaitUntil(DWORD ms, F done) -> decltype(done()) {
    for (DWORD start = GetTickCount();; Sleep(50)) {
        auto result = done();
        if (result || GetTickCount() - start > ms) return result;
    }
}
bool Exists(const std::string& path);
bool WaitForFile(const std::string& path, DWORD ms);
// True once `window` is destroyed.
bool WaitGone(HWND window, DWORD ms = WAIT_MS);

// The visible main window ("LockboxSFX") of process `pid`, null on timeout.
HWND WaitForMainWindow(DWORD pid, DWORD ms = WAIT_MS);
// Any window of class "LockboxSFX" that belongs to `pid` (visible or not).
HWND FindMainWindow(DWORD pid);
// A visible dialog (class #32770) of process `pid` whose owner is `owner`
// (null: no owner), optionally with the given caption; null on timeout.
HWND WaitForDialog(DWORD pid, HWND owner, DWORD ms = WAIT_MS, const char* caption = nullptr);
// A visible top-level window of any process with this class and caption.
HWND WaitForAnyWindow(const char* className, const char* caption, DWORD ms = WAIT_MS);
// A visible top-level window of any process whose caption contains `part`.
HWND WaitForCaptionPart(const std::string& part, DWORD ms);

// Text of a window of another process (WM_GETTEXT, with a timeout).
std::string TextOf(HWND window);
std::string ClassOf(HWND window);
// The message text of a message box: its static control with text.
std::string MessageText(HWND box);
// Which icon a message box shows, judged from the screen: 'r' for the red
// error icon, 'b' for the blue information icon, '?' when neither is seen.
char MessageIconColour(HWND box);

// Posts a click to control `id` of `dialog`; posted so that a click that
// opens a modal loop does not block the test.
void Click(HWND dialog, int id);
// Puts text into a control of another process.
void SetText(HWND control, const std::string& text);
// Posts a key press (WM_KEYDOWN and WM_KEYUP) to `window`.
void PressKey(HWND window, UINT key);
// Drives the folder chooser `chooser` of `stub` to `folder` and presses its
// OK. False when the selection could not be set.
bool ChooseFolder(const StubProcess& stub, HWND chooser, const std::string& folder);

// Window rectangle and client size; control rectangle in the parent's
// client coordinates.
RECT WindowRect(HWND window);
SIZE ClientSize(HWND window);
RECT ChildRect(HWND parent, int id);

struct Stamp {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
};
// Attributes and times of a file or directory; attributes are
// INVALID_FILE_ATTRIBUTES when it cannot be opened.
Stamp StampOf(const std::string& path);

// True when the tests run under Wine (ntdll exports wine_get_version).
bool UnderWine();

// Rewrite the encrypted run-after name, or the name of the last entry (a
// directory), of the archive at `path` to `name`, which must have the stored
// name's length: they plant names that the writer refuses. False when the
// archive cannot be read or rewritten.
bool PatchRunAfterName(const std::string& path, const std::string& password, const std::string& name);
bool PatchLastDirectoryName(const std::string& path, const std::string& password, const std::string& name);

// A batch file that writes `marker` when run.
std::string MarkerScript(const std::string& marker);

}  // namespace window_test
