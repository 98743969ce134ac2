// The path functions of platform.h for the extractor: paths in the ANSI code
// page, the names the archive stores, through the narrow calls.
// Goes into the stub: no exceptions, no C runtime.
#include "platform/win32_internal.h"

extern const uint32_t PLATFORM_PATH_LIMIT = MAX_PATH - 1;

FileHandle PlatformOpenRead(const char* path) {
    return FromHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
}

bool PlatformMap(const char* path, FileMapping* map, uint64_t maxSize) {
    return MapOpenedFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, NULL),
                         map, maxSize);
}

FileHandle PlatformCreateNew(const char* path) {
    return FromHandle(CreateFileA(path, GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
}

bool PlatformDelete(const char* path) {
    return DeleteFileA(path) != 0;
}

bool PlatformReplace(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool PlatformCreateDirectory(const char* path) {
    return CreateDirectoryA(path, NULL) != 0;
}

FileHandle PlatformOpenDirectory(const char* path) {
    // Backup semantics open files too; only a directory will do here.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return NO_FILE;
    return FromHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_DIRECTORY, NULL));
}

bool PlatformSetAttributes(const char* path, uint32_t attributes) {
    return SetFileAttributesA(path, attributes) != 0;
}

bool PlatformIsLink(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool PlatformExists(const char* path) {
    // The attributes rather than a directory search: Wine answers a search
    // through its server, several round trips per call, and a lookup
    // without one.
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool PlatformIsProtected(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t PlatformOwnPath(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    DWORD n = GetModuleFileNameA(NULL, buffer, size);
    if (n == 0 || n >= size) return 0;
    return n;
}
