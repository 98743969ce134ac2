// Pieces of entry extraction shared between the payload's source files.
// Not part of the reader's contract (reader.h).
#pragma once
#include "payload/reader.h"

// Reads the EntryHeader, the name length and the name from ArchiveFile and
// decrypts the name (one piece) into `info`, zero-terminated.
// RESULT_OK; RESULT_END when not one byte of the header arrived;
// RESULT_CORRUPT for a short header, length or name, or a length over 260.
int ReadEntryHead(CipherContext* ctx, EntryInfo* info);

// Reads, decrypts and inflates `storedSize` bytes of entry data from
// ArchiveFile, writing the output to `out` (NO_FILE: the output is checked
// and dropped). Consumes exactly `storedSize` bytes when it succeeds.
// RESULT_OK: the zlib stream ended exactly at the end of the stored data
// (or storedSize is 0: no data, empty output).
// RESULT_CORRUPT: inflate error, preset dictionary, stored data ending
// before the stream, or stored bytes left behind the stream.
// RESULT_NO_MEMORY: buffers or zlib state. RESULT_CANNOT_CREATE: a write failed.
int InflateEntryData(CipherContext* ctx, uint32_t storedSize, FileHandle out);

// Joins destination, '\' (unless it already ends with one) and name into a
// new PlatformAlloc block. Null when memory runs out. The caller frees it.
char* BuildEntryPath(const char* destination, const char* name);

// A file being written under a temporary name beside its final path.
struct OutputFile {
    FileHandle handle;
    char* tempPath;       // PlatformAlloc'd
};

// Creates a new, unique temporary file in the directory of `finalPath`,
// named "~lbXXXX.tmp" (so its path is at most 12 bytes longer than the
// directory part of `finalPath`).
// RESULT_OK, RESULT_CANNOT_CREATE, RESULT_NO_MEMORY.
int OpenTempBeside(const char* finalPath, OutputFile* out);

// Closes and removes the temporary file; the final path is untouched.
void DiscardOutput(OutputFile* out);

// Gives the temporary file the entry's attributes, then its times through the
// open handle, closes it and moves it over `finalPath`. RESULT_OK, or
// RESULT_CANNOT_CREATE with the temporary file removed.
int CommitOutput(OutputFile* out, const char* finalPath, const EntryInfo* info);
