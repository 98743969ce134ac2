// Whole-file reads and writes and FILETIME values, for every test program.
#pragma once
#include <stdint.h>

#include <fstream>
#include <iterator>
#include <string>

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

// FILETIME (100-ns ticks since 1601) of a Unix time plus `ticks`.
inline uint64_t FiletimeOf(int64_t unixSeconds, uint32_t ticks = 0) {
    return (uint64_t)((unixSeconds + 11644473600LL) * 10000000LL + ticks);
}
