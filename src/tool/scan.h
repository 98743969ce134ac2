// Turns the paths given to `lockbox create` into archive entries.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pack/writer.h"

struct ScanTotals {
    uint64_t files = 0;
    uint64_t directories = 0;
    uint64_t bytes = 0;       // sum of file sizes
    uint64_t skipped = 0;     // links and special files inside the folders given
    uint64_t excluded = 0;    // files and folders left out by `exclude` (a folder counts once)
};

// Collects `paths` (UTF-8): a file gives one entry, a directory one entry
// for itself and then its contents, recursively, sorted by name, each
// directory before what it holds. The top name of each path is its last
// component; names below it are joined with '\' and converted to
// `codepage`. Attributes: ATTR_DIRECTORY for directories, ATTR_ARCHIVE for
// files, plus ATTR_READONLY for files without write permission. Last access
// time is stored as last write time (output does not change from run to
// run), and on POSIX so is creation time. Inside a
// folder, symbolic links (to anything) and special files are skipped with a
// warning and counted; a path given in `paths` is followed when it is a link. Throws ToolError (exit 1) naming the path for a
// path that cannot be read, a name that the code page cannot hold, a name
// over 260 bytes, or two top-level paths with the same name.
// A file that is `output` (the archive about to be replaced) is skipped, so
// an archive written into its own input does not carry its predecessor.
// A path whose name matches `exclude` (name_pattern.h) is left out with
// all it holds, and counted.
std::vector<WriterEntry> ScanInputs(const std::vector<std::string>& paths, int codepage,
                                    const std::string& output, const std::vector<std::string>& exclude,
                                    ScanTotals* totals);
