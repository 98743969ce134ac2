// How the lockbox tool reports failure: a command throws ToolError and
// main() prints it as one line, "lockbox: <what happened> (<what to do>)",
// and exits with its code.
#pragma once
#include <stdexcept>
#include <string>

// Process exit codes of the tool.
const int EXIT_OK = 0;
const int EXIT_FAILED = 1;
const int EXIT_USAGE = 2;

struct ToolError : std::runtime_error {
    int exitCode;
    ToolError(int code, const std::string& line) : std::runtime_error(line), exitCode(code) {}
};

// A failure of the work itself (exit 1). `what` says what happened, `todo`
// what the user can do about it; `todo` may be empty. The line is shown as
// DisplayText (tool/entry_text.h) shows text, so names in it need no
// escaping of their own; the same holds for UsageFail and Warn.
[[noreturn]] void Fail(const std::string& what, const std::string& todo);

// A command line that cannot be carried out as given (exit 2).
[[noreturn]] void UsageFail(const std::string& what, const std::string& todo);

// Prints "lockbox: warning: <text>" on stderr.
void Warn(const std::string& text);
