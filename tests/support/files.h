// Whole files, directory listings, what the file system says of a path, FILETIMEs: for every test.
#pragma once
#include <stdint.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using Bytes = std::vector<uint8_t>;
inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The file's bytes; empty when it cannot be read.
inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file with `bytes`; false when it cannot be written.
inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    return (bool)out;
}
inline bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

// FILETIME (100-ns ticks since 1601) of a Unix time plus `ticks`.
inline uint64_t FiletimeOf(int64_t unixSeconds, uint32_t ticks = 0) {
    return (uint64_t)((unixSeconds + 11644473600LL) * 10000000LL + ticks);
}

// Names of everything directly inside `dir`, sorted; none when it cannot be read.
inline std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What the file system reports about a path (links followed); POSIX keeps no creation time (0).
struct FileFacts {
    bool exists = false;
    bool directory = false;
    bool readOnly = false;
    uint64_t creation = 0, lastAccess = 0, lastWrite = 0;  // FILETIME
};

inline FileFacts FactsOf(const std::string& path) {
    FileFacts f;
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return f;
    auto join = [](FILETIME t) { return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime; };
    f.directory = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    f.readOnly = (d.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    f.creation = join(d.ftCreationTime);
    f.lastAccess = join(d.ftLastAccessTime);
    f.lastWrite = join(d.ftLastWriteTime);
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return f;
    f.directory = S_ISDIR(st.st_mode);
    f.readOnly = (st.st_mode & 0222) == 0;
    f.lastAccess = FiletimeOf(st.st_atim.tv_sec, (uint32_t)(st.st_atim.tv_nsec / 100));
    f.lastWrite = FiletimeOf(st.st_mtim.tv_sec, (uint32_t)(st.st_mtim.tv_nsec / 100));
#endif
    f.exists = true;
    return f;
}
