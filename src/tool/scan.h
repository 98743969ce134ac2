// Turns the paths given to `lockbox create` into archive entries, and finds
// in one pass everything below them that an archive cannot hold.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pack/writer.h"

struct ScanOptions {
    int codepage = 1252;
    std::string output;                // the archive about to be replaced: never stored
    std::vector<std::string> exclude;  // PatternsOf
    bool followLinks = false;          // store what links inside the folders point to
};

// An input that cannot be stored as it is, with everything it holds.
struct Unstorable {
    std::string path;    // on disk (UTF-8), for messages
    std::string name;    // the stored name it would have (UTF-8, '\' separators), for --exclude
    std::string reason;  // "holds ':', which ..."
    std::string kept;    // for a name that differs only in case: the path of the one stored
};

struct ScanTotals {
    uint64_t files = 0;
    uint64_t directories = 0;
    uint64_t bytes = 0;     // sum of file sizes
    uint64_t links = 0;     // symbolic links inside the folders given, not followed
    uint64_t special = 0;   // devices, pipes and sockets inside the folders given, skipped
    uint64_t excluded = 0;  // files and folders left out by `exclude` (a folder counts once)
};

struct ScanResult {
    std::vector<WriterEntry> entries;
    std::vector<Unstorable> unstorable;  // in the order found; none of them is in `entries`
    std::vector<std::string> links;      // the links not followed, for --verbose
    ScanTotals totals;
};

// Collects `paths` (UTF-8): a file gives one entry, a directory one entry
// for itself and then its contents, recursively, sorted by name, each
// directory before what it holds. The top name of each path is its last
// component; names below it are joined with '\' and converted to the code
// page. Attributes: ATTR_DIRECTORY for directories, ATTR_ARCHIVE for files,
// plus ATTR_READONLY for files without write permission. Last access time is
// stored as last write time (output does not change from run to run), and
// on POSIX so is creation time.
//
// A path whose name matches `exclude` (name_pattern.h; a pattern without
// wildcards matches in the file system's case) is left out with all it holds before it is examined,
// and counted. Inside a folder, symbolic links are counted and not followed
// unless `followLinks`; then what they point to is stored under the link's
// name, and a link that leads nowhere, or to a folder that holds it, is
// unstorable. A path given in `paths` is followed when it is a link. Devices,
// pipes and sockets inside a folder are skipped with a warning and counted.
//
// Unstorable, each with what it holds: a name that differs only in case from
// one before it in the same folder (the first in sorted order is kept), that
// holds a character Windows does not allow or '\', that Windows takes for a
// device or a folder on the path, that the code page cannot hold or that is
// over 260 bytes in the archive; a folder that cannot be listed or a file
// that cannot be opened. Throws ToolError for a path in `paths` that cannot
// be examined or is no file or folder, and for two of them with one name.
//
// `listed` (--files-from) are relative paths stored under the path as
// written, each folder on the way an entry of its own; a listed folder
// brings what it holds, and a path that lies in one is stored once. Throws
// ToolError for a listed path that climbs out with "..".
ScanResult ScanInputs(const std::vector<std::string>& paths, const std::vector<std::string>& listed,
                      const ScanOptions& options);
