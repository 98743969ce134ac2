// Pieces of entry extraction shared between the payload's source files.
// Not part of the reader's contract (reader.h).
#pragma once
#include "payload/reader.h"

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
