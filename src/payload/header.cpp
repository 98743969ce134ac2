// The archive header: read field by field, one read per field, from P;
// closing and rewinding an archive.
#include <string.h>

#include "payload/reader.h"

namespace {

bool ReadExactly(Reader* reader, void* buffer, uint32_t size) {
    return PlatformRead(reader->file, buffer, size) == size;
}

bool ReadU32(Reader* reader, uint32_t* value) {
    uint8_t raw[4];
    if (!ReadExactly(reader, raw, 4)) return false;
    *value = LoadLE32(raw);
    return true;
}

// Reads the title into a new string, published in windowTitle only once it
// is complete and terminated (the launcher may use it as a caption).
bool ReadTitle(Reader* reader, uint32_t length) {
    char* title = (char*)PlatformAlloc(length + 1);
    if (!title) return false;
    if (length != 0 && !ReadExactly(reader, title, length)) {
        PlatformFree(title);
        return false;
    }
    title[length] = 0;
    reader->windowTitle = title;
    return true;
}

int ReadFields(Reader* reader, int64_t payload) {
    if (!ReadU32(reader, &reader->openFolderShowCmd) || !ReadExactly(reader, &reader->layoutMode, 1) ||
        !ReadU32(reader, &reader->backgroundWidth) || !ReadU32(reader, &reader->backgroundHeight))
        return RESULT_CORRUPT;
    uint32_t titleLength;
    if (!ReadU32(reader, &titleLength) || titleLength > MAX_NAME) return RESULT_CORRUPT;
    if (!ReadTitle(reader, titleLength)) return RESULT_CORRUPT;
    if (!ReadExactly(reader, reader->passwordCheckBlock, CHECK_BLOCK_SIZE)) return RESULT_CORRUPT;
    uint8_t raw[2];
    if (!ReadExactly(reader, raw, 2)) return RESULT_CORRUPT;
    uint16_t runAfterLength = LoadLE16(raw);
    if (runAfterLength > MAX_NAME) return RESULT_CORRUPT;
    if (runAfterLength != 0 && !ReadExactly(reader, reader->runAfterName, runAfterLength)) return RESULT_CORRUPT;
    reader->runAfterLength = runAfterLength;
    reader->firstEntryOffset = payload + HDR_FIXED_SIZE + titleLength + runAfterLength;
    return RESULT_OK;
}

}  // namespace

void CloseArchive(Reader* reader) {
    PlatformClose(reader->file);
    PlatformFree(reader->windowTitle);
    // Everything up to the answers is the header's.
    memset(reader, 0, (size_t)((char*)&reader->answers - (char*)reader));
}

OwnedReader::~OwnedReader() { CloseArchive(this); }

int RewindToFirstEntry(Reader* reader) {
    if (reader->file == NO_FILE || reader->firstEntryOffset <= 0) return RESULT_CORRUPT;
    int64_t at = reader->firstEntryOffset;
    return PlatformSeek(reader->file, at) == at ? RESULT_OK : RESULT_CORRUPT;
}

int ReadArchiveHeaderFrom(Reader* reader, const char* path) {
    // A tool or a test may open several archives with one reader: drop what
    // an earlier header left, but keep the overwrite answers.
    CloseArchive(reader);
    CertificateTable table = {0, 0};
    int64_t payload = LocatePayload(path, &table);
    if (payload < 0) return RESULT_CORRUPT;
    reader->file = PlatformOpenRead(path);
    if (reader->file == NO_FILE) return RESULT_CORRUPT;
    int64_t size = PlatformFileSize(reader->file);
    reader->entriesEnd = size;
    if (table.size != 0) {
        // Signing appends a certificate table, outside what the signature
        // covers: no entry may reach into it.
        if ((int64_t)table.offset + table.size != size) return RESULT_CORRUPT;
        reader->entriesEnd = table.offset;
        reader->certificatePadding = 1;
    }
    if (PlatformSeek(reader->file, payload) != payload) return RESULT_CORRUPT;
    int result = ReadFields(reader, payload);
    if (result == RESULT_OK && reader->entriesEnd < reader->firstEntryOffset) return RESULT_CORRUPT;
    return result;
}

int ReadArchiveHeader(Reader* reader) {
    char path[MAX_NAME];
    if (PlatformOwnPath(path, sizeof path) == 0) return RESULT_CORRUPT;
    return ReadArchiveHeaderFrom(reader, path);
}
