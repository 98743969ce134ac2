#include "tool/error.h"

#include <cstdio>

#include "tool/console.h"

static std::string Line(const std::string& what, const std::string& todo) {
    return todo.empty() ? what : what + " (" + todo + ")";
}

void Fail(const std::string& what, const std::string& todo) {
    throw ToolError(EXIT_FAILED, Line(what, todo));
}

void UsageFail(const std::string& what, const std::string& todo) {
    throw ToolError(EXIT_USAGE, Line(what, todo));
}

void Warn(const std::string& text) {
    Print(stderr, "lockbox: warning: %s\n", text.c_str());
}
