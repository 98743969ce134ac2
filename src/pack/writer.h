// The archive writer: turns a stub image, header settings, a password and a
// list of entries into a self-extracting executable that the reader opens.
// Ordinary C++17 (the lockbox tool and tests only; not in the extractor).
// Never prints; failures come back as a message in WriteResult.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveSettings {
    uint32_t openFolderShowCmd = 0;
    uint8_t layoutMode = 2;
    uint32_t backgroundWidth = 0;
    uint32_t backgroundHeight = 0;
    std::string title;            // bytes in the target code page, <= 260
    std::string runAfter;         // empty = none; <= 260
    bool usePassword = true;      // false: the no-password branch (zero key)
    std::u16string password;      // UTF-16 code units; used when usePassword
    int level = 6;                // zlib level 0-9
    int jobs = 1;                 // files compressed in parallel; output identical for any value
};

struct WriterEntry {
    std::string name;             // relative, '\' separators, target code page, <= 260 bytes
    uint32_t attributes = 0;      // Windows attributes; ATTR_DIRECTORY makes a directory entry
    uint64_t creationTime = 0;    // FILETIME values
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
    std::string sourcePath;       // file data comes from here when not empty...
    std::string data;             // ...else from these bytes
};

struct WriteResult {
    bool ok = false;
    std::string error;            // one line: what went wrong, naming the entry or file
};

// Called as data is compressed: bytes of input consumed so far of the total.
using ProgressFn = void (*)(uint64_t done, uint64_t total, void* user);

// Writes the archive to `outPath`: the stub bytes up to its payload position
// P, the header, then the entries in the order given. Streams file data
// (memory stays bounded for any file size). Refuses, before writing
// anything: names, title or run-after over 260 bytes, unsafe names, a file
// entry whose directory is not listed before it. Refuses during writing a
// compressed stream over 4 GiB - 1 and unreadable input. On failure no
// output file is left behind (the output is written under a temporary name
// and renamed at the end).
WriteResult WriteArchive(const std::vector<uint8_t>& stub, const ArchiveSettings& settings,
                         const std::vector<WriterEntry>& entries, const std::string& outPath,
                         ProgressFn progress = nullptr, void* user = nullptr);

// Same, returning the archive bytes in memory (for tests; small archives).
WriteResult WriteArchiveToMemory(const std::vector<uint8_t>& stub, const ArchiveSettings& settings,
                                 const std::vector<WriterEntry>& entries, std::vector<uint8_t>* out);
