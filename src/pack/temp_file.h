// Temporary files beside a target path: the archive under construction and
// the spills of compressed entries. Names are `prefix` plus a number; the
// file is created exclusively, so concurrent writers never share one.
#pragma once
#include <string>
#include "platform/platform.h"

// Creates a new file named `prefix` + a number and returns its handle, with
// the chosen name in `*path`, listed for removal on interruption
// (interrupt_cleanup.h) until its owner calls KeepOnInterrupt. NO_FILE when no such file can be created (the
// directory is missing or not writable).
FileHandle CreateTempFile(const std::string& prefix, std::string* path);
