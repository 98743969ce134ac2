#include "tool/codepage.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>
#include "tool/system.h"

// Windows' single-byte ANSI code pages, and the two DOS ones archives made
// before may record.
static const int SINGLE_BYTE_CODEPAGES[] = {1252, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 437, 850};

// The upper half (bytes 0x80-0xFF) of a code page as code points, 0 where a
// byte is undefined, read from the system's converter once. Bytes the
// system maps to C1 control characters count as undefined, as on the
// other platform.
static const uint32_t* UpperHalf(int codepage) {
    static std::mutex lock;
    static std::map<int, std::array<uint32_t, 128>> tables;
    if (!IsKnownCodepage(codepage)) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    auto found = tables.find(codepage);
    if (found != tables.end()) return found->second.data();
    std::array<uint32_t, 128>& table = tables[codepage];
    for (int b = 0; b < 128; b++) {
        uint32_t cp = 0;
        if (!SystemCodepageChar(codepage, (uint8_t)(0x80 + b), &cp) || (cp >= 0x80 && cp <= 0x9F)) cp = 0;
        table[b] = cp;
    }
    return table.data();
}

bool IsKnownCodepage(int codepage) {
    for (int known : SINGLE_BYTE_CODEPAGES)
        if (known == codepage) return true;
    return false;
}

std::string KnownCodepages() {
    std::string list;
    for (int known : SINGLE_BYTE_CODEPAGES) list += (list.empty() ? "" : ", ") + std::to_string(known);
    return list;
}

size_t Utf8CharAt(const std::string& text, size_t at, uint32_t* cp) {
    uint8_t b = (uint8_t)text[at];
    size_t extra;
    if (b < 0x80) { *cp = b; extra = 0; }
    else if ((b & 0xE0) == 0xC0) { *cp = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { *cp = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { *cp = b & 0x07; extra = 3; }
    else return 0;
    if (extra > text.size() - at - 1) return 0;
    for (size_t k = 1; k <= extra; k++) {
        uint8_t c = (uint8_t)text[at + k];
        if ((c & 0xC0) != 0x80) return 0;
        *cp = (*cp << 6) | (c & 0x3F);
    }
    static const uint32_t SMALLEST_FOR_LENGTH[4] = {0, 0x80, 0x800, 0x10000};
    if (*cp < SMALLEST_FOR_LENGTH[extra] || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
    return extra + 1;
}

// All of `text` as code points; false where it is not strict UTF-8.
static bool DecodeUtf8(const std::string& text, std::vector<uint32_t>* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        size_t length = Utf8CharAt(text, i, &cp);
        if (!length) return false;
        out->push_back(cp);
        i += length;
    }
    return true;
}

static void AppendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back((char)cp);
    } else if (cp < 0x800) {
        out->push_back((char)(0xC0 | (cp >> 6)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back((char)(0xE0 | (cp >> 12)));
        out->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    } else {
        out->push_back((char)(0xF0 | (cp >> 18)));
        out->push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    }
}

bool Utf8ToCodepage(const std::string& text, int codepage, std::string* out) {
    const uint32_t* upper = UpperHalf(codepage);
    std::vector<uint32_t> cps;
    if (!upper || !DecodeUtf8(text, &cps)) return false;
    out->clear();
    for (uint32_t cp : cps) {
        if (cp < 0x80) {
            out->push_back((char)cp);
            continue;
        }
        int found = -1;
        for (int b = 0; b < 128 && found < 0; b++)
            if (upper[b] == cp) found = b;
        if (found < 0) return false;
        out->push_back((char)(0x80 + found));
    }
    return true;
}

std::string CodepageToUtf8(const std::string& bytes, int codepage) {
    const uint32_t* upper = UpperHalf(codepage);
    std::string out;
    for (char c : bytes) {
        uint8_t b = (uint8_t)c;
        uint32_t cp = b < 0x80 ? b : (upper && upper[b - 0x80] ? upper[b - 0x80] : 0xFFFD);
        AppendUtf8(cp, &out);
    }
    return out;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* out) {
    std::vector<uint32_t> cps;
    if (!DecodeUtf8(text, &cps)) return false;
    out->clear();
    for (uint32_t cp : cps) {
        if (cp < 0x10000) {
            out->push_back((char16_t)cp);
        } else {
            cp -= 0x10000;
            out->push_back((char16_t)(0xD800 + (cp >> 10)));
            out->push_back((char16_t)(0xDC00 + (cp & 0x3FF)));
        }
    }
    return true;
}

std::string CaseFolded(const std::string& text) {
    std::vector<uint32_t> cps;
    if (!DecodeUtf8(text, &cps)) return text;
    std::string out;
    for (uint32_t cp : cps) AppendUtf8(SystemLowerCase(cp), &out);
    return out;
}
