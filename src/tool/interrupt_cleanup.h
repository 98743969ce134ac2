// Temporary files that must not outlive an interrupted run. The writer and
// the parallel extraction report each temporary file to INTERRUPT_CLEANUP
// while it exists; the tool's interrupt handler (OnInterrupt, tool/system.h)
// calls RemoveListedFiles. Files already in place are not listed, so they stay.
#pragma once
#include <string>

#include "platform/platform.h"
#include "platform/temporary_files.h"

// Lists `path` for removal on interruption. Silently does nothing when the
// list is full (over 1024 files at once) or the path is over 4095 bytes.
// Given `folder` (from PlatformOpenEntryFolder, open for as long as the
// file is there under that name), the file is removed in that folder
// (PlatformDeleteAt), so a folder on the path swapped for a link cannot
// lead the removal elsewhere.
void RemoveOnInterrupt(const std::string& path, FileHandle folder = NO_FILE);

// Takes `path` off the list: it was removed or moved into place.
void KeepOnInterrupt(const std::string& path);

// Removes every listed file. Safe to call from a signal handler.
void RemoveListedFiles();

// RemoveOnInterrupt and KeepOnInterrupt as the hook the writer and the
// parallel extraction take.
extern const TemporaryFileHook INTERRUPT_CLEANUP;
