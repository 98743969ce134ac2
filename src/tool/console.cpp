#include "tool/console.h"

#include <cstdarg>
#include <string>

#include "tool/system.h"

void Print(std::FILE* stream, const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0) std::vsnprintf(&text[0], (size_t)n + 1, format, again);
    va_end(again);
    WriteText(stream, text);
}
