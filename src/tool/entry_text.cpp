#include "tool/entry_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tool/codepage.h"
#include "platform/platform.h"

bool SplitFileTime(uint64_t fileTime, std::tm* parts, uint32_t* fraction) {
    const uint64_t EPOCH_DELTA = 116444736000000000ULL;
    // Unsigned arithmetic throughout: a FILETIME may lie centuries away.
    bool after = fileTime >= EPOCH_DELTA;
    uint64_t distance = after ? fileTime - EPOCH_DELTA : EPOCH_DELTA - fileTime;
    int64_t seconds = after ? (int64_t)(distance / 10000000ULL) : -(int64_t)((distance + 9999999) / 10000000ULL);
    *fraction = (uint32_t)(after ? distance % 10000000ULL : (10000000ULL - distance % 10000000ULL) % 10000000ULL);
    std::time_t t = (std::time_t)seconds;
#ifdef _WIN32
    return gmtime_s(parts, &t) == 0;
#else
    return gmtime_r(&t, parts) != nullptr;
#endif
}

std::string FormatFileTime(uint64_t fileTime) {
    if (fileTime == 0) return "-";
    std::tm parts{};
    uint32_t fraction;
    if (!SplitFileTime(fileTime, &parts, &fraction)) return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string AttributeLetters(uint32_t attributes) {
    std::string s = "-----";
    if (attributes & ATTR_DIRECTORY) s[0] = 'D';
    if (attributes & ATTR_READONLY) s[1] = 'R';
    if (attributes & ATTR_HIDDEN) s[2] = 'H';
    if (attributes & ATTR_SYSTEM) s[3] = 'S';
    if (attributes & ATTR_ARCHIVE) s[4] = 'A';
    return s;
}

std::string DisplayText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        uint32_t cp = 0;
        size_t length = Utf8CharAt(text, at, &cp);
        bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
        if (length && !control) shown.append(text, at, length);
        else shown += '?';
        at += length ? length : 1;
    }
    return shown;
}

std::string DisplayText(const std::string& stored, int codepage) {
    return DisplayText(CodepageToUtf8(stored, codepage));
}

std::string WithPlatformSeparators(std::string name) {
    std::replace(name.begin(), name.end(), '\\', PLATFORM_SEPARATOR);
    return name;
}

std::string ShownName(const std::string& stored, int codepage) {
    return WithPlatformSeparators(DisplayText(stored, codepage));
}

std::string StoredName(const EntryInfo& info) {
    size_t limit = info.nameLength < sizeof info.name ? info.nameLength : sizeof info.name;
    const void* nul = std::memchr(info.name, 0, limit);
    return std::string(info.name, nul ? (size_t)((const char*)nul - info.name) : limit);
}

std::string EntryLabel(int index, const EntryInfo& info, int codepage) {
    std::string label = "entry " + std::to_string(index);
    std::string name = StoredName(info);
    if (!name.empty()) label += " '" + ShownName(name, codepage) + "'";
    return label;
}

// An empty file's zlib stream is at most 11 bytes (level 0); a longer
// stream with a recorded size of 0 comes from a writer that did not record it.
static std::string OriginalSize(const EntryInfo& info) {
    if (info.originalSize == 0 && info.storedSize > 11) return "?";
    return std::to_string(info.originalSize);
}

std::string ListingRow(const EntryInfo& info, int codepage) {
    bool dir = (info.attributes & ATTR_DIRECTORY) != 0;
    char row[128];
    std::snprintf(row, sizeof row, "%-6s  %-5s  %12s  %12s  %-19s  ", dir ? "folder" : "file",
                  AttributeLetters(info.attributes).c_str(), dir ? "-" : OriginalSize(info).c_str(),
                  dir ? "-" : std::to_string(info.storedSize).c_str(), FormatFileTime(info.times.lastWrite).c_str());
    return row + ShownName(StoredName(info), codepage);
}
