// The checks made before anything is written: every name must be something
// the reader accepts and can restore in the order given.
#pragma once
#include <string>
#include <vector>
#include "pack/writer.h"

// Empty when `settings` and `entries` can be written; otherwise one line
// saying what is wrong, naming the entry. Refused:
//   - a title, run-after name or entry name over 260 bytes;
//   - a run-after or entry name that is empty, holds a NUL byte, is unsafe
//     (IsSafeName: leading separator, ':', a ".." component) or has an
//     empty component ("a\\b", a trailing '\');
//   - an entry whose parent directory is not a directory entry listed
//     before it (the reader creates no intermediate directories);
//   - two entries with the same name (compared as Windows does: '/' and
//     '\' alike, ASCII letters without case), which would make a fresh
//     extraction ask whether to overwrite the archive's own file;
//   - a directory entry with data or a source file;
//   - a password holding a NUL code unit (the key stops at the first one,
//     so the archive would open with a shorter password than given);
//   - a compression level outside -1 to 9.
std::string CheckArchiveInput(const ArchiveSettings& settings, const std::vector<WriterEntry>& entries);

// `name` quoted for a one-line message: control bytes shown as '?'.
std::string QuoteName(const std::string& name);
