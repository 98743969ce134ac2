// Helpers for the end-to-end tests of unattended mode, on top of the window
// driver: one-shot stub runs, file attributes and times, archive surgery.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/format.h"
#include "payload/results.h"
#include "win/window_driver.h"

namespace unattended_test {

using namespace window_test;

// The stub's exit code as the signed result it was given to ExitProcess.
// KILLED (as a signed value) when the stub had to be killed.
int RunStub(const std::string& exe, const std::string& arguments, const std::string& directory,
            DWORD ms = WAIT_MS);

// Starts `exe` with exactly `line` as its command line (program path
// included) and returns its exit code as RunStub does.
int RunStubLine(const std::string& exe, const std::string& line, const std::string& directory);

// A file entry with explicit attributes and three distinct times.
WriterEntry TimedFile(const std::string& name, const std::string& data, uint32_t attributes);

struct Stamp {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
};
// Attributes and times of a file or directory; attributes are
// INVALID_FILE_ATTRIBUTES when it cannot be opened.
Stamp StampOf(const std::string& path);

// True when the tests run under Wine (ntdll exports wine_get_version).
bool UnderWine();

bool Exists(const std::string& path);

// Polls for `path` to exist for up to `ms`.
bool WaitForFile(const std::string& path, DWORD ms);

// Rewrites the encrypted run-after name of the archive at `path` to `name`,
// which must have the stored name's length: lets a test plant a name that
// the writer refuses. False when the archive cannot be read or rewritten.
bool PatchRunAfterName(const std::string& path, const std::string& password, const std::string& name);

// Rewrites the encrypted name of the archive's last entry, which must be a
// directory (nothing follows its name) with a name of `name`'s length: lets
// a test plant a name that the writer refuses. False when it cannot.
bool PatchLastDirectoryName(const std::string& path, const std::string& password, const std::string& name);

// A batch file that writes `marker` when run.
std::string MarkerScript(const std::string& marker);

}  // namespace unattended_test
