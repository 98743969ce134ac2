// The archive reader: payload location, the archive header and entry
// extraction. One implementation for the extractor and the lockbox tool.
// Reaches the operating system only through platform/platform.h; never
// prints or shows anything; returns ExtractResult codes (results.h).
#pragma once
#include <stdint.h>
#include "crypto/cipher.h"
#include "payload/format.h"
#include "payload/results.h"
#include "platform/platform.h"

// ---- Overwrite answers ----------------------------------------------------
// Set to 1 only by the overwrite question, never cleared by the reader.
struct OverwriteAnswers {
    int32_t yesToAll;
    int32_t noToAll;
    int32_t cancelled;
};

// The overwrite question, given by each front end (the extractor's dialog,
// the tool's prompt, tests). Called with the reader's questionUser and the
// entry's relative name when a file exists at its path and no sticky answer
// decides; returns 1 to overwrite, anything else to keep the file; may set
// the reader's answers. Null means "keep".
typedef int (*OverwriteQuestion)(void* user, const char* name);

// Turns a stored name (code-page bytes, '\\' separators) into the bytes the
// file system takes, as a new PlatformAlloc block (null: out of memory).
// Given by front ends whose file system wants another encoding (the tool on
// POSIX writes UTF-8), so that the existence check, the overwrite question's
// path and the write all use the final name. Null: names are used as stored.
typedef char* (*NameConversion)(void* user, const char* name);

struct Reader;

// Called as the reader goes through the archive: once an entry's name is
// read, and after each piece of its data (at most IO_CHUNK bytes). The
// reader's entryName is the entry's name during the call. Null: nothing is
// called. The extractor's window keeps itself alive and shows progress here.
typedef void (*ProgressHook)(Reader* reader);

// Everything one open archive needs. All zero is a closed reader with no
// question and no conversion; the header fields (all before `answers`,
// which CloseArchive clears) are filled by ReadArchiveHeaderFrom, the rest
// by the front end.
struct Reader {
    FileHandle file;              // open read handle on the archive; NO_FILE when closed
    int64_t firstEntryOffset;     // P + 35 + T + R, where entries begin
    int64_t entriesEnd;           // where they end: the file's size, or where a
                                  // signature's certificate table begins
    uint8_t certificatePadding;   // 1 when signed: up to 7 zero bytes may stand
                                  // between the last entry and that table
    uint32_t openFolderShowCmd;
    uint8_t layoutMode;
    uint32_t backgroundWidth;     // the window layout may raise these two
    uint32_t backgroundHeight;
    char* windowTitle;            // null until the title is read in full
    uint8_t passwordCheckBlock[16];
    uint16_t runAfterLength;      // R; 0 = nothing to open after the run
    uint8_t runAfterName[260];    // R encrypted bytes, the rest zero
    OverwriteAnswers answers;
    OverwriteQuestion askOverwrite;
    void* questionUser;
    NameConversion convertName;
    void* conversionUser;
    ProgressHook onProgress;
    const char* entryName;        // set before each onProgress call
};

// A Reader that closes its archive when it goes out of scope (also when an
// exception passes): for callers that open archives one after another.
struct OwnedReader : Reader {
    OwnedReader() : Reader() {}
    ~OwnedReader();
    OwnedReader(const OwnedReader&) = delete;
    OwnedReader& operator=(const OwnedReader&) = delete;
};

// Data directory entry 4 of a PE image: the attribute certificate table
// that code signing appends to the file. Size 0: the image is not signed.
struct CertificateTable {
    uint32_t offset;   // a file offset, not an RVA
    uint32_t size;
};

// Finds the payload position P in the bytes of a PE image of either kind
// (PE32 or PE32+, payload/pe.h): the end of the raw data of the last
// section-table entry. -1 when the image does not qualify (another magic,
// no sections, its PE header beyond PE_MAX_HEADER_AT) or any field lies
// beyond `size`. When `table` is given it
// receives data directory entry 4 as it stands (unchecked).
int64_t LocatePayloadInImage(const uint8_t* image, uint64_t size, CertificateTable* table = nullptr);

// Maps the file at `path` and runs LocatePayloadInImage; -1 when the file
// cannot be opened or mapped or does not qualify.
int64_t LocatePayload(const char* path, CertificateTable* table = nullptr);

