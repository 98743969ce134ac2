#include "platform/wide_path.h"

#include <windows.h>

std::wstring Utf8ToWide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring wide((size_t)(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], n);
    return wide;
}

std::string WideToUtf8(const wchar_t* wide, size_t length) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, (int)length, nullptr, 0, nullptr, nullptr);
    std::string utf8((size_t)(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, (int)length, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

static bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring WidePath(const std::string& utf8) {
    std::wstring wide = Utf8ToWide(utf8);
    // CreateDirectoryW stops 12 characters short of MAX_PATH: room for an 8.3 name.
    const size_t limit = MAX_PATH - 12;
    bool absolute = (wide.size() >= 3 && wide[1] == L':' && IsSlash(wide[2])) ||
                    (wide.size() >= 2 && IsSlash(wide[0]) && IsSlash(wide[1]));
    if ((absolute && wide.size() < limit) || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    // A short relative path may still be long once the current folder is
    // put in front of it.
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return wide;
    full.resize(n);
    if (full.size() < limit) return wide;
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
