// The path functions of platform.h for the Windows tool: paths in UTF-8,
// through the wide calls, long ones with the "\\?\" prefix (platform/wide_path.h),
// so that any name and any depth NTFS holds can be read and written.
#include <string>

#include "platform/wide_path.h"
#include "platform/win32_internal.h"

// What "\\?\" paths allow, less room for the prefix and a temporary name.
extern const uint32_t PLATFORM_PATH_LIMIT = 32000;

FileHandle PlatformOpenRead(const char* path) {
    return FromHandle(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
}

bool PlatformMap(const char* path, FileMapping* map, uint64_t maxSize) {
    return MapOpenedFile(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL),
                         map, maxSize);
}

// Shared for deletion: an interrupted run removes its temporary files by
// name while they are still open (tool/interrupt_cleanup.h), and Windows
// refuses that for a file opened without FILE_SHARE_DELETE.
FileHandle PlatformCreateNew(const char* path) {
    return FromHandle(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                  NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL));
}

bool PlatformDelete(const char* path) {
    return DeleteFileW(WidePath(path).c_str()) != 0;
}

bool PlatformReplace(const char* from, const char* to) {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool PlatformCreateDirectory(const char* path) {
    return CreateDirectoryW(WidePath(path).c_str(), NULL) != 0;
}

FileHandle PlatformOpenDirectory(const char* path) {
    // Backup semantics open files too, and a link is opened itself rather
    // than followed: only a directory that is no reparse point will do,
    // judged on what was opened, so nothing swapped in at the path after a
    // check gets re-timed.
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (h == INVALID_HANDLE_VALUE) return NO_FILE;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(h);
        return NO_FILE;
    }
    return FromHandle(h);
}

bool PlatformSetAttributes(const char* path, uint32_t attributes) {
    return SetFileAttributesW(WidePath(path).c_str(), attributes) != 0;
}

bool PlatformIsLink(const char* path) {
    DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool PlatformExists(const char* path) {
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PlatformIsProtected(const char* path) {
    DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t PlatformOwnPath(char* buffer, uint32_t size) {
    std::wstring wide(32768, L'\0');
    DWORD n = GetModuleFileNameW(NULL, &wide[0], (DWORD)wide.size());
    if (size == 0 || n == 0 || n >= wide.size()) return 0;
    std::string utf8 = WideToUtf8(wide.c_str(), n);
    if (utf8.size() >= size) return 0;
    utf8.copy(buffer, utf8.size());
    buffer[utf8.size()] = '\0';
    return (uint32_t)utf8.size();
}
