// Text the tool shows: formatted as printf does, written through WriteText
// (tool/system.h), so that UTF-8 names reach a Windows console intact.
#pragma once
#include <cstdio>

#ifdef __MINGW32__
#define PRINT_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define PRINT_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

// Formats as std::fprintf does and writes the result to `stream`, with
// every control character but newline and tab, and every byte that is not
// UTF-8, shown as '?': names and paths in the arguments can never steer
// the terminal. A carriage return or an escape sequence of the tool's own
// goes straight to the stream instead.
void Print(std::FILE* stream, const char* format, ...) PRINT_FORMAT(2, 3);
