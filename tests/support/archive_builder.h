// A small archive writer for tests, independent of the real one, with hooks to damage what it writes:
// lengths that lie, streams cut short or padded, hand-made zlib streams of an exact size.
#pragma once
#include <stdint.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "pack/writer.h"
#include "payload/format.h"
#include "platform/platform.h"
#include "support/files.h"
#include "support/pe_image.h"

inline void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
// `v` as `n` little-endian bytes.
inline void AppendLE(Bytes& to, uint64_t v, int n) {
    for (int i = 0; i < n; i++) to.push_back((uint8_t)(v >> (8 * i)));
}

// Deterministic bytes that deflate cannot shrink.
inline std::string NoiseBytes(size_t n, uint32_t seed = 1) {
    std::string s(n, 0);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < n; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = (char)(x >> 11);
    }
    return s;
}

// Deterministic bytes deflate shrinks by about half: 64 KiB of noise and of text in turn, the text
// repeating every 10,007 bytes so that matches reach back across any cut.
inline std::string MixedBytes(size_t n, uint32_t seed = 1) {
    static const char words[] = "lorem ipsum dolor sit amet consectetur adipiscing elit ";
    std::string s = NoiseBytes(n, seed);
    for (size_t i = 0; i < n; i++)
        if ((i >> 16) % 2 == 0) s[i] = words[(i % 10007 + seed) % (sizeof words - 1)];
    return s;
}

// One zlib stream (RFC 1950) of `data` at `level`.
inline Bytes ZlibCompress(const std::string& data, int level = 6) {
    uLongf size = compressBound((uLong)data.size());
    Bytes out(size);
    int z = compress2(out.data(), &size, (const Bytef*)data.data(), (uLong)data.size(), level);
    if (z != Z_OK) return Bytes();
    out.resize(size);
    return out;
}

