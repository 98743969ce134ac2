#include "tool/error.h"

#include <cstdio>

#include "tool/console.h"
#include "tool/entry_text.h"

// Messages name files, paths and patterns from outside the tool; shown as
// DisplayText shows them, a message stays one printable line whatever a
// name holds (a newline, an escape sequence that retitles the terminal).
static std::string Line(const std::string& what, const std::string& todo) {
    return DisplayText(todo.empty() ? what : what + " (" + todo + ")");
}

void Fail(const std::string& what, const std::string& todo) {
    throw ToolError(EXIT_FAILED, Line(what, todo));
}

void UsageFail(const std::string& what, const std::string& todo) {
    throw ToolError(EXIT_USAGE, Line(what, todo));
}

void Warn(const std::string& text) {
    Print(stderr, "lockbox: warning: %s\n", DisplayText(text).c_str());
}
