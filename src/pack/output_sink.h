// Where the archive bytes go: an open file or a byte vector. Writes to a
// file are gathered in a buffer so that the many short header fields do not
// each cost a system call.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <vector>
#include "platform/platform.h"

struct OutputSink {
    FileHandle file = NO_FILE;            // target when `memory` is null
    std::vector<uint8_t>* memory = nullptr;
    std::vector<uint8_t> pending;         // buffered bytes not yet in `file`
    uint64_t written = 0;                 // bytes accepted so far
    bool failed = false;                  // a file write failed; sticky
};

// Appends `size` bytes. False once a write to the file has failed.
bool SinkWrite(OutputSink* sink, const void* data, size_t size);

// Hands buffered bytes to the file. False when the write fails.
bool SinkFlush(OutputSink* sink);
