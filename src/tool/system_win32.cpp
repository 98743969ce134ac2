#include "tool/system.h"

#include <cstdio>
#include <io.h>
#include <iostream>
#include <system_error>
#include <thread>
#include <windows.h>
#include <bcrypt.h>

#include "platform/wide_path.h"

namespace {
void (*g_InterruptCleanup)() = nullptr;

// Ends the process itself, with the status Windows gives a program ended by
// Ctrl-C: handing the event on ended it with status 0 under Wine, which a
// script would take for success.
BOOL WINAPI OnConsoleEvent(DWORD) {
    g_InterruptCleanup();
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
}  // namespace

void OnInterrupt(void (*cleanup)()) {
    g_InterruptCleanup = cleanup;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StdinIsTerminal() { return _isatty(0) != 0; }
bool StderrIsTerminal() { return _isatty(2) != 0; }

// Reads a console line as UTF-16 and hands it on as UTF-8; falls back to
// the C runtime when stdin is not a console.
static bool ReadLineFromStdin(std::string* line) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    line->clear();
    if (GetConsoleMode(in, &mode)) {
        std::wstring w;
        wchar_t c;
        DWORD got;
        while (ReadConsoleW(in, &c, 1, &got, nullptr) && got == 1) {
            if (c == L'\n') {
                *line = WideToUtf8(w.data(), w.size());
                return true;
            }
            if (c != L'\r') w.push_back(c);
        }
        *line = WideToUtf8(w.data(), w.size());
        return !w.empty();
    }
    if (!std::getline(std::cin, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

bool ReadSecretLine(const std::string& prompt, std::string* line) {
    WriteText(stderr, prompt);
    std::fflush(stderr);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    bool restore = GetConsoleMode(in, &mode) != 0;
    if (restore) SetConsoleMode(in, mode & ~(DWORD)ENABLE_ECHO_INPUT);
    bool ok = ReadLineFromStdin(line);
    if (restore) {
        SetConsoleMode(in, mode);
        std::fputs("\n", stderr);
    }
    return ok;
}

bool ReadAnswerLine(const std::string& prompt, std::string* line) {
    WriteText(stderr, prompt);
    std::fflush(stderr);
    return ReadLineFromStdin(line);
}

static uint64_t Ticks(const FILETIME& t) {
    return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime;
}

std::string WhyCannotCreate(const std::string& path) {
    std::string folder = path;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    for (;;) {
        size_t slash = folder.find_last_of("\\/");
        if (slash == std::string::npos) folder = ".";
        else folder.erase(slash == 0 || folder[slash - 1] == ':' ? slash + 1 : slash);
        attributes = GetFileAttributesW(WidePath(folder).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES || folder == "." || slash == std::string::npos ||
            folder.size() == slash + 1)
            break;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::system_category().message((int)GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::system_category().message(ERROR_DIRECTORY);
    // Windows tells whether a folder takes new files only by trying: a
    // probe that is gone again when its handle closes.
    std::string probe = folder + (folder.back() == '\\' || folder.back() == '/' ? "" : "\\") + "lockbox-probe-" +
                        std::to_string(GetCurrentProcessId()) + ".tmp";
    HANDLE file = CreateFileW(WidePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::system_category().message((int)GetLastError());
    CloseHandle(file);
    return std::string();
}

bool ExaminePath(const std::string& path, PathInfo* info, std::string* error) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
        *error = std::system_category().message((int)GetLastError());
        return false;
    }
    info->isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (info->isLink) {
        // What a symbolic link or junction leads to, as POSIX stat() tells.
        HANDLE target = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION followed;
        bool ok = target != INVALID_HANDLE_VALUE && GetFileInformationByHandle(target, &followed);
        DWORD code = GetLastError();
        if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
        if (!ok) {
            *error = "a broken link (" + std::system_category().message((int)code) + ")";
            return false;
        }
        data.dwFileAttributes = followed.dwFileAttributes;
        data.nFileSizeHigh = followed.nFileSizeHigh;
        data.nFileSizeLow = followed.nFileSizeLow;
        data.ftCreationTime = followed.ftCreationTime;
        data.ftLastAccessTime = followed.ftLastAccessTime;
        data.ftLastWriteTime = followed.ftLastWriteTime;
    }
    info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->isRegular = !info->isDirectory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    info->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info->size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    info->creationTime = Ticks(data.ftCreationTime);
    info->lastAccessTime = Ticks(data.ftLastAccessTime);
    info->lastWriteTime = Ticks(data.ftLastWriteTime);
    return true;
}

void WriteText(std::FILE* stream, const std::string& text) {
    HANDLE handle = (HANDLE)_get_osfhandle(_fileno(stream));
    DWORD mode;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        std::wstring wide = Utf8ToWide(text);
        DWORD written;
        WriteConsoleW(handle, wide.data(), (DWORD)wide.size(), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool ListDirectory(const std::string& path, std::vector<std::string>* names, std::string* error) {
    std::string pattern = path;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(WidePath(pattern + "*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        *error = std::system_category().message((int)GetLastError());
        return false;
    }
    do {
        std::string name = WideToUtf8(found.cFileName, wcslen(found.cFileName));
        if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileW(search, &found));
    DWORD last = GetLastError();
    FindClose(search);
    if (last != ERROR_NO_MORE_FILES) {
        *error = std::system_category().message((int)last);
        return false;
    }
    return true;
}

// The C runtime's argv is in the ANSI code page; the wide command line
// keeps every character.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < n; i++) args.push_back(WideToUtf8(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    return args;
}

bool SystemCodepageChar(int codepage, uint8_t byte, uint32_t* codePoint) {
    char in = (char)byte;
    wchar_t out[4];
    if (MultiByteToWideChar((UINT)codepage, MB_ERR_INVALID_CHARS, &in, 1, out, 4) != 1) return false;
    *codePoint = out[0];
    return true;
}

uint32_t SystemLowerCase(uint32_t codePoint) {
    if (codePoint > 0xFFFF) return codePoint;
    wchar_t c = (wchar_t)codePoint, lower = 0;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, &c, 1, &lower, 1) != 1) return codePoint;
    return lower;
}

void MapLargeBuffers() {}

int HardwareThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : (int)n;
}

uint64_t OpenFileLimit() { return UINT64_MAX; }

// Quotes one argument as the C runtime of the started program splits it.
static std::string QuotedArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

int RunProgram(const std::vector<std::string>& args, std::string* output) {
    output->clear();
    std::string line;
    for (const std::string& a : args) line += (line.empty() ? "" : " ") + QuotedArgument(a);
    std::wstring wideLine = Utf8ToWide(line);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, &wideLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)status;
}

bool SystemRandom(uint8_t* out, size_t size) {
    return size <= 0xFFFFFFFF &&
           BCryptGenRandom(NULL, out, (ULONG)size, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}
