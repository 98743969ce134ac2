// Temporary files beside a target path: the archive under construction and
// the spills of compressed entries. Names are `prefix` plus a number; the
// file is created exclusively, so concurrent writers never share one.
#pragma once
#include <string>
#include "platform/platform.h"
#include "platform/temporary_files.h"

// Creates a new file named `prefix` + a number and returns its handle, with
// the chosen name in `*path`, reported to `hook` (which may be null); its
// owner reports it gone. NO_FILE when no such file can be created (the
// directory is missing or not writable).
FileHandle CreateTempFile(const std::string& prefix, std::string* path, const TemporaryFileHook* hook);
