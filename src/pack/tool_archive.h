// Opening an existing archive for `list`, `test` and `extract`: header,
// password check, run-after name, and how entries are shown.
#pragma once
#include <cstdint>
#include <string>

#include "pack/tool_password.h"

struct OpenedArchive {
    std::string path;
    std::string runAfter;  // decrypted, in the archive's code page; empty = none
};

// Reads the header of `path` into the reader's process-wide state and checks
// the password against it. Throws ToolError (exit 1) when the file is not a
// readable archive or the password is wrong. Close with CloseArchive.
OpenedArchive OpenArchive(const std::string& path, const Password& password);

// Releases the reader's state (ResetArchiveState).
void CloseArchive();

// Loads the stream key for the next entry (or the run-after name).
void PrepareNextEntry(const Password& password);

// "2024-05-01 13:45:10" (UTC) for a FILETIME; "-" for 0.
std::string FormatFileTime(uint64_t fileTime);

// Five letters for the attribute bits, '-' where a bit is clear:
// D directory, R read-only, H hidden, S system, A archive.
std::string AttributeLetters(uint32_t attributes);

// A stored name or title for the terminal: converted from `codepage` to
// UTF-8, control characters shown as '?'.
std::string DisplayText(const std::string& stored, int codepage);