// A zlib stream of stored blocks exactly `streamSize` (>= 11) bytes long; `data` gets its contents.
inline Bytes StoredStreamOfSize(size_t streamSize, std::string* data, uint32_t seed = 7) {
    // 2 header bytes + blocks of (5 + length) + 4 Adler-32 bytes.
    size_t blocks = 1, length = 0;
    for (;; blocks++) {
        length = streamSize - 6 - 5 * blocks;
        if ((length + 65534) / 65535 <= blocks) break;
    }
    *data = NoiseBytes(length, seed);
    Bytes out = {0x78, 0x01};
    size_t at = 0;
    for (size_t b = 0; b < blocks; b++) {
        size_t left = length - at;
        size_t blocksLeft = blocks - b;
        size_t n = (left + blocksLeft - 1) / blocksLeft;
        out.push_back(b + 1 == blocks ? 1 : 0);
        AppendLE(out, (uint16_t)n, 2);
        AppendLE(out, (uint16_t)~n, 2);
        out.insert(out.end(), data->begin() + at, data->begin() + at + n);
        at += n;
    }
    uint32_t adler = (uint32_t)adler32(adler32(0, nullptr, 0), (const Bytef*)data->data(),
                                       (uInt)data->size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((uint8_t)(adler >> shift));
    return out;
}

struct TestHeader {
    uint32_t showCmd = 0;
    uint8_t layout = 2;
    uint32_t width = 0;
    uint32_t height = 0;
    std::string title = "Test archive";
    std::string runAfter;            // plaintext; stored encrypted
    std::u16string password = u"secret";
    int64_t titleLength = -1;        // >= 0: written instead of the true length
    int64_t runAfterLength = -1;     // >= 0: written instead of the true length
};

struct TestEntry {
    std::string name;
    uint32_t attributes = ATTR_ARCHIVE;
    FileTimes times = {0, 0, 0};
    std::string data;                // uncompressed contents of a file entry
    int level = 6;
    Bytes stream;                    // when not empty: the stored zlib stream as is
    bool noStream = false;           // a file entry without any data (StoredSize 0)
    int64_t storedSize = -1;         // >= 0: written instead of the true length
    int64_t nameLength = -1;         // >= 0: written instead of the true length
    Bytes trailing;                  // plaintext bytes stored behind the stream
    size_t cutStream = 0;            // bytes cut off the end of the stream
    int flipByte = -1;               // >= 0: this byte of the stream is inverted
};

inline TestEntry TestFile(const std::string& name, const std::string& data) {
    TestEntry e;
    e.name = name;
    e.data = data;
    return e;
}
inline TestEntry TestDir(const std::string& name, uint32_t attributes = 0) {
    TestEntry e;
    e.name = name;
    e.attributes = attributes | ATTR_DIRECTORY;
    return e;
}

// Entries for the real writer.
inline WriterEntry WriterFile(const std::string& name, const std::string& data = "x",
                              uint32_t attributes = 0, uint64_t lastWrite = 0) {
    WriterEntry e;
    e.name = name;
    e.data = data;
    e.attributes = attributes;
    e.lastWriteTime = e.lastAccessTime = lastWrite;
    return e;
}
inline WriterEntry WriterDir(const std::string& name, uint64_t lastWrite = 0) {
    return WriterFile(name, "", ATTR_DIRECTORY, lastWrite);
}

// The password as the key derivation takes it: an empty one is none.
inline const char16_t* KeyOf(const std::u16string& password) {
    return password.empty() ? nullptr : password.c_str();
}

inline Bytes BuildHeader(const TestHeader& h) {
    Bytes out;
    AppendLE(out, h.showCmd, 4);
    out.push_back(h.layout);
    AppendLE(out, h.width, 4);
    AppendLE(out, h.height, 4);
    AppendLE(out, h.titleLength >= 0 ? (uint32_t)h.titleLength : (uint32_t)h.title.size(), 4);
    Append(out, ToBytes(h.title));
    CipherContext ctx;
    uint8_t filler[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    uint8_t check[16];
    MakePasswordCheckBlock(&ctx, KeyOf(h.password), filler, check);
    out.insert(out.end(), check, check + 16);
    AppendLE(out, h.runAfterLength >= 0 ? (uint16_t)h.runAfterLength : (uint16_t)h.runAfter.size(), 2);
    Bytes name = ToBytes(h.runAfter);
    DeriveStreamKey(&ctx, KeyOf(h.password));
    EncryptStream(&ctx, name.data(), name.data(), (uint32_t)name.size());
    Append(out, name);
    return out;
}

// One entry encrypted as the reader expects: fresh key, the name as one piece, data in IO_CHUNK pieces.
inline Bytes BuildEntry(const std::u16string& password, const TestEntry& e) {
    bool directory = (e.attributes & ATTR_DIRECTORY) != 0;
    Bytes stored;
    if (!directory) {
        if (!e.noStream) stored = !e.stream.empty() ? e.stream : ZlibCompress(e.data, e.level);
        if (e.flipByte >= 0 && (size_t)e.flipByte < stored.size()) stored[e.flipByte] ^= 0xFF;
        stored.resize(stored.size() - std::min(e.cutStream, stored.size()));
        Append(stored, e.trailing);
    }
    Bytes out;
    AppendLE(out, e.storedSize >= 0 ? (uint32_t)e.storedSize : (uint32_t)stored.size(), 4);
    AppendLE(out, e.data.size(), 8);
    AppendLE(out, e.attributes, 4);
    AppendLE(out, e.times.creation, 8);
    AppendLE(out, e.times.lastAccess, 8);
    AppendLE(out, e.times.lastWrite, 8);
    out.resize(out.size() + 16, 0);
    AppendLE(out, e.nameLength >= 0 ? (uint16_t)e.nameLength : (uint16_t)e.name.size(), 2);

    CipherContext ctx;
    DeriveStreamKey(&ctx, KeyOf(password));
    Bytes name = ToBytes(e.name);
    EncryptStream(&ctx, name.data(), name.data(), (uint32_t)name.size());
    Append(out, name);
    for (size_t at = 0; at < stored.size(); at += IO_CHUNK) {
        uint32_t n = (uint32_t)std::min<size_t>(IO_CHUNK, stored.size() - at);
        EncryptStream(&ctx, stored.data() + at, stored.data() + at, n);
    }
    Append(out, stored);
    return out;
}

inline Bytes BuildArchive(const TestHeader& header, const std::vector<TestEntry>& entries,
                          const PeShape& pe = PeShape()) {
    Bytes out = MakePeImage(pe);
    Append(out, BuildHeader(header));
    for (const TestEntry& e : entries) Append(out, BuildEntry(header.password, e));
    return out;
}
