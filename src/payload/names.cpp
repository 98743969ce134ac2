// Entry names and the paths built from them.
#include <string.h>

#include "payload/entry_internal.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A component of only dots and spaces with two dots or more climbs up a
// level: Windows drops trailing dots and spaces, so "..." and ".. " act as "..".
bool ClimbsUp(const char* begin, const char* end) {
    int dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.') {
            dots++;
        } else if (*p != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

}  // namespace

bool IsSafeName(const char* name) {
    if (!name || name[0] == 0 || IsSeparator(name[0])) return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == ':') return false;  // drive letters and alternate streams
        if (*p == 0 || IsSeparator(*p)) {
            if (ClimbsUp(component, p)) return false;
            if (*p == 0) return true;
            component = p + 1;
        }
    }
}

char* BuildEntryPath(const char* destination, const char* name) {
    size_t destinationLength = strlen(destination);
    size_t nameLength = strlen(name);
    char* path = (char*)PlatformAlloc(destinationLength + 1 + nameLength + 1);
    if (!path) return nullptr;
    memcpy(path, destination, destinationLength);
    size_t at = destinationLength;
    if (at == 0 || path[at - 1] != '\\') path[at++] = '\\';
    memcpy(path + at, name, nameLength + 1);
    return path;
}
