// The system's own words for a failure, as cp and tar add them to their
// messages ("No such file or directory", "Permission denied").
#pragma once
#include <string>
#include <system_error>

// `what` and, when `code` (an errno value) is set, ": " and its text.
inline std::string WithErrnoText(const std::string& what, int code) {
    return code ? what + ": " + std::generic_category().message(code) : what;
}
