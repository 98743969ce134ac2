// Output files are written under a temporary name in the destination's
// directory and moved over the destination only when complete, so a failed
// or cancelled entry never costs an existing file.
#include <string.h>

#include "payload/entry_internal.h"

namespace {

const uint32_t MAX_TEMP_PROBES = 4096;
const uint32_t TEMP_NAME_LENGTH = 11;

// "~lbXXXX.tmp" (XXXX: the counter in hex), or when `length` is shorter,
// '~' and as many of the counter's low hex digits as fit (one digit alone).
void FormatTempName(char* at, uint32_t length, uint32_t counter) {
    static const char hex[] = "0123456789abcdef";
    uint32_t first = length > 1 ? 1 : 0, end = length;  // where the digits go
    if (length >= TEMP_NAME_LENGTH) {
        memcpy(at, "~lbXXXX.tmp", TEMP_NAME_LENGTH + 1);
        first = 3;
        end = 7;
    } else {
        at[0] = '~';
        at[length] = 0;
    }
    for (uint32_t i = end; i-- > first; counter >>= 4) at[i] = hex[counter & 15];
}

}  // namespace

int OpenTempBeside(FileHandle folder, const char* finalPath, OutputFile* out) {
    out->handle = NO_FILE;
    size_t length = strlen(finalPath);
    out->tempPath = (char*)PlatformAlloc(length + TEMP_NAME_LENGTH + 1);
    if (!out->tempPath) return RESULT_NO_MEMORY;
    size_t directoryEnd = length;
    while (directoryEnd > 0 && finalPath[directoryEnd - 1] != '\\' && finalPath[directoryEnd - 1] != '/')
        directoryEnd--;
    memcpy(out->tempPath, finalPath, directoryEnd);
    // The temporary name must not push a path that fits over the limit; it
    // then takes only the room there is, at least as much as the final name.
    uint32_t nameLength = TEMP_NAME_LENGTH;
    if (length <= PLATFORM_PATH_LIMIT && directoryEnd + nameLength > PLATFORM_PATH_LIMIT)
        nameLength = (uint32_t)(PLATFORM_PATH_LIMIT - directoryEnd);
    // Seeded from the address so that concurrent extractions rarely collide.
    uint32_t seed = (uint32_t)((uintptr_t)out->tempPath >> 4);
    for (uint32_t probe = 0; probe < MAX_TEMP_PROBES; probe++) {
        FormatTempName(out->tempPath + directoryEnd, nameLength, (seed + probe) & 0xFFFF);
        out->handle = PlatformCreateNewAt(folder, out->tempPath);
        if (out->handle != NO_FILE) return RESULT_OK;
        // Nothing in the way: the directory itself is missing or closed.
        if (!PlatformExistsAt(folder, out->tempPath)) break;
    }
    PlatformFree(out->tempPath);
    out->tempPath = nullptr;
    return RESULT_CANNOT_CREATE;
}

void DiscardOutput(FileHandle folder, OutputFile* out) {
    // Attributes may already hold read-only, which Windows would refuse to
    // delete.
    if (out->tempPath) PlatformSetAttributesOf(out->handle, out->tempPath, ATTR_NORMAL);
    PlatformClose(out->handle);
    out->handle = NO_FILE;
    if (out->tempPath) PlatformDeleteAt(folder, out->tempPath);
    PlatformFree(out->tempPath);
    out->tempPath = nullptr;
}

int CommitOutput(FileHandle folder, OutputFile* out, const char* finalPath, const EntryInfo* info) {
    PlatformSetAttributesOf(out->handle, out->tempPath, info->attributes);
    PlatformSetTimes(out->handle, &info->times);
    PlatformClose(out->handle);
    out->handle = NO_FILE;
    if (!PlatformReplaceAt(folder, out->tempPath, finalPath)) {
        DiscardOutput(folder, out);
        return RESULT_CANNOT_CREATE;
    }
    PlatformFree(out->tempPath);
    out->tempPath = nullptr;
    return RESULT_OK;
}
