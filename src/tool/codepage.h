// Text conversions of the tool: the user's UTF-8 to the archive's narrow
// code page (names, title) and to UTF-16 (the password), and back for
// display. Code pages known: 1252 (Western, the default), 437 and 850
// (DOS). Bytes 0x00-0x7F are ASCII in all three.
#pragma once
#include <string>

// True for a code page this tool has a table for.
bool IsKnownCodepage(int codepage);

// Converts UTF-8 `text` to bytes of `codepage` into `out`. False when the
// text is not valid UTF-8 or holds a character the code page lacks; then
// `out` is unspecified.
bool Utf8ToCodepage(const std::string& text, int codepage, std::string* out);

// Converts bytes of `codepage` to UTF-8. Bytes the code page leaves
// undefined become U+FFFD.
std::string CodepageToUtf8(const std::string& bytes, int codepage);

// Converts UTF-8 to UTF-16 code units (characters above U+FFFF become
// surrogate pairs). False when the text is not valid UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* out);

// `text` (UTF-8) with the upper-case letters of the known code pages
// lowered, as Windows compares names: "Ä.txt" and "ä.txt" give one result.
// Text that is not UTF-8 comes back as it is.
std::string CaseFolded(const std::string& text);

// True when every byte is printable ASCII (0x20-0x7E).
bool IsPrintableAscii(const std::string& text);
