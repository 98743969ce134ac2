// Temporary files that must not outlive an interrupted run. The writer and
// parallel extraction list each temporary file here while it exists; the
// tool installs handlers for SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break
// and closing the console on Windows) that remove every listed file and then
// end the process as the signal would have. Files already in place are not
// listed, so they stay.
#pragma once
#include <string>

// Lists `path` for removal on interruption. Silently does nothing when the
// list is full (over 1024 files at once) or the path is over 4095 bytes.
void RemoveOnInterrupt(const std::string& path);

// Takes `path` off the list: it was removed or moved into place.
void KeepOnInterrupt(const std::string& path);

// Installs the handlers (once per process).
void InstallInterruptCleanup();
