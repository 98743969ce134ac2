// POSIX implementation of platform.h, for the Linux tool and the host tests.
// Paths arrive in native form: the reader joins stored names with '/' here.
#include "platform/platform.h"

#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const uint64_t TICKS_PER_SECOND = 10000000;
// 100-ns ticks from 1601-01-01 to 1970-01-01.
const uint64_t EPOCH_DIFFERENCE = 116444736000000000ULL;

// FILETIME ticks to a timespec, exact to the 100 ns and with floor division
// so that times before 1970 keep a non-negative nanosecond part. A zero
// FILETIME means "leave unchanged", as SetFileTime treats it.
timespec ToTimespec(uint64_t ticks) {
    timespec ts;
    if (ticks == 0) {
        ts.tv_sec = 0;
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    if (ticks >= EPOCH_DIFFERENCE) {
        uint64_t t = ticks - EPOCH_DIFFERENCE;
        ts.tv_sec = (time_t)(t / TICKS_PER_SECOND);
        ts.tv_nsec = (long)(t % TICKS_PER_SECOND) * 100;
    } else {
        uint64_t before = EPOCH_DIFFERENCE - ticks;
        uint64_t seconds = before / TICKS_PER_SECOND;
        uint64_t rest = before % TICKS_PER_SECOND;
        ts.tv_sec = -(time_t)seconds;
        ts.tv_nsec = 0;
        if (rest != 0) {
            ts.tv_sec -= 1;
            ts.tv_nsec = (long)(TICKS_PER_SECOND - rest) * 100;
        }
    }
    return ts;
}

}  // namespace

extern const uint32_t PLATFORM_PATH_LIMIT = 4095;

// Handles are descriptors plus one, so that NO_FILE (0) is never a valid
// handle and zero-initialised handle variables mean "no file".
static FileHandle FromDescriptor(int fd) { return fd < 0 ? NO_FILE : (FileHandle)fd + 1; }
static int Descriptor(FileHandle file) { return (int)(file - 1); }

FileHandle PlatformOpenRead(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    return FromDescriptor(fd);
}

uint32_t PlatformRead(FileHandle file, void* buffer, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = read(Descriptor(file), (char*)buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (uint32_t)n;
    }
    return done;
}

int64_t PlatformSeek(FileHandle file, int64_t offset) {
    if (offset < 0) return -1;
    off_t at = lseek(Descriptor(file), (off_t)offset, SEEK_SET);
    return at < 0 ? -1 : (int64_t)at;
}

int64_t PlatformTell(FileHandle file) {
    off_t at = lseek(Descriptor(file), 0, SEEK_CUR);
    return at < 0 ? -1 : (int64_t)at;
}

int64_t PlatformFileSize(FileHandle file) {
    struct stat st;
    return fstat(Descriptor(file), &st) != 0 ? -1 : (int64_t)st.st_size;
}

bool PlatformMap(const char* path, FileMapping* map, uint64_t maxSize) {
    memset(map, 0, sizeof *map);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        close(fd);
        return false;
    }
    uint64_t size = (uint64_t)st.st_size;
    if (size > maxSize) size = maxSize;
    if (size == 0 || size > (uint64_t)SIZE_MAX) {
        close(fd);
        return false;
    }
    void* data = mmap(nullptr, (size_t)size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return false;
    }
    map->data = (const uint8_t*)data;
    map->size = size;
    map->file = fd;
    map->mapping = 0;
    return true;
}

void PlatformUnmap(FileMapping* map) {
    if (map->data) munmap((void*)map->data, (size_t)map->size);
    if (map->data) close((int)map->file);
    memset(map, 0, sizeof *map);
}

FileHandle PlatformCreateNew(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return FromDescriptor(fd);
}

// Set by any thread that writes; read once the writes are over.
static std::atomic<bool> g_DiskWasFull{false};

bool PlatformWrite(FileHandle file, const void* data, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = write(Descriptor(file), (const char*)data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == ENOSPC || errno == EDQUOT)) g_DiskWasFull.store(true, std::memory_order_relaxed);
        if (n <= 0) return false;
        done += (uint32_t)n;
    }
    return true;
}

bool PlatformDiskWasFull() { return g_DiskWasFull.load(std::memory_order_relaxed); }

void PlatformClose(FileHandle file) {
    if (file != NO_FILE) close(Descriptor(file));
}

bool PlatformDelete(const char* path) {
    return unlink(path) == 0;
}

bool PlatformReplace(const char* from, const char* to) {
    return rename(from, to) == 0;
}

bool PlatformCreateDirectory(const char* path) {
    return mkdir(path, 0777) == 0;
}

FileHandle PlatformOpenDirectory(const char* path) {
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return FromDescriptor(fd);
}

bool PlatformSetAttributes(const char* path, uint32_t attributes) {
    struct stat st;
    if (stat(path, &st) != 0) return false;
    // Only the read-only bit has a counterpart, and only for files.
    if (!S_ISREG(st.st_mode) || !(attributes & 0x01)) return true;
    return chmod(path, st.st_mode & 07555) == 0;
}

bool PlatformSetTimes(FileHandle file, const FileTimes* times) {
    timespec ts[2] = {ToTimespec(times->lastAccess), ToTimespec(times->lastWrite)};
    return futimens(Descriptor(file), ts) == 0;
}

bool PlatformExists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

