// UTF-8 text and paths for the wide Windows API (Windows builds only). The
// Windows tool keeps names and paths in UTF-8, as on Linux, and turns them
// into UTF-16 only at the system call.
#pragma once
#include <string>

// UTF-8 -> UTF-16; invalid sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& utf8);

// UTF-16 -> UTF-8; unpaired surrogates become U+FFFD.
std::string WideToUtf8(const wchar_t* wide, size_t length);

// `utf8` as a path for the wide file functions. A path near MAX_PATH or
// over it (a relative one counted with the current folder in front) is made
// absolute and given the "\\?\" prefix ("\\?\UNC\" for a share), which lifts
// that limit; shorter ones pass as they are.
std::wstring WidePath(const std::string& utf8);
