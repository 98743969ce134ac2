// The bytes of a file entry: read from `sourcePath` when it is set, else
// taken from the entry's `data`. Paths are UTF-8 on Windows (opened through
// the wide calls, long ones too) and native bytes on POSIX.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <cstdio>
#include <string>
#include "pack/writer.h"

struct EntrySource {
    std::FILE* file = nullptr;            // open source file, or null
    const std::string* data = nullptr;    // in-memory bytes when no file
    size_t offset = 0;                    // next byte of `data`
    std::string path;                     // for messages
    EntrySource() = default;
    EntrySource(const EntrySource&) = delete;
    EntrySource& operator=(const EntrySource&) = delete;
    ~EntrySource();
};

// Prepares to read `entry`'s bytes. False with `*error` ("cannot open
// <path>: <reason>") when the source file cannot be opened.
bool OpenEntrySource(const WriterEntry& entry, EntrySource* source, std::string* error);

// Reads up to `size` bytes into `buffer`; `*got` is 0 at the end of the
// data. False with `*error` ("cannot read <path>: <reason>") on a read error.
bool ReadEntrySource(EntrySource* source, uint8_t* buffer, size_t size, size_t* got,
                     std::string* error);

// Checks that `entry`'s source can be opened and tells its size (for
// progress totals; 0 when the size cannot be determined). False with
// `*error` set when the file cannot be opened.
bool ProbeEntrySource(const WriterEntry& entry, uint64_t* size, std::string* error);
