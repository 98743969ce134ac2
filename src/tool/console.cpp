#include "tool/console.h"

#include <cstdarg>
#include <string>

#include "tool/entry_text.h"
#include "tool/system.h"

// Lines and columns stay; any other control character, wherever in the
// format or its arguments it came from, is shown as DisplayText shows it.
static std::string Printable(const std::string& text) {
    std::string shown;
    size_t from = 0;
    for (size_t at; (at = text.find_first_of("\n\t", from)) != std::string::npos; from = at + 1)
        shown += DisplayText(text.substr(from, at - from)) + text[at];
    return shown + DisplayText(text.substr(from));
}

void Print(std::FILE* stream, const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0) std::vsnprintf(&text[0], (size_t)n + 1, format, again);
    va_end(again);
    WriteText(stream, Printable(text));
}
