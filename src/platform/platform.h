// The few operating-system operations the archive reader needs. One header,
// implementations chosen by the build: on Windows win32.cpp with either
// win32_ansi_paths.cpp (the extractor and the Windows tests) or
// win32_wide_paths.cpp (the Windows tool); posix.cpp for the Linux tool and
// host tests.
//
// Paths are narrow, zero-terminated strings: in the system's own form, except
// in the Windows tool, where they are UTF-8 (win32_wide_paths.cpp). The
// reader joins stored names (whose levels '\' or '/' separate) with
// PLATFORM_SEPARATOR, so a destination is taken as the user wrote it.
// No function here shows a message or throws; failures come back as values.
#pragma once
#include <stddef.h>
#include <stdint.h>

// What separates levels in a path: '\' on Windows, '/' on POSIX. A
// constant, so that Windows builds compile the conversion of stored names
// away: Windows takes '/' as well. Whether the file system takes names that
// differ only in case for one (Windows) or compares their bytes (POSIX).
#ifdef _WIN32
const char PLATFORM_SEPARATOR = '\\';
const bool PLATFORM_FOLDS_CASE = true;
#else
const char PLATFORM_SEPARATOR = '/';
const bool PLATFORM_FOLDS_CASE = false;
#endif

// The longest path, in bytes without the terminator, that the file
// functions here take: MAX_PATH less one for the extractor's narrow Windows
// calls, far more for the Windows tool's wide ones, PATH_MAX less one on
// POSIX. Set by the implementation the program links.
extern const uint32_t PLATFORM_PATH_LIMIT;

// An open file: a Win32 HANDLE or (POSIX) a descriptor plus one. NO_FILE is
// 0, so handle variables that start zeroed need no initialiser.
typedef intptr_t FileHandle;
const FileHandle NO_FILE = 0;

// Three FILETIME values: 100-ns ticks since 1601-01-01 UTC.
struct FileTimes {
    uint64_t creation;
    uint64_t lastAccess;
    uint64_t lastWrite;
};

// Opens an existing file for reading (shared for reading). NO_FILE on failure.
FileHandle PlatformOpenRead(const char* path);

// Reads up to `size` bytes; returns the count delivered (0 at the end of the
// file or on failure). Only the count matters to callers.
uint32_t PlatformRead(FileHandle file, void* buffer, uint32_t size);

// Moves to absolute `offset`; returns the position reached, -1 on failure.
int64_t PlatformSeek(FileHandle file, int64_t offset);

// Current position, -1 on failure.
int64_t PlatformTell(FileHandle file);

// The file's size in bytes, -1 on failure.
int64_t PlatformFileSize(FileHandle file);

// A file, or its first bytes, mapped read-only. `data` is null when mapping
// failed.
struct FileMapping {
    const uint8_t* data;
    uint64_t size;
    intptr_t file;     // implementation handles, released by PlatformUnmap
    intptr_t mapping;
};

// Maps the first min(file size, `maxSize`) bytes of `path` read-only;
// `size` is the count mapped. Returns false (and a zeroed mapping) on
// failure, including an empty file. A 32-bit process cannot map a file of
// several GiB whole, so readers that need only the head pass a limit.
bool PlatformMap(const char* path, FileMapping* map, uint64_t maxSize = UINT64_MAX);
void PlatformUnmap(FileMapping* map);

// Creates `path` for writing; fails when anything exists there already
// (so a unique temporary name can be probed). NO_FILE on failure.
FileHandle PlatformCreateNew(const char* path);

// Writes all `size` bytes; false on a short or failed write.
bool PlatformWrite(FileHandle file, const void* data, uint32_t size);

// True once a PlatformWrite in this process, in any thread, has failed
// because the disk (or the user's quota) was full: messages name the cause.
bool PlatformDiskWasFull();

void PlatformClose(FileHandle file);

// Removes a file; false on failure.
bool PlatformDelete(const char* path);

// Moves `from` over `to`, replacing a file that exists there, in one step.
// False on failure, and then `to` is untouched.
bool PlatformReplace(const char* from, const char* to);

// Creates one directory level; false when it could not be created (also
// when it exists already: callers ignore the result).
bool PlatformCreateDirectory(const char* path);

// Creates the directory named by the text before each separator ('/' or
// PLATFORM_SEPARATOR) of `path`, the shortest first, and then `path` itself
// when `whole`. Each separator becomes '\0' for a moment and is put back.
// Failures are not reported: most levels exist already, and one that is
// missing shows when the path is used.
inline void PlatformCreateDirectories(char* path, bool whole) {
    for (size_t i = 1; path[0] != '\0' && path[i] != '\0'; i++) {
        char c = path[i];
        if (c != '/' && c != PLATFORM_SEPARATOR) continue;
        path[i] = '\0';
        PlatformCreateDirectory(path);
        path[i] = c;
    }
    if (whole) PlatformCreateDirectory(path);
}

