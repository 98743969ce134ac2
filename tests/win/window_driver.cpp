// Helpers that drive the extractor stub from outside its process.
#include "window_driver.h"

#include "crypto/cipher.h"
#include "payload/reader.h"

namespace window_test {

namespace {

void ReadTreeInto(const std::string& root, const std::string& prefix,
                  std::map<std::string, std::string>* out) {
    WIN32_FIND_DATAA fd;
    std::string dir = prefix.empty() ? root : root + "\\" + prefix;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        std::string rel = prefix.empty() ? name : prefix + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*out)[rel] = "<dir>";
            ReadTreeInto(root, rel, out);
        } else {
            (*out)[rel] = ReadFileBytes(root + "\\" + rel);
        }
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

struct Search {
    DWORD pid;                  // 0: any process
    const char* className;
    HWND owner;
    bool anyOwner;
    bool visibleOnly;
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (s->pid != 0 && pid != s->pid) return TRUE;
    if (ClassOf(window) != s->className) return TRUE;
    if (s->visibleOnly && !IsWindowVisible(window)) return TRUE;
    if (!s->anyOwner && GetWindow(window, GW_OWNER) != s->owner) return TRUE;
    if (s->caption != nullptr && TextOf(window) != s->caption) return TRUE;
    s->found = window;
    return FALSE;
}

HWND FindTopLevel(Search s) {
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK MatchCaptionPart(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<std::pair<std::string, HWND>*>(param);
    char text[512];
    int n = IsWindowVisible(window) ? GetWindowTextA(window, text, sizeof text) : 0;
    if (n <= 0 || std::string(text, n).find(s->first) == std::string::npos) return TRUE;
    s->second = window;
    return FALSE;
}

}  // namespace

std::string TempDriveRoot() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp).substr(0, 2);
}