struct KeyStretch;

// Reads the key-stretch resource (format.h) of the archive at `path`, a PE
// image of either kind, into `stretch`: RESULT_OK when it is there and
// valid (ParseKeyStretch), RESULT_END when the image has no such resource
// (also when it has no resource tree the walk can follow: the archive is
// then keyed by the password itself, as the extractor's loader would find
// nothing either), RESULT_CORRUPT when the file cannot be opened or the
// resource is there but malformed. The extractor asks its loader instead.
int ReadKeyStretchOf(const char* path, KeyStretch* stretch);

// Locates the payload of the file at `path`, opens reader->file on it and
// reads the header into the reader's header fields, leaving the file (at
// firstEntryOffset) at the first entry. A file and title from an earlier
// header are dropped first; the answers, question and conversion stay.
// A signed image's certificate table must end the file and begin no
// earlier than the first entry; entries then end where it begins.
// RESULT_OK or RESULT_CORRUPT; after a failure windowTitle is null or the
// complete title.
int ReadArchiveHeaderFrom(Reader* reader, const char* path);

// ReadArchiveHeaderFrom on the running executable's own file.
int ReadArchiveHeader(Reader* reader);

// Positions the reader's file at the first entry, so a new run reads the
// whole archive again. RESULT_OK or RESULT_CORRUPT.
int RewindToFirstEntry(Reader* reader);

// Closes the file, frees the title and zeroes the header fields; the
// answers, question and conversion stay.
void CloseArchive(Reader* reader);

// What an entry holds, as read by ReadEntrySkippingData (below).
struct EntryInfo {
    uint32_t storedSize;
    uint64_t originalSize;       // 0 when the writer did not record it
    uint32_t attributes;
    FileTimes times;
    uint16_t nameLength;
    char name[261];              // decrypted, zero-terminated
};

// How ExtractOrTestEntry treats file data.
enum ExtractMode {
    EXTRACT_WRITE = 0,   // restore under the destination
    EXTRACT_TEST = 1,    // decrypt and inflate, write nothing, create nothing
};

// Restores one entry from the reader's file under `destination` (non-empty; a
// trailing '\' is optional). `ctx` must hold a freshly derived stream key
// (DeriveStreamKey). Results:
//   RESULT_OK            entry restored or skipped; next entry follows
//   RESULT_END           archive ended exactly at an entry boundary
//   RESULT_CANCELLED     the overwrite question was cancelled; nothing of
//                        the entry was written
//   RESULT_CANNOT_CREATE the directory or the output file cannot be created,
//                        the finished file cannot replace the existing one,
//                        or the path passes through a link below the
//                        destination (PlatformOpenEntryFolder): nothing is
//                        created, replaced or re-timed through one
//   RESULT_CORRUPT       short header/name, name length over 260, a name that
//                        fails IsSafeName (below), inflate error,
//                        stored data ending before the stream or behind it
//   RESULT_NO_MEMORY     buffers or zlib state could not be allocated
// A file is written to a temporary name beside its destination and moved
// over it only after the stream ended cleanly; on any failure the temporary
// file is removed and the destination is untouched.
int ExtractEntry(Reader* reader, CipherContext* ctx, const char* destination);

// ExtractEntry with a mode; `info` (may be null) receives the entry's
// header and name once they are read.
int ExtractOrTestEntry(Reader* reader, CipherContext* ctx, const char* destination, ExtractMode mode,
                   EntryInfo* info);

// ---- The same, step by step -------------------------------------------
// ExtractOrTestEntry is ReadEntryHead, PrepareEntry, InflateEntryData from
// the reader's file and FinishEntry. Callers that inflate several entries at once
// run the steps themselves: the data of each file starts where its name
// ends, and a copy of `ctx` taken there decrypts it from any handle.

// Reads the EntryHeader, the name length and the name from the reader's file and
// decrypts the name (one piece) into `info`, zero-terminated.
// RESULT_OK; RESULT_END at entriesEnd (in a signed image also in front of
// up to 7 zero bytes before it); RESULT_CORRUPT for a short header, length
// or name, a length over 260, a file's data reaching past entriesEnd, or
// padding that is not zero.
// info->nameLength is 0 unless the whole name was read.
int ReadEntryHead(Reader* reader, CipherContext* ctx, EntryInfo* info);

