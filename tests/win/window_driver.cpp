// Helpers that drive the extractor stub from outside its process.
#include "window_driver.h"

#include "crypto/cipher.h"
#include "payload/reader.h"
#include "support/sandbox.h"

namespace window_test {

namespace {

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

Tree ReadTree(const std::string& root) {
    Tree tree;
    for (const auto& item : sandbox::Snapshot(root)) {
        std::string name = item.first;
        std::replace(name.begin(), name.end(), '/', '\\');
        tree[name] = item.second.directory ? "<dir>" : item.second.content;
    }
    return tree;
}

StubProcess::StubProcess(const std::string& exe, const std::string& arguments, const std::string& directory)
    : StubProcess(exe, WholeLine{"\"" + exe + (arguments.empty() ? "\"" : "\" " + arguments)}, directory) {}

StubProcess::StubProcess(const std::string& exe, const WholeLine& line, const std::string& directory) {
    std::vector<char> buffer(line.text.begin(), line.text.end());
    buffer.push_back('\0');
    STARTUPINFOA si = {};
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
    WaitForExit(0);  // kills it if it still runs
    CloseHandle(process_);
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
    // The message has no usable answer, but the edit field shows the selected folder's
    // name; OK with any other selection would restore elsewhere (the desktop): cancel.
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

}  // namespace window_test
