// Win32 implementation of platform.h, for the extractor and the Windows tool:
// what works on open handles and memory. The functions that take paths come
// from win32_ansi_paths.cpp (the extractor: the ANSI code page, MAX_PATH) or
// win32_wide_paths.cpp (the tool: UTF-8, any length).
// Goes into the stub: no exceptions, no C runtime beyond memset.
#include "platform/win32_internal.h"

#include <string.h>

#include <atomic>

namespace {

HANDLE ToHandle(FileHandle file) { return (HANDLE)file; }

FILETIME ToFiletime(uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)ticks;
    ft.dwHighDateTime = (DWORD)(ticks >> 32);
    return ft;
}

}  // namespace

uint32_t PlatformRead(FileHandle file, void* buffer, uint32_t size) {
    DWORD got = 0;
    if (!ReadFile(ToHandle(file), buffer, size, &got, NULL)) return 0;
    return got;
}

int64_t PlatformSeek(FileHandle file, int64_t offset) {
    if (offset < 0) return -1;
    LARGE_INTEGER to, at;
    to.QuadPart = offset;
    if (!SetFilePointerEx(ToHandle(file), to, &at, FILE_BEGIN)) return -1;
    return at.QuadPart;
}

int64_t PlatformTell(FileHandle file) {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(ToHandle(file), zero, &at, FILE_CURRENT)) return -1;
    return at.QuadPart;
}

int64_t PlatformFileSize(FileHandle file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(ToHandle(file), &size) ? size.QuadPart : -1;
}

bool MapOpenedFile(HANDLE file, FileMapping* map, uint64_t maxSize) {
    memset(map, 0, sizeof *map);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(file, &fileSize) || fileSize.QuadPart <= 0) {
        CloseHandle(file);
        return false;
    }
    uint64_t size = (uint64_t)fileSize.QuadPart;
    if (size > maxSize) size = maxSize;
    if (size == 0 || size > (SIZE_T)-1) {
        CloseHandle(file);
        return false;
    }
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (mapping == NULL) {
        CloseHandle(file);
        return false;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, (SIZE_T)size);
    if (view == NULL) {
        CloseHandle(mapping);
        CloseHandle(file);
        return false;
    }
    map->data = (const uint8_t*)view;
    map->size = size;
    map->file = (intptr_t)file;
    map->mapping = (intptr_t)mapping;
    return true;
}

void PlatformUnmap(FileMapping* map) {
    if (map->data) {
        UnmapViewOfFile(map->data);
        CloseHandle((HANDLE)map->mapping);
        CloseHandle((HANDLE)map->file);
    }
    memset(map, 0, sizeof *map);
}

// Set by any thread that writes; read once the writes are over.
static std::atomic<bool> g_DiskWasFull{false};

bool PlatformWrite(FileHandle file, const void* data, uint32_t size) {
    const char* p = (const char*)data;
    while (size > 0) {
        DWORD done = 0;
        if (!WriteFile(ToHandle(file), p, size, &done, NULL) || done == 0) {
            DWORD error = GetLastError();
            if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
                g_DiskWasFull.store(true, std::memory_order_relaxed);
            return false;
        }
        p += done;
        size -= done;
    }
    return true;
}

bool PlatformDiskWasFull() { return g_DiskWasFull.load(std::memory_order_relaxed); }

void PlatformClose(FileHandle file) {
    if (file != NO_FILE) CloseHandle(ToHandle(file));
}

bool PlatformSetTimes(FileHandle file, const FileTimes* times) {
    FILETIME creation = ToFiletime(times->creation);
    FILETIME access = ToFiletime(times->lastAccess);
    FILETIME write = ToFiletime(times->lastWrite);
    return SetFileTime(ToHandle(file), &creation, &access, &write) != 0;
}

void* PlatformAlloc(size_t size) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

void* PlatformAllocScratch(size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void PlatformFree(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}


// ---- Files under the destination: checked by path, then used by path ------
// The narrow calls the extractor makes take paths only, so each level is
// checked for a link by its attributes (PlatformIsLink of the half the
// program links) and the entry is then reached by its path.

namespace {
// What PlatformOpenEntryFolder hands out here: no handle, only "checked".
const FileHandle CHECKED_FOLDER = 1;
}  // namespace

FileHandle PlatformOpenEntryFolder(char* path, uint32_t from) {
    for (char* p = path + from;; ++p) {
        char c = *p;
        if (c == 0 || c == '\\' || c == '/') {
            *p = 0;  // the path up to this level, for a moment
            bool link = p > path + from && PlatformIsLink(path);
            *p = c;
            if (link) return NO_FILE;
            if (c == 0) return CHECKED_FOLDER;
        }
    }
}

void PlatformCloseFolder(FileHandle) {}

bool PlatformCreateDirectoryAt(FileHandle, const char* path) { return PlatformCreateDirectory(path); }

FileHandle PlatformOpenDirectoryAt(FileHandle, const char* path) { return PlatformOpenDirectory(path); }

bool PlatformExistsAt(FileHandle, const char* path) { return PlatformExists(path); }

bool PlatformIsProtectedAt(FileHandle, const char* path) { return PlatformIsProtected(path); }

FileHandle PlatformCreateNewAt(FileHandle, const char* path) { return PlatformCreateNew(path); }

bool PlatformDeleteAt(FileHandle, const char* path) { return PlatformDelete(path); }

bool PlatformReplaceAt(FileHandle, const char* from, const char* to) { return PlatformReplace(from, to); }

bool PlatformSetAttributesOf(FileHandle, const char* path, uint32_t attributes) {
    return PlatformSetAttributes(path, attributes);
}
