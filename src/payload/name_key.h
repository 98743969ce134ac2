// When two stored names are one file on Windows, for the writer's duplicate
// check and for parallel extraction's "same file in flight" check. The
// other rules for names (IsSafeName, IsForbiddenNameCharacter) are the
// reader's, in reader.h.
#pragma once
#include <string>

// `name` with '/' turned into '\\' and ASCII letters into lower case: two
// names with one key name one file on Windows.
inline std::string NameKey(const std::string& name) {
    std::string key = name;
    for (char& c : key) {
        if (c == '/') c = '\\';
        else if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    }
    return key;
}
