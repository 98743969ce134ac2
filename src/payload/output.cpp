// Output files are written under a temporary name in the destination's
// directory and moved over the destination only when complete, so a failed
// or cancelled entry never costs an existing file.
#include <string.h>

#include "payload/entry_internal.h"

namespace {

const uint32_t MAX_TEMP_PROBES = 4096;
const uint32_t TEMP_NAME_ROOM = 16;

// "~lbXXXX.tmp": 11 bytes and a terminator.
void FormatTempName(char* at, uint32_t counter) {
    static const char hex[] = "0123456789abcdef";
    memcpy(at, "~lb", 3);
    for (int i = 0; i < 4; i++) at[3 + i] = hex[(counter >> (12 - 4 * i)) & 15];
    memcpy(at + 7, ".tmp", 5);
}

}  // namespace

int OpenTempBeside(const char* finalPath, OutputFile* out) {
    out->handle = NO_FILE;
    size_t length = strlen(finalPath);
    out->tempPath = (char*)PlatformAlloc(length + TEMP_NAME_ROOM);
    if (!out->tempPath) return RESULT_NO_MEMORY;
    size_t directoryEnd = length;
    while (directoryEnd > 0 && finalPath[directoryEnd - 1] != '\\' && finalPath[directoryEnd - 1] != '/')
        directoryEnd--;
    memcpy(out->tempPath, finalPath, directoryEnd);
    // Seeded from the address so that concurrent extractions rarely collide.
    uint32_t seed = (uint32_t)((uintptr_t)out->tempPath >> 4);
    for (uint32_t probe = 0; probe < MAX_TEMP_PROBES; probe++) {
        FormatTempName(out->tempPath + directoryEnd, (seed + probe) & 0xFFFF);
        out->handle = PlatformCreateNew(out->tempPath);
        if (out->handle != NO_FILE) return RESULT_OK;
        // Nothing in the way: the directory itself is missing or closed.
        if (!PlatformExists(out->tempPath)) break;
    }
    PlatformFree(out->tempPath);
    out->tempPath = nullptr;
    return RESULT_CANNOT_CREATE;
}

void DiscardOutput(OutputFile* out) {
    PlatformClose(out->handle);
    out->handle = NO_FILE;
    if (out->tempPath) {
        // Attributes may already hold read-only, which Windows would refuse
        // to delete.
        PlatformSetAttributes(out->tempPath, ATTR_NORMAL);
        PlatformDelete(out->tempPath);
    }
    PlatformFree(out->tempPath);
    out->tempPath = nullptr;
}

int CommitOutput(OutputFile* out, const char* finalPath, const EntryInfo* info) {
    PlatformSetAttributes(out->tempPath, info->attributes);
    PlatformSetTimes(out->handle, &info->times);
    PlatformClose(out->handle);
    out->handle = NO_FILE;
    if (!PlatformReplace(out->tempPath, finalPath)) {
        DiscardOutput(out);
        return RESULT_CANNOT_CREATE;
    }
    PlatformFree(out->tempPath);
    out->tempPath = nullptr;
    return RESULT_OK;
}
