// Pieces of entry extraction shared between the payload's source files.
// Not part of the reader's contract (reader.h).
#pragma once
#include "payload/reader.h"

// Creates a new, unique temporary file in `folder`, the directory of
// `finalPath` (PlatformOpenEntryFolder), named "~lbXXXX.tmp" (so its path
// is at most 12 bytes longer than the directory part of `finalPath`).
// RESULT_OK, RESULT_CANNOT_CREATE, RESULT_NO_MEMORY.
int OpenTempBeside(FileHandle folder, const char* finalPath, OutputFile* out);

// Closes and removes the temporary file in `folder`; the final path is
// untouched.
void DiscardOutput(FileHandle folder, OutputFile* out);

// Gives the temporary file the entry's attributes, then its times through the
// open handle, closes it and moves it over `finalPath`, both in `folder`.
// RESULT_OK, or RESULT_CANNOT_CREATE with the temporary file removed.
int CommitOutput(FileHandle folder, OutputFile* out, const char* finalPath, const EntryInfo* info);
