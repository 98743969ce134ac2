// Temporary files that must not outlive an interrupted run. The writer and
// parallel extraction list each temporary file here while it exists; the
// tool's interrupt handler (OnInterrupt, tool/system.h) calls
// RemoveListedFiles. Files already in place are not listed, so they stay.
#pragma once
#include <string>

// Lists `path` for removal on interruption. Silently does nothing when the
// list is full (over 1024 files at once) or the path is over 4095 bytes.
void RemoveOnInterrupt(const std::string& path);

// Takes `path` off the list: it was removed or moved into place.
void KeepOnInterrupt(const std::string& path);

// Removes every listed file. Safe to call from a signal handler.
void RemoveListedFiles();