bool PlatformIsLink(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

bool PlatformIsProtected(const char*) {
    return false;
}

// ---- Files under the destination: one handle per folder, links refused ----

namespace {

// The last component of `path`: what the *At functions act on.
const char* LastName(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Set once openat2 turned out missing (kernels before 5.6, or a sandbox
// that refuses system calls it does not know).
std::atomic<bool> g_NoOpenat2{false};

// Opens the folder `relative` ('/' between levels) below the folder `base`,
// following no link and leaving `base` nowhere: -1 on failure.
int OpenBeneath(int base, const char* relative) {
    if (!g_NoOpenat2) {
        struct open_how how;
        memset(&how, 0, sizeof how);
        how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        for (int attempt = 0; attempt < 8; attempt++) {
            long fd = syscall(SYS_openat2, base, relative, &how, sizeof how);
            if (fd >= 0) return (int)fd;
            // EAGAIN: a rename raced the lookup; the kernel asks for another try.
            if (errno != EAGAIN) break;
        }
        if (errno != ENOSYS && errno != EPERM) return -1;
        g_NoOpenat2 = true;
    }
    // One level at a time, each opened in the one before without following
    // a link (O_NOFOLLOW with O_PATH would open a link itself, which
    // O_DIRECTORY and the check below refuse).
    int folder = fcntl(base, F_DUPFD_CLOEXEC, 0);
    for (const char* p = relative; folder >= 0 && *p;) {
        const char* end = strchr(p, '/');
        size_t length = end ? (size_t)(end - p) : strlen(p);
        char name[NAME_MAX + 1];
        int next = -1;
        if (length > 0 && length <= NAME_MAX) {
            memcpy(name, p, length);
            name[length] = 0;
            next = openat(folder, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat st;
            if (next >= 0 && (fstat(next, &st) != 0 || !S_ISDIR(st.st_mode))) {
                close(next);
                next = -1;
            }
        }
        close(folder);
        folder = next;
        p += length;
        while (*p == '/') p++;
    }
    return folder;
}

}  // namespace

FileHandle PlatformOpenEntryFolder(char* path, uint32_t from) {
    // The destination itself is followed if it is a link: the user chose it.
    char kept = path[from];
    path[from] = 0;
    int base = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    path[from] = kept;
    if (base < 0) return NO_FILE;
    char* relative = path + from;
    while (*relative == '/') relative++;
    char* last = strrchr(relative, '/');
    int folder = base;
    if (last) {
        *last = 0;
        folder = OpenBeneath(base, relative);
        *last = '/';
        close(base);
        if (folder < 0) return NO_FILE;
    }
    struct stat st;
    if (fstatat(folder, LastName(relative), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        close(folder);
        return NO_FILE;
    }
    return FromDescriptor(folder);
}

void PlatformCloseFolder(FileHandle folder) { PlatformClose(folder); }

bool PlatformCreateDirectoryAt(FileHandle folder, const char* path) {
    return mkdirat(Descriptor(folder), LastName(path), 0777) == 0;
}

FileHandle PlatformOpenDirectoryAt(FileHandle folder, const char* path) {
    return FromDescriptor(openat(Descriptor(folder), LastName(path), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool PlatformExistsAt(FileHandle folder, const char* path) {
    struct stat st;
    return fstatat(Descriptor(folder), LastName(path), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool PlatformIsProtectedAt(FileHandle, const char*) {
    return false;
}

FileHandle PlatformCreateNewAt(FileHandle folder, const char* path) {
    return FromDescriptor(
        openat(Descriptor(folder), LastName(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

bool PlatformDeleteAt(FileHandle folder, const char* path) {
    return unlinkat(Descriptor(folder), LastName(path), 0) == 0;
}

bool PlatformReplaceAt(FileHandle folder, const char* from, const char* to) {
    return renameat(Descriptor(folder), LastName(from), Descriptor(folder), LastName(to)) == 0;
}

bool PlatformSetAttributesOf(FileHandle file, const char*, uint32_t attributes) {
    struct stat st;
    if (fstat(Descriptor(file), &st) != 0) return false;
    // Only the read-only bit has a counterpart, and only for files.
    if (!S_ISREG(st.st_mode) || !(attributes & 0x01)) return true;
    return fchmod(Descriptor(file), st.st_mode & 07555) == 0;
}

// Every block carries its size in front, so that PlatformFree knows how it
// was obtained. Large blocks (the IO_CHUNK buffers of every file entry) come
// straight from mmap: the pages arrive zeroed and are faulted in only where
// touched, so a small file costs a few pages instead of calloc clearing
// 2 x 160000 bytes, and the heap is not grown and trimmed again per entry.
namespace {
const size_t MAP_THRESHOLD = 64 * 1024;
const size_t BLOCK_HEADER = 16;  // keeps the 16-byte alignment malloc gives
}  // namespace

void* PlatformAlloc(size_t size) {
    if (size > SIZE_MAX - BLOCK_HEADER) return nullptr;
    size_t total = size + BLOCK_HEADER;
    uint8_t* block;
    if (total >= MAP_THRESHOLD) {
        void* pages = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) return nullptr;
        block = (uint8_t*)pages;
    } else {
        block = (uint8_t*)calloc(1, total);
        if (!block) return nullptr;
    }
    memcpy(block, &total, sizeof total);
    return block + BLOCK_HEADER;
}

// Mapped pages cost nothing until touched, so the zeroed kind will do.
void* PlatformAllocScratch(size_t size) { return PlatformAlloc(size); }

void PlatformFree(void* memory) {
    if (!memory) return;
    uint8_t* block = (uint8_t*)memory - BLOCK_HEADER;
    size_t total;
    memcpy(&total, block, sizeof total);
    if (total >= MAP_THRESHOLD) {
        munmap(block, total);
    } else {
        free(block);
    }
}

uint32_t PlatformOwnPath(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    ssize_t n = readlink("/proc/self/exe", buffer, size);
    if (n <= 0 || (uint64_t)n >= size) return 0;
    buffer[n] = 0;
    return (uint32_t)n;
}
