// Entry names and the paths built from them.
#include <string.h>

#include "payload/entry_internal.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and spaces, so a component of only those
// names a folder already on the path: with two dots or more ("..", "...",
// ".. ") it climbs up a level; as the last component (".", "a\\. ") it is
// the folder the entry lies in, whose times a directory entry would reset.
bool NamesAFolderOnThePath(const char* begin, const char* end, bool last) {
    int dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.') {
            dots++;
        } else if (*p != ' ') {
            return false;
        }
    }
    return dots >= 2 || (last && end > begin);
}

// Characters no Windows file name holds: control characters and
// " * : < > ? | (':' also marks drives and alternate streams). Those from
// 0x20 to 0x3F are bits of one mask.
bool IsForbidden(char c) {
    const uint32_t FORBIDDEN_MASK = 1u << ('"' - 0x20) | 1u << ('*' - 0x20) | 1u << (':' - 0x20) |
                           1u << ('<' - 0x20) | 1u << ('>' - 0x20) | 1u << ('?' - 0x20);
    unsigned u = (unsigned char)c;
    return u < 0x20 || (u < 0x40 && (FORBIDDEN_MASK >> (u - 0x20) & 1)) || u == '|';
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

bool IsForbiddenNameCharacter(char c) { return IsForbidden(c); }

bool IsSafeName(const char* name) {
    if (!name || name[0] == 0 || IsSeparator(name[0])) return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == 0 || IsSeparator(*p)) {
            if (NamesAFolderOnThePath(component, p, *p == 0) || IsDeviceName(component, p)) return false;
            if (*p == 0) return true;
            component = p + 1;
        } else if (IsForbidden(*p)) {
            return false;
        }
    }
}

char* BuildEntryPath(const Reader* reader, const char* destination, const char* name) {
    char* converted = nullptr;
    if (reader->convertName && !(name = converted = reader->convertName(reader->conversionUser, name)))
        return nullptr;
    size_t destinationLength = strlen(destination);
    size_t nameLength = strlen(name);
    char* path = (char*)PlatformAlloc(destinationLength + 1 + nameLength + 1);
    if (path) {
        memcpy(path, destination, destinationLength);
        size_t at = destinationLength;
        if (at == 0 || path[at - 1] != PLATFORM_SEPARATOR) path[at++] = PLATFORM_SEPARATOR;
        memcpy(path + at, name, nameLength + 1);
        if (PLATFORM_SEPARATOR == '/')
            for (char* p = path + at; *p; ++p)
                if (*p == '\\') *p = '/';
    }
    PlatformFree(converted);
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
