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

// Windows opens a device, not a file, for a component whose part before
// the first dot, trailing spaces dropped, is a reserved device name: "NUL",
// "con.txt", "Com1 .log". Restoring such an entry would write to the device
// or wait for it forever. Letters compare without case: c & ~0x20 is 'C'
// for 'C' and 'c' only.
bool IsDeviceName(const char* begin, const char* end) {
    const char* stop = begin;
    while (stop < end && *stop != '.') ++stop;
    while (stop > begin && stop[-1] == ' ') --stop;
    long length = stop - begin;
    if (length < 3 || length > 7) return false;
    uint32_t word = 0;  // the first three characters, folded, in one word
    for (int i = 0; i < 3; i++) word = word << 8 | (uint8_t)(begin[i] & ~0x20);
    const uint32_t CON = 0x434F4E, PRN = 0x50524E, AUX = 0x415558, NUL = 0x4E554C,
                   COM = 0x434F4D, LPT = 0x4C5054;
    if (length == 3) return word == CON || word == PRN || word == AUX || word == NUL;
    if (length == 4) return (word == COM || word == LPT) && begin[3] >= '1' && begin[3] <= '9';
    if (word != CON) return false;
    const char* rest = length == 6 ? "IN$" : "OUT$";  // CONIN$, CONOUT$
    for (const char* p = begin + 3; p < stop; ++p, ++rest)
        if (*rest == 0 || (*p != *rest && (*p & ~0x20) != *rest)) return false;
    return *rest == 0;
}

}  // namespace

bool IsSafeName(const char* name) {
    if (!name || name[0] == 0 || IsSeparator(name[0])) return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == ':') return false;  // drive letters and alternate streams
        if (*p == 0 || IsSeparator(*p)) {
            if (ClimbsUp(component, p) || IsDeviceName(component, p)) return false;
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
    if (at == 0 || path[at - 1] != PLATFORM_SEPARATOR) path[at++] = PLATFORM_SEPARATOR;
    for (size_t i = 0; i <= nameLength; i++)
        path[at + i] = IsSeparator(name[i]) ? PLATFORM_SEPARATOR : name[i];
    return path;
}

uint32_t FindLinkInPath(char* path, uint32_t from) {
    for (char* p = path + from;; ++p) {
        char c = *p;
        if (c == 0 || c == '\\' || c == '/') {
            *p = 0;  // the path up to this component, for a moment
            bool link = p > path + from && PlatformIsLink(path);
            *p = c;
            if (link) return (uint32_t)(p - path);
            if (c == 0) return 0;
        }
    }
}
