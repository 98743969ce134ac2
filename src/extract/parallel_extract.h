// Extraction of a whole archive with the files' data inflated on several
// threads. Entry heads are read, overwrite questions asked and finished
// files moved into place on the calling thread, in archive order, so the
// outcome is that of extracting one entry after the other: a file is in
// place only when every file before it is, and the first failure stops the
// run with the entries before it restored and nothing half-written.
#pragma once
#include <functional>
#include <string>

#include "payload/reader.h"
#include "platform/temporary_files.h"

struct ExtractRun {
    Reader* reader;            // open, positioned at the first entry; answers and question as set
    const char* archivePath;   // opened again by each worker
    const char* destination;
    int jobs;                  // worker threads; 1 or less: no threads at all
    CipherContext key;         // freshly derived stream key, copied for every entry
    // Told of every entry in place: a directory once created, a file once
    // moved into place (or kept). A directory always comes before the
    // entries inside it.
    std::function<void(const EntryInfo&)> restored;
    // Asked once an entry's name is read; an entry it turns down is passed
    // over (its data skipped, nothing created). Null: every entry is restored.
    std::function<bool(const EntryInfo&)> wanted;
    // How the file system compares the path of an entry below the
    // destination (the stored name through the reader's convertName, '\\'
    // between levels): two entries with one key are one file, and the later
    // waits until the earlier is in place. Null: ASCII case folded.
    std::function<std::string(const std::string&)> pathKey;
    // Told of each file's temporary name while it exists (may be null).
    const TemporaryFileHook* temporaryFiles = nullptr;
};

struct ExtractOutcome {
    int result;        // RESULT_END: every entry restored; RESULT_CANCELLED at the question
    int index;         // 1-based entry the result belongs to
    EntryInfo entry;   // that entry as far as it was read
};

// Restores the entries of the archive open in run.reader with its overwrite
// answers and question.
ExtractOutcome ExtractAll(const ExtractRun& run);