std::string BesideTestProgram(const std::string& name) {
    char path[MAX_PATH];
    std::string s(path, GetModuleFileNameA(NULL, path, MAX_PATH));
    return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

const std::vector<uint8_t>& StubImage() {
    static std::vector<uint8_t> image = [] {
        std::string bytes = ReadFileBytes(BesideTestProgram("lockbox-stub.exe"));
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }();
    return image;
}

WriterEntry FileEntry(const std::string& name, const std::string& data) {
    WriterEntry e;
    e.name = name;
    e.attributes = FILE_ATTRIBUTE_ARCHIVE;
    e.data = data;
    e.creationTime = e.lastAccessTime = e.lastWriteTime = 132223104000000000ull;
    return e;
}

WriterEntry TimedFile(const std::string& name, const std::string& data, uint32_t attributes) {
    WriterEntry e = FileEntry(name, data);
    e.attributes = attributes;
    e.creationTime = 130000000000000000ull;    // 2012
    e.lastAccessTime = 131000000000000000ull;  // 2016
    e.lastWriteTime = 132000000000000000ull;   // 2019
    return e;
}

WriterEntry DirEntry(const std::string& name) {
    WriterEntry e = FileEntry(name, "");
    e.attributes = FILE_ATTRIBUTE_DIRECTORY;
    return e;
}

ArchiveSettings BasicSettings(const std::string& title, const std::string& password) {
    ArchiveSettings s;
    s.title = title;
    s.password.assign(password.begin(), password.end());
    return s;
}

std::string MakeArchive(const ArchiveSettings& settings, const std::vector<WriterEntry>& entries,
                        const std::string& path) {
    if (StubImage().empty()) return "lockbox-stub.exe not found beside the test program";
    WriteResult r = WriteArchive(StubImage(), settings, entries, path);
    return r.ok ? std::string() : r.error;
}

std::map<std::string, std::string> ReadTree(const std::string& root) {
    std::map<std::string, std::string> tree;
    ReadTreeInto(root, "", &tree);
    return tree;
}

namespace {
std::string QuotedLine(const std::string& exe, const std::string& arguments) {
    std::string line = "\"" + exe + "\"";
    if (!arguments.empty()) line += " " + arguments;
    return line;
}
}  // namespace

StubProcess::StubProcess(const std::string& exe, const std::string& arguments,
                         const std::string& directory)
    : StubProcess(exe, WholeLine{QuotedLine(exe, arguments)}, directory) {}

StubProcess::StubProcess(const std::string& exe, const WholeLine& line, const std::string& directory) {
    std::vector<char> buffer(line.text.begin(), line.text.end());
    buffer.push_back('\0');
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (CreateProcessA(exe.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL,
                       directory.c_str(), &si, &pi)) {
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
    }
}

StubProcess::~StubProcess() {
    if (process_ == NULL) return;
    if (running()) {
        TerminateProcess(process_, KILLED);
        WaitForSingleObject(process_, WAIT_MS);
    }
    CloseHandle(process_);
}

bool StubProcess::running() const {
    return process_ != NULL && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD StubProcess::WaitForExit(DWORD ms) {
    if (process_ == NULL) return KILLED;
    if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) {
        TerminateProcess(process_, KILLED);
        WaitForSingleObject(process_, WAIT_MS);
        return KILLED;
    }
    DWORD code = KILLED;
    GetExitCodeProcess(process_, &code);
    return code;
}

int RunStub(const std::string& exe, const std::string& arguments, const std::string& directory, DWORD ms) {
    StubProcess stub(exe, arguments, directory);
    return static_cast<int>(stub.WaitForExit(ms));
}

int RunStub(const std::string& exe, const StubProcess::WholeLine& line, const std::string& directory) {
    StubProcess stub(exe, line, directory);
    return static_cast<int>(stub.WaitForExit());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitForFile(const std::string& path, DWORD ms) {
    return WaitUntil(ms, [&] { return Exists(path); });
}

bool WaitGone(HWND window, DWORD ms) {
    return WaitUntil(ms, [&] { return !IsWindow(window); });
}

HWND FindMainWindow(DWORD pid) {
    if (pid == 0) return NULL;
    return FindTopLevel(Search{pid, "LockboxSFX", NULL, true, false, nullptr, NULL});
}

HWND WaitForMainWindow(DWORD pid, DWORD ms) {
    if (pid == 0) return NULL;  // not started; 0 would match every process
    return WaitUntil(ms, [&] { return FindTopLevel(Search{pid, "LockboxSFX", NULL, true, true, nullptr, NULL}); });
}

HWND WaitForDialog(DWORD pid, HWND owner, DWORD ms, const char* caption) {
    if (pid == 0) return NULL;
    return WaitUntil(ms, [&] { return FindTopLevel(Search{pid, "#32770", owner, false, true, caption, NULL}); });
}

HWND WaitForAnyWindow(const char* className, const char* caption, DWORD ms) {
    return WaitUntil(ms, [&] { return FindTopLevel(Search{0, className, NULL, true, true, caption, NULL}); });
}

HWND WaitForCaptionPart(const std::string& part, DWORD ms) {
    return WaitUntil(ms, [&] {
        std::pair<std::string, HWND> search(part, NULL);
        EnumWindows(MatchCaptionPart, reinterpret_cast<LPARAM>(&search));
        return search.second;
    });
}

std::string TextOf(HWND window) {
    char text[1024];
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return "<no answer>";
    return std::string(text, copied);
}

std::string ClassOf(HWND window) {
    char name[256];
    int n = GetClassNameA(window, name, sizeof name);
    return std::string(name, n > 0 ? n : 0);
}

std::string MessageText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != "Static") continue;
        std::string text = TextOf(child);
        if (!text.empty()) return text;
    }
    return std::string();
}

char MessageIconColour(HWND box) {
    HWND icon = NULL;
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child))
            icon = child;
    }
    if (icon == NULL) return '?';
    RECT r;
    GetWindowRect(icon, &r);
    // The box may not be painted yet: look again for a while.
    for (int attempt = 0; attempt < 40; ++attempt) {
        int red = 0, blue = 0;
        HDC screen = GetDC(NULL);
        for (int y = r.top; y < r.bottom; y += 2) {
            for (int x = r.left; x < r.right; x += 2) {
                COLORREF c = GetPixel(screen, x, y);
                int R = GetRValue(c), G = GetGValue(c), B = GetBValue(c);
                if (R > 150 && G < 110 && B < 110) ++red;
                if (B > 150 && R < 130 && B > G + 20) ++blue;
            }
        }
        ReleaseDC(NULL, screen);
        if (red > 20 && red > 3 * blue) return 'r';
        if (blue > 20 && blue > 3 * red) return 'b';
        Sleep(50);
    }
    return '?';
}

void Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void SetText(HWND control, const std::string& text) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
}

void PressKey(HWND window, UINT key) {
    UINT scan = MapVirtualKeyA(key, 0);
    PostMessageA(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

bool ChooseFolder(const StubProcess& stub, HWND chooser, const std::string& folder) {
    // The path must live in the chooser's process.
    void* remote = VirtualAllocEx(stub.handle(), NULL, folder.size() + 1, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (remote == NULL) return false;
    SIZE_T written = 0;
    bool ok = WriteProcessMemory(stub.handle(), remote, folder.c_str(), folder.size() + 1, &written) &&
              written == folder.size() + 1;
    DWORD_PTR answer = 0;
    ok = ok && SendMessageTimeoutA(chooser, WM_USER + 102 /* BFFM_SETSELECTIONA */, TRUE,
                                   reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000, &answer);
    // The dialog gives no usable answer to the message; its edit field shows
    // the selected folder's name. OK with any other selection would restore
    // the files somewhere else (the desktop), so cancel instead.
    std::string leaf = folder.substr(folder.find_last_of('\\') + 1);
    std::string shown;
    for (HWND child = GetWindow(chooser, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "Edit") shown = TextOf(child);
    }
    ok = ok && lstrcmpiA(shown.c_str(), leaf.c_str()) == 0;
    Click(chooser, ok ? IDOK : IDCANCEL);
    // The memory stays with the stub, which ends soon after.
    return ok;
}

RECT WindowRect(HWND window) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(window, &r);
    return r;
}

SIZE ClientSize(HWND window) {
    RECT r = {0, 0, 0, 0};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT ChildRect(HWND parent, int id) {
    RECT r = WindowRect(GetDlgItem(parent, id));
    MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

Stamp StampOf(const std::string& path) {
    Stamp s;
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return s;
    FILETIME c, a, w;
    if (GetFileTime(h, &c, &a, &w)) {
        auto join = [](const FILETIME& t) { return (uint64_t)t.dwHighDateTime << 32 | t.dwLowDateTime; };
        s.creation = join(c);
        s.lastAccess = join(a);
        s.lastWrite = join(w);
    }
    CloseHandle(h);
    s.attributes = GetFileAttributesA(path.c_str());
    return s;
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

// Names are encrypted as one piece with a fresh key.
static void EncryptName(const std::string& password, const std::string& name, char* out) {
    std::u16string units(password.begin(), password.end());
    CipherContext ctx;
    DeriveStreamKey(&ctx, units.empty() ? nullptr : units.c_str());
    EncryptStream(&ctx, name.data(), out, static_cast<uint32_t>(name.size()));
}

bool PatchRunAfterName(const std::string& path, const std::string& password, const std::string& name) {
    std::string bytes = ReadFileBytes(path);
    const uint8_t* image = reinterpret_cast<const uint8_t*>(bytes.data());
    int64_t payload = LocatePayloadInImage(image, bytes.size());
    if (payload < 0 || bytes.size() < (uint64_t)payload + HDR_FIXED_SIZE) return false;
    uint32_t titleLength = LoadLE32(image + payload + HDR_TITLE_LEN);
    uint64_t lengthAt = payload + HDR_TITLE + titleLength + CHECK_BLOCK_SIZE;
    if (bytes.size() < lengthAt + 2 || LoadLE16(image + lengthAt) != name.size()) return false;

    EncryptName(password, name, &bytes[lengthAt + 2]);
    return WriteFileBytes(path, bytes);
}

bool PatchLastDirectoryName(const std::string& path, const std::string& password, const std::string& name) {
    std::string bytes = ReadFileBytes(path);
    size_t at = bytes.size() - name.size();
    if (bytes.size() < name.size() + 2 + ENTRY_HEADER_SIZE ||
        LoadLE16(reinterpret_cast<const uint8_t*>(&bytes[at - 2])) != name.size() ||
        !(LoadLE32(reinterpret_cast<const uint8_t*>(&bytes[at - 2 - ENTRY_HEADER_SIZE + ENT_ATTRIBUTES])) &
          ATTR_DIRECTORY))
        return false;
    EncryptName(password, name, &bytes[at]);
    return WriteFileBytes(path, bytes);
}

std::string MarkerScript(const std::string& marker) {
    return "@echo ran> \"" + marker + "\"\r\n";
}

}  // namespace window_test
