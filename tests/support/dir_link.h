// Symbolic links to directories, planted where the code under test must not follow one.
#pragma once
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32
inline bool IsReparsePoint(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}
#endif

// Makes `link` a symbolic link to the directory `target` (native paths); false when the system refuses.
inline bool MakeDirectoryLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
    // 2: SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE (developer mode).
    CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 2);
    if (IsReparsePoint(link)) return true;
    // Wine says it made the link but makes none. It does run Unix programs,
    // and shows a Unix symbolic link as a reparse point.
    typedef char*(CDECL * UnixName)(LPCWSTR);
    UnixName unixName =
        (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!unixName) return false;
    auto unix = [&](const std::string& path) {
        std::wstring wide(path.begin(), path.end());  // ASCII test paths
        char* name = unixName(wide.c_str());
        std::string out = name ? name : "";
        HeapFree(GetProcessHeap(), 0, name);
        return out;
    };
    std::string line = "Z:\\bin\\ln -s \"" + unix(target) + "\" \"" + unix(link) + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return false;
    CloseHandle(pi.hProcess);  // Wine cannot wait for a Unix process: poll
    CloseHandle(pi.hThread);
    for (int i = 0; i < 100 && !IsReparsePoint(link); i++) Sleep(50);
    return IsReparsePoint(link);
#else
    return symlink(target.c_str(), link.c_str()) == 0;
#endif
}
