// The archive writer: turns a stub image, header settings, a password and a
// list of entries into a self-extracting executable that the reader opens.
// Ordinary C++17 (the lockbox tool and tests only; not in the extractor).
// Never prints; failures come back as a message in WriteResult.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/temporary_files.h"

struct ArchiveSettings {
    uint32_t openFolderShowCmd = 0;
    uint8_t layoutMode = 2;
    uint32_t backgroundWidth = 0;
    uint32_t backgroundHeight = 0;
    std::string title;            // bytes in the target code page, <= 260
    std::string runAfter;         // empty = none; <= 260
    bool usePassword = true;      // false: the no-password branch (zero key)
    std::u16string password;      // UTF-16 code units; used when usePassword
    uint32_t keyRounds = 0;       // with a password: PBKDF2 rounds of a stretched key (1 to
                                  // MAX_KEY_ROUNDS, crypto/key_stretch.h); 0: the chain runs
                                  // over the password itself and the stub is not changed
    uint8_t keySalt[16] = {};     // the stretch's salt: the caller's random bytes
    int level = 7;                // 0 stores, 1 fastest to 12 smallest; -1: 7
    uint16_t codepage = 0;        // code page of title and names, recorded in every entry
                                  // header for the tool's readers; 0: not recorded
    int jobs = 1;                 // files compressed in parallel (below 1: 1, above 64: 64);
                                  // the output is identical for any value
    const TemporaryFileHook* temporaryFiles = nullptr;  // told of the archive's and the spills'
                                                        // temporary files (may be null)
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

// Called as data is compressed: bytes of input consumed so far of the total
// (the sizes of all file entries, measured before writing). Always called
// on the thread that called WriteArchive, never from a worker; `done`
// never decreases and, when no source changed size meanwhile, ends at
// `total` on success.
using ProgressFn = void (*)(uint64_t done, uint64_t total, void* user);

// Writes the archive to `outPath`: the stub bytes up to its payload position
// P (bytes behind P are dropped), the header, then the entries in the order
// given. Equal inputs give byte-identical archives. With a password and
// keyRounds, the stub first gets the key-stretch resource (rounds and salt)
// and every key is derived from the stretched password.
//
// Refuses, before writing anything: a stub that is not a PE image of
// either kind (payload/pe.h) with sections or is shorter than P; a title,
// run-after name or entry name over 260 bytes; a run-after or entry name
// that is empty, holds a NUL byte, fails IsSafeName or has an empty
// component; an entry (file or directory) whose parent is not listed before
// it as a directory entry; a name listed twice (compared as Windows
// compares: '/' = '\', ASCII case ignored); a directory entry with data; a
// password holding a NUL code unit; keyRounds above MAX_KEY_ROUNDS, or a
// stub whose resources cannot take the key-stretch resource (resources.h);
// the system offering no PBKDF2; a level outside -1..12; a source file
// that cannot be opened.
// Fails during writing on unreadable input, a compressed stream over
// 4 GiB - 1 bytes, and write errors.
//
// Memory stays bounded for any file size: a file up to 8 MiB is read and
// compressed in memory (libdeflate at `level`); a larger one is read in
// 1 MiB pieces that every worker helps to compress (libdeflate at `level`,
// each piece on its own), at most two pieces per job at a time. Each
// compressed entry is kept in memory up to 8 MiB, beyond that in a
// temporary file beside `outPath`; `jobs` entries are in flight, and more
// small ones behind a large one as long as their input adds up to at most
// 8 MiB per job (at most 64 entries per job). The archive is written under a
// temporary name beside `outPath` and moved over it at the end, so on any
// failure `outPath` is untouched and no file is left behind. Never throws.
//
// `finish`, when given, is called with the temporary file's path once the
// archive is complete and closed, before it is moved into place; it may
// rewrite that file (sign it). A non-empty return fails the write with that
// text as the error, leaving `outPath` untouched.
using FinishFn = std::function<std::string(const std::string& path)>;
WriteResult WriteArchive(const std::vector<uint8_t>& stub, const ArchiveSettings& settings,
                         const std::vector<WriterEntry>& entries, const std::string& outPath,
                         ProgressFn progress = nullptr, void* user = nullptr, const FinishFn& finish = nullptr);

// Same, returning the archive bytes in `out` (for tests; small archives:
// everything, spills included, stays in memory). `out` is emptied on failure.
WriteResult WriteArchiveToMemory(const std::vector<uint8_t>& stub, const ArchiveSettings& settings,
                                 const std::vector<WriterEntry>& entries, std::vector<uint8_t>* out);
