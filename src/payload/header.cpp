// The archive header: read field by field, one read per field, from P.
#include <string.h>

#include "payload/reader.h"

namespace {

bool ReadExactly(void* buffer, uint32_t size) {
    return PlatformRead(ArchiveFile, buffer, size) == size;
}

bool ReadU32(uint32_t* value) {
    uint8_t raw[4];
    if (!ReadExactly(raw, 4)) return false;
    *value = LoadLE32(raw);
    return true;
}

// Reads the title into a new string, published in WindowTitle only once it
// is complete and terminated (the launcher may use it as a caption).
bool ReadTitle(uint32_t length) {
    char* title = (char*)PlatformAlloc(length + 1);
    if (!title) return false;
    if (length != 0 && !ReadExactly(title, length)) {
        PlatformFree(title);
        return false;
    }
    title[length] = 0;
    WindowTitle = title;
    return true;
}

int ReadFields(int64_t payload) {
    if (!ReadU32(&OpenFolderShowCmd) || !ReadExactly(&LayoutMode, 1) ||
        !ReadU32(&BackgroundWidth) || !ReadU32(&BackgroundHeight))
        return RESULT_CORRUPT;
    uint32_t titleLength;
    if (!ReadU32(&titleLength) || titleLength > MAX_NAME) return RESULT_CORRUPT;
    if (!ReadTitle(titleLength)) return RESULT_CORRUPT;
    if (!ReadExactly(PasswordCheckBlock, CHECK_BLOCK_SIZE)) return RESULT_CORRUPT;
    uint8_t raw[2];
    if (!ReadExactly(raw, 2)) return RESULT_CORRUPT;
    uint16_t runAfterLength = LoadLE16(raw);
    if (runAfterLength > MAX_NAME) return RESULT_CORRUPT;
    if (runAfterLength != 0 && !ReadExactly(RunAfterName, runAfterLength)) return RESULT_CORRUPT;
    RunAfterLength = runAfterLength;
    FirstEntryOffset = payload + HDR_FIXED_SIZE + titleLength + runAfterLength;
    return RESULT_OK;
}

}  // namespace

int ReadArchiveHeaderFrom(const char* path) {
    // A tool or a test may open several archives in one process: drop what
    // an earlier header left, but keep the overwrite answers.
    PlatformClose(ArchiveFile);
    ArchiveFile = NO_FILE;
    PlatformFree(WindowTitle);
    WindowTitle = nullptr;
    FirstEntryOffset = 0;
    RunAfterLength = 0;
    memset(RunAfterName, 0, sizeof RunAfterName);

    int64_t payload = LocatePayload(path);
    if (payload < 0) return RESULT_CORRUPT;
    ArchiveFile = PlatformOpenRead(path);
    if (ArchiveFile == NO_FILE) return RESULT_CORRUPT;
    if (PlatformSeek(ArchiveFile, payload) != payload) return RESULT_CORRUPT;
    return ReadFields(payload);
}

int ReadArchiveHeader() {
    char path[MAX_NAME];
    if (PlatformOwnPath(path, sizeof path) == 0) return RESULT_CORRUPT;
    return ReadArchiveHeaderFrom(path);
}
