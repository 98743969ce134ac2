// Opening an existing archive for `list`, `test` and `extract`: header,
// password check, run-after name, and the key of each entry.
#pragma once
#include <string>

#include "payload/reader.h"
#include "tool/password.h"

// An archive open for reading. The constructor reads the header and checks
// the password; it throws ToolError (exit 1) when the file is not a
// readable archive or the password is wrong. `codepage` is the one the user
// gave, 0 when none: then the one the archive records, else the default.
struct OpenedArchive {
    OpenedArchive(const std::string& path, const Password& password, int codepage);

    std::string path;
    int codepage;          // of the title and the names
    const char* codepageSource;  // "given", "recorded in the archive" or "default"
    std::string runAfter;  // decrypted, in the archive's code page; empty = none
    OwnedReader reader;
    CipherContext key = {};  // the stream key as derived: a copy starts each entry
};
