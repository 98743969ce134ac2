// Text conversions of the tool: the user's UTF-8 to the archive's narrow
// code page (names, title) and to UTF-16 (the password), and back for
// display. Code pages known: Windows' single-byte ANSI code pages (1252,
// the default, 1250, 1251, 1253-1258, 874) and the DOS ones 437 and 850;
// the system's converter says what each byte means. Bytes 0x00-0x7F are
// ASCII in all of them. Double-byte code pages are not offered: their
// second bytes can be a backslash, which the extractor would take as a
// folder separator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// True for a code page listed above.
bool IsKnownCodepage(int codepage);

// The known code pages as a list for messages: "1252, 1250, ...".
std::string KnownCodepages();

// Converts UTF-8 `text` to bytes of `codepage` into `out`. False when the
// text is not valid UTF-8 or holds a character the code page lacks; then
// `out` is unspecified.
bool Utf8ToCodepage(const std::string& text, int codepage, std::string* out);

// Converts bytes of `codepage` to UTF-8. Bytes the code page leaves
// undefined become U+FFFD.
std::string CodepageToUtf8(const std::string& bytes, int codepage);

// Decodes the UTF-8 character at byte `at` (< text.size()) into `cp` and
// returns its length in bytes; 0 when the bytes there are not strict UTF-8
// (an overlong form, a surrogate, beyond U+10FFFF or cut short).
size_t Utf8CharAt(const std::string& text, size_t at, uint32_t* cp);

// Converts UTF-8 to UTF-16 code units (characters above U+FFFF become
// surrogate pairs). False when the text is not valid UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* out);

// `text` (UTF-8) with its upper-case letters lowered (the system's simple
// case mapping), as Windows compares names: "Ä.txt" and "ä.txt", "Д" and
// "д" give one result.
// Text that is not UTF-8 comes back as it is.
std::string CaseFolded(const std::string& text);