// Opens an existing directory so that its times can be set. NO_FILE on
// failure (for example when `path` is not a directory).
FileHandle PlatformOpenDirectory(const char* path);

// Gives `path` the Windows attribute bits (FILE_ATTRIBUTE_*). On POSIX the
// read-only bit clears the write permissions of a file; the others have no
// counterpart and are dropped. Directories ignore the read-only bit there.
bool PlatformSetAttributes(const char* path, uint32_t attributes);

// Sets the three times through an open handle. POSIX keeps only last access
// and last write (creation time has no counterpart).
bool PlatformSetTimes(FileHandle file, const FileTimes* times);

// True when anything (file or directory) exists at `path`.
bool PlatformExists(const char* path);

// True when `path` itself (not followed) is a symbolic link, a junction or
// another reparse point.
bool PlatformIsLink(const char* path);

// True when a file exists at `path` that must not be replaced: on Windows
// one with the read-only attribute. Always false on POSIX.
bool PlatformIsProtected(const char* path);

// ---- Files under the destination ------------------------------------------
// An entry's path is the destination as the user gave it (links allowed:
// the user chose it) followed by levels the archive names. On POSIX those
// levels are reached through handles: the folder an entry lies in is opened
// from the destination one level at a time with links refused, and the
// entry is then tested, created, replaced and removed relative to that
// folder, so a folder swapped for a link during the run can make an entry
// fail but cannot carry a write elsewhere. The Win32 implementations check
// each level by path and then use the path: the extractor's narrow calls
// take nothing else.

// Opens the folder holding the last component of `path`, walking from its
// first `from` bytes (the destination, non-empty) one level at a time.
// NO_FILE when a level below the destination is missing, not a directory
// or a link, or when the last component itself is a link. `path` is written
// to during the call and restored. Closed with PlatformCloseFolder.
FileHandle PlatformOpenEntryFolder(char* path, uint32_t from);
void PlatformCloseFolder(FileHandle folder);

// PlatformCreateDirectory, PlatformOpenDirectory (not through a link),
// PlatformExists (a link counts as existing), PlatformIsProtected,
// PlatformCreateNew and PlatformDelete for the last component of `path`,
// which lies in `folder` (from PlatformOpenEntryFolder on a path with the
// same folder part).
bool PlatformCreateDirectoryAt(FileHandle folder, const char* path);
FileHandle PlatformOpenDirectoryAt(FileHandle folder, const char* path);
bool PlatformExistsAt(FileHandle folder, const char* path);
bool PlatformIsProtectedAt(FileHandle folder, const char* path);
FileHandle PlatformCreateNewAt(FileHandle folder, const char* path);
bool PlatformDeleteAt(FileHandle folder, const char* path);

// PlatformReplace of `from` over `to`, both in `folder`.
bool PlatformReplaceAt(FileHandle folder, const char* from, const char* to);

// PlatformSetAttributes for the file or directory open as `file`, whose
// path is `path`: through the handle on POSIX (what lies at the path may
// have been swapped), by the path on Win32.
bool PlatformSetAttributesOf(FileHandle file, const char* path, uint32_t attributes);

// Zero-filled memory, or null. Freed with PlatformFree.
void* PlatformAlloc(size_t size);

// Memory with undefined contents, or null; freed with PlatformFree. For
// large buffers that are written before they are read: nothing touches
// their pages up front (clearing 320 KB per entry cost Windows' heap a
// page fault per page, and small files use a few of them).
void* PlatformAllocScratch(size_t size);
void PlatformFree(void* block);

// PBKDF2 with HMAC-SHA256 (RFC 8018) over the system's own HMAC-SHA256:
// bcrypt.dll on Windows, loaded from the system folder on each call,
// OpenSSL's libcrypto on POSIX. Writes `outSize` bytes of key to
// `out`. False when the system has no such function or it fails.
bool PlatformPbkdf2Sha256(const uint8_t* password, uint32_t passwordSize, const uint8_t* salt, uint32_t saltSize,
                          uint32_t rounds, uint8_t* out, uint32_t outSize);

// Full path of the running executable into `buffer` (`size` bytes);
// returns its length, 0 on failure or when it does not fit.
uint32_t PlatformOwnPath(char* buffer, uint32_t size);
