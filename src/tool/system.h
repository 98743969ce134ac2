// The few things the tool asks of the operating system beyond standard C++:
// terminals, reading a line without echo, file attributes and times, the
// command line as UTF-8, and running another program. system_posix.cpp and system_win32.cpp
// hold the two implementations; the build picks the one for its target.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Makes SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and
// closing the console) call `cleanup` first, then end the process as they
// would have. `cleanup` must be safe to call from a signal handler.
void OnInterrupt(void (*cleanup)());

// True when standard input / standard error is a terminal.
bool StdinIsTerminal();
bool StderrIsTerminal();

// Writes the UTF-8 `text` to `stream` (stdout or stderr): as UTF-16 to a
// Windows console, which shows every character that way whatever its code
// page; as the bytes themselves anywhere else (a terminal, a pipe, a file).
void WriteText(std::FILE* stream, const std::string& text);

// Prints `prompt` on stderr and reads one line from the terminal on stdin
// with echo off; the line ending is dropped. False at end of input.
bool ReadSecretLine(const std::string& prompt, std::string* line);

// Prints `prompt` on stderr and reads one line from stdin (echoed).
// False at end of input.
bool ReadAnswerLine(const std::string& prompt, std::string* line);

// What the archive records of a file or directory.
struct PathInfo {
    bool isDirectory = false;
    bool isRegular = false;    // a plain file (links followed, as for every field but isLink)
    bool isLink = false;       // the path itself is a symbolic link (on Windows also a junction)
    bool readOnly = false;     // no write permission for the owner / read-only attribute
    uint64_t size = 0;
    uint64_t creationTime = 0; // FILETIME; POSIX has none and reports last write
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
};

// Fills `info` for `path` (UTF-8). False with `error` set when the path
// cannot be examined, or is a link that leads nowhere (isLink is set then).
bool ExaminePath(const std::string& path, PathInfo* info, std::string* error);

// True when `path` (UTF-8) is an existing directory.
inline bool IsDirectory(const std::string& path) {
    PathInfo info;
    std::string error;
    return ExaminePath(path, &info, &error) && info.isDirectory;
}

// Why the system would refuse to create `path` (UTF-8): its own words for
// what stops it at the deepest folder above it that exists ("Permission
// denied", "Read-only file system"); empty when nothing is found.
std::string WhyCannotCreate(const std::string& path);

// The names in the directory `path` (UTF-8), without "." and "..", in no
// particular order. False with `error` set when it cannot be read. Windows
// reads directories of any depth (the C runtime's stops at MAX_PATH).
bool ListDirectory(const std::string& path, std::vector<std::string>* names, std::string* error);

// The program's arguments (without the program name) as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The code point of `byte` in the single-byte `codepage`, by the system's
// own converter (iconv on POSIX). False when the byte is undefined there
// or the system cannot convert that code page.
bool SystemCodepageChar(int codepage, uint8_t byte, uint32_t* codePoint);

// The lower-case partner of `codePoint` by the system's simple case
// mapping; other code points come back unchanged.
uint32_t SystemLowerCase(uint32_t codePoint);

// Has buffers of 1 MiB and more mapped and returned to the system one by
// one. `create` takes and frees such buffers for every file; glibc would
// otherwise raise its mapping threshold after the first free and keep them
// in a heap that fragments, so memory grew with the number of files.
void MapLargeBuffers();

// Default for --jobs.
int HardwareThreads();

// Fills `out` with `size` bytes from the system's random source (getrandom,
// BCryptGenRandom). False when the source fails.
bool SystemRandom(uint8_t* out, size_t size);

// How many files the process may have open at once, after raising the soft
// limit as far as the hard one allows (POSIX); Windows sets no such limit.
uint64_t OpenFileLimit();

// Runs the program `args[0]` (looked up on PATH) with the other arguments
// and waits for it. Returns its exit status, or -1 when it could not be
// started. On POSIX `output` receives what it wrote on stdout and stderr;
// on Windows it writes to the console and `output` stays empty.
int RunProgram(const std::vector<std::string>& args, std::string* output);
