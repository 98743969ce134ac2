// Holds one entry's encrypted data between compression and copying into the
// archive. The size of the stream must be known before its bytes are
// written (StoredSize comes first), so each entry is compressed completely
// into a spill first: in memory while it is small, in a temporary file once
// it outgrows `memoryLimit`, so memory stays bounded for any file size.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <memory>
#include <string>
#include <vector>
#include "pack/output_sink.h"
#include "platform/platform.h"
#include "platform/temporary_files.h"

struct SpillPlace {
    std::string filePrefix;      // temporary files are named this + a number;
                                 // empty: the spill never leaves memory
    uint64_t memoryLimit = 0;    // bytes kept in memory before moving to a file
    const TemporaryFileHook* hook = nullptr;  // told of each temporary file
};

struct Spill {
    std::vector<uint8_t> memory; // the bytes while the spill is in memory
    std::unique_ptr<uint8_t[]> block;  // or all of them, handed over by SpillAdopt
    std::string path;            // temporary file, empty while in memory
    const TemporaryFileHook* hook = nullptr;  // the place's, once the file exists
    FileHandle file = NO_FILE;   // open for writing until SpillFinish
    uint64_t size = 0;           // bytes appended so far
};

// Appends `size` bytes, moving the spill to a temporary file when it grows
// past the memory limit. False with `*error` set when the file cannot be
// created or written.
bool SpillAppend(Spill* spill, const SpillPlace& place, const uint8_t* data, size_t size,
                 std::string* error);

// Makes the `size` bytes of `bytes` the whole spill, without copying them
// (memory that was never written stays untouched). The spill must be
// empty, and nothing may be appended afterwards.
void SpillAdopt(Spill* spill, std::unique_ptr<uint8_t[]> bytes, size_t size);

// Ends appending: closes the temporary file so that it can be read back.
void SpillFinish(Spill* spill);

// Copies all bytes of a finished spill to `sink`. False with `*error` set
// when the temporary file cannot be read back in full or the sink fails.
bool SpillCopyTo(Spill* spill, OutputSink* sink, std::string* error);

// Frees the memory and deletes the temporary file. Safe to call repeatedly.
void SpillRemove(Spill* spill);
