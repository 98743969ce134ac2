// Compresses and encrypts one file entry into a spill. Runs on worker
// threads: everything it touches is its own except the read-only entry and
// options and the two atomics.
//
//   fresh key -> name piece -> zlib stream cut into IO_CHUNK pieces
//                              (the last one shorter), each encrypted as
//                              one piece, exactly where the reader cuts
#pragma once
#include <atomic>
#include <stdint.h>
#include <string>
#include <vector>
#include "pack/header_encoding.h"
#include "pack/spill.h"
#include "pack/writer.h"

struct CompressOptions {
    int level = 6;                              // zlib level, -1 to 9
    const char16_t* key = nullptr;  // the password (KeyPasswordOf); null: none
    SpillPlace place;
    uint64_t storedLimit = 0xFFFFFFFFu;         // longest stream StoredSize can state
    const std::atomic<bool>* cancel = nullptr;  // set: stop soon, result is an error
    std::atomic<uint64_t>* consumed = nullptr;  // input bytes read, for progress
};

struct CompressedEntry {
    bool ok = false;
    std::string error;                  // one line naming the entry or file
    std::vector<uint8_t> encryptedName; // the name piece
    uint64_t originalSize = 0;          // bytes of input read
    uint32_t storedSize = 0;            // length of the zlib stream
    Spill spill;                        // the encrypted stream; caller removes it
};

// Fills `out` for the file entry `entry`. Never throws; failures (unreadable
// input, a stream over `storedLimit`, no memory, a spill that cannot be
// written, cancellation) leave ok false and an error message.
void CompressEntry(const WriterEntry& entry, const CompressOptions& options, CompressedEntry* out);
