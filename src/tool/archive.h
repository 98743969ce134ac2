// Opening an existing archive for `list`, `test` and `extract`: header,
// password check, run-after name, and the key of each entry.
#pragma once
#include <cstdint>
#include <string>

#include "tool/password.h"

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
