// How the tool shows what it reads from an archive: names, times,
// attributes, listing rows and the entry named in a message. Everything
// built here from archive bytes is bounded (a name never beyond its 260
// bytes, whatever length the entry claims) and printable; DisplayText makes
// any other text from outside the tool printable too.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "payload/reader.h"

// A FILETIME as UTC calendar parts and the 100-ns ticks within its second;
// false when the system cannot represent it.
bool SplitFileTime(uint64_t fileTime, std::tm* parts, uint32_t* fraction);

// "2024-05-01 13:45:10" (UTC) for a FILETIME; "-" for 0.
std::string FormatFileTime(uint64_t fileTime);

// Five letters for the attribute bits, '-' where a bit is clear:
// D directory, R read-only, H hidden, S system, A archive.
std::string AttributeLetters(uint32_t attributes);

// UTF-8 text from outside the tool (a file name, a path, a signer's name)
// for a terminal or a log: control characters (U+0000-U+001F, U+007F and
// the C1 range U+0080-U+009F, which terminals obey as commands) and bytes
// that are not UTF-8 shown as '?', everything else as it is. Applying it
// twice changes nothing more.
std::string DisplayText(const std::string& text);

// A stored name or title for the terminal: converted from `codepage` to
// UTF-8, then shown as the function above shows text.
std::string DisplayText(const std::string& stored, int codepage);

// A stored name ('\\' separators, UTF-8) with this platform's separator.
std::string WithPlatformSeparators(std::string name);

// A stored name (or path, '\\' separators) for the tool's own messages,
// prompts and listing: shown as DisplayText shows it, with this platform's
// separator, so that it reads as the path it is restored under.
std::string ShownName(const std::string& stored, int codepage);

// The entry's name as stored: at most nameLength bytes, never past the
// name buffer or its first NUL.
std::string StoredName(const EntryInfo& info);

// "entry N 'name'" for messages; the name only when one was read.
std::string EntryLabel(int index, const EntryInfo& info, int codepage);

// One row of `lockbox list`: type, attributes, size, stored size, last
// write time and name.
std::string ListingRow(const EntryInfo& info, int codepage);
