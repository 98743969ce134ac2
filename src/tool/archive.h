// Opening an existing archive for `list`, `test` and `extract`: header,
// password check, run-after name, and the key of each entry.
#pragma once
#include <string>

#include "payload/reader.h"
#include "tool/password.h"

// An archive open for reading. The constructor reads the header and checks
// the password; it throws ToolError (exit 1) when the file is not a
// readable archive or the password is wrong.
struct OpenedArchive {
    OpenedArchive(const std::string& path, const Password& password);

    std::string path;
    std::string runAfter;  // decrypted, in the archive's code page; empty = none
    OwnedReader reader;
    CipherContext key = {};  // the stream key as derived: a copy starts each entry
};
