// The plain EntryHeader, the name length and the encrypted name; listing.
#include <string.h>

#include "payload/entry_internal.h"

int ReadEntryHead(Reader* reader, CipherContext* ctx, EntryInfo* info) {
    int64_t left = reader->entriesEnd - PlatformTell(reader->file);
    if (left <= 0) return left == 0 ? RESULT_END : RESULT_CORRUPT;
    uint8_t raw[ENTRY_HEADER_SIZE];
    if (reader->certificatePadding && left < 8) {
        // Signing tools align the certificate table to 8 bytes with zeros.
        uint32_t n = (uint32_t)left;
        if (PlatformRead(reader->file, raw, n) != n) return RESULT_CORRUPT;
        while (n)
            if (raw[--n]) return RESULT_CORRUPT;
        return RESULT_END;
    }
    if (PlatformRead(reader->file, raw, ENTRY_HEADER_SIZE) != ENTRY_HEADER_SIZE) return RESULT_CORRUPT;

    memset(info, 0, sizeof *info);
    info->storedSize = LoadLE32(raw + ENT_STORED_SIZE);
    info->originalSize = LoadLE64(raw + ENT_ORIGINAL_SIZE);
    info->attributes = LoadLE32(raw + ENT_ATTRIBUTES);
    info->times.creation = LoadLE64(raw + ENT_CREATION);
    info->times.lastAccess = LoadLE64(raw + ENT_LAST_ACCESS);
    info->times.lastWrite = LoadLE64(raw + ENT_LAST_WRITE);

    // nameLength stays 0 until the whole name is in: callers print the name
    // of a damaged entry, and a length never checked would run them past
    // the buffer.
    uint8_t bytes[2];
    if (PlatformRead(reader->file, bytes, 2) != 2) return RESULT_CORRUPT;
    uint16_t length = LoadLE16(bytes);
    if (length > MAX_NAME) return RESULT_CORRUPT;
    if (PlatformRead(reader->file, info->name, length) != length) return RESULT_CORRUPT;
    DecryptStream(ctx, info->name, info->name, length);
    info->name[length] = 0;
    info->nameLength = length;
    // A header, name or file data reaching past the end (into a certificate
    // table, which the signature does not cover) is found here, before
    // anything is created for the entry.
    uint32_t data = (info->attributes & ATTR_DIRECTORY) ? 0 : info->storedSize;
    if (PlatformTell(reader->file) + data > reader->entriesEnd) return RESULT_CORRUPT;
    return RESULT_OK;
}

uint16_t PeekRecordedCodepage(Reader* reader) {
    int64_t at = PlatformTell(reader->file);
    uint8_t raw[ENTRY_HEADER_SIZE];
    uint16_t codepage = 0;
    if (at >= 0 && at <= reader->entriesEnd - (int64_t)ENTRY_HEADER_SIZE &&
        PlatformRead(reader->file, raw, ENTRY_HEADER_SIZE) == ENTRY_HEADER_SIZE)
        codepage = LoadLE16(raw + ENT_CODEPAGE);
    PlatformSeek(reader->file, at);
    return codepage;
}

int ReadEntrySkippingData(Reader* reader, CipherContext* ctx, EntryInfo* info) {
    int result = ReadEntryHead(reader, ctx, info);
    if (result != RESULT_OK) return result;
    if ((info->attributes & ATTR_DIRECTORY) || info->storedSize == 0) return RESULT_OK;
    // Seek to the data's last byte and read it: the position then stands at
    // the next entry, and a file too short for the data shows.
    int64_t at = PlatformTell(reader->file);
    if (at < 0) return RESULT_CORRUPT;
    int64_t last = at + (int64_t)info->storedSize - 1;
    uint8_t byte;
    if (PlatformSeek(reader->file, last) != last || PlatformRead(reader->file, &byte, 1) != 1)
        return RESULT_CORRUPT;
    return RESULT_OK;
}