// The code page the writer recorded in the (plain) EntryHeader at the
// reader's position, without moving it: 0 when none was recorded or no
// whole header lies there.
uint16_t PeekRecordedCodepage(Reader* reader);

// A file being written under a temporary name beside its final path.
struct OutputFile {
    FileHandle handle;
    char* tempPath;       // PlatformAlloc'd
};

// What PrepareEntry leaves for the data step.
struct PendingData {
    bool dataFollows;     // a file: its stored data must be inflated next
    OutputFile output;    // handle NO_FILE: the data is checked, not written
    char* path;           // final path while output is open (PlatformAlloc'd)
    FileHandle folder;    // the folder both lie in while output is open
                          // (PlatformOpenEntryFolder)
};

// Checks the name, restores a directory, and for a file asks the overwrite
// question and opens the temporary output. Results as ExtractOrTestEntry; on
// anything but RESULT_OK nothing is left open. In test mode nothing is
// created.
int PrepareEntry(Reader* reader, const char* destination, ExtractMode mode, const EntryInfo* entry,
                 PendingData* pending);

// Room InflateEntryData works in: an input and an output piece.
const uint32_t INFLATE_BUFFERS_SIZE = 2 * IO_CHUNK;

// Reads, decrypts and inflates `storedSize` bytes of entry data from
// `source`, writing the output to `out` (NO_FILE: the output is checked
// and dropped). Works in `buffers` (INFLATE_BUFFERS_SIZE bytes, contents
// not kept) or, when null, in memory of its own: threads that inflate many
// entries keep one set each instead of mapping it anew per entry.
// Consumes exactly `storedSize` bytes when it succeeds.
// RESULT_OK: the zlib stream ended exactly at the end of the stored data
// (or storedSize is 0: no data, empty output).
// RESULT_CORRUPT: inflate error, preset dictionary, stored data ending
// before the stream, or stored bytes left behind the stream.
// RESULT_NO_MEMORY: buffers or zlib state. RESULT_CANNOT_CREATE: a write failed.
// `progress`, when given, has its onProgress hook called after each piece.
int InflateEntryData(CipherContext* ctx, FileHandle source, uint32_t storedSize, FileHandle out,
                     uint8_t* buffers = nullptr, Reader* progress = nullptr);

// Ends what PrepareEntry began, given the data step's result: the output
// is moved over the final path on RESULT_OK and removed otherwise. Returns
// the entry's result.
int FinishEntry(int dataResult, const EntryInfo* entry, PendingData* pending);

// Reads one entry's header and name and skips its data without decoding it
// (for listing). RESULT_OK, RESULT_END at the end, RESULT_CORRUPT.
int ReadEntrySkippingData(Reader* reader, CipherContext* ctx, EntryInfo* info);

// Joins destination, PLATFORM_SEPARATOR (unless it already ends with one)
// and name (through the reader's convertName when set), whose '\' and '/' become
// PLATFORM_SEPARATOR, into a new PlatformAlloc block. Null when memory runs
// out. The caller frees it.
char* BuildEntryPath(const Reader* reader, const char* destination, const char* name);

// Checks the components of `path` from offset `from` on (the part an
// archive names; the destination before it may be a link, as the user chose
// it) and returns the length of the first prefix that is a symbolic link,
// junction or other reparse point, 0 when none is. Writes a terminator into
// `path` for each check and puts the character back. A check by path, for
// naming the link in a message: the reader itself reaches entries through
// PlatformOpenEntryFolder.
uint32_t FindLinkInPath(char* path, uint32_t from);

// True when a decrypted name may be used under the destination: not empty,
// no leading '\' or '/', no ':', no control character or < > " | ? *, no
// ".." component (either separator; also "..." and ".. ", which Windows
// reads as ".."), no last component of only dots and spaces ("."), no
// component that Windows takes for a device (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, CONIN$, CONOUT$, in any case, also with an extension or
// trailing spaces before it). The reader also refuses a name that holds a
// NUL byte.
bool IsSafeName(const char* name);

// Characters no Windows file name holds: control characters and
// " * : < > ? | (':' also marks drives and alternate streams).
bool IsForbiddenNameCharacter(char c);
