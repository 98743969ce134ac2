// The plain form of an entry area (names and data decrypted), which fuzzers and sweeps mutate and
// encrypt again. The walk follows the reader and stops where it would (short header, name over 260,
// a piece cut short); the fields steering it are stored in the clear, so both directions agree.
//   [56 EntryHeader][u16 L][L name: one piece][StoredSize data: IO_CHUNK pieces; none for a directory]
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "payload/format.h"

enum CodecDirection { CODEC_ENCRYPT, CODEC_DECRYPT };

inline void CodecPiece(CipherContext* ctx, uint8_t* p, uint32_t n, CodecDirection direction) {
    (direction == CODEC_ENCRYPT ? EncryptStream : DecryptStream)(ctx, p, p, n);
}

// Encrypts or decrypts in place the names and data in `area` (the bytes behind the archive header).
inline void TransformEntryArea(uint8_t* area, size_t size, const char16_t* password, CodecDirection direction) {
    CipherContext ctx;
    size_t at = 0;
    while (size - at >= ENTRY_HEADER_SIZE + 2) {
        uint32_t stored = LoadLE32(area + at + ENT_STORED_SIZE);
        uint32_t attributes = LoadLE32(area + at + ENT_ATTRIBUTES);
        uint32_t nameLength = LoadLE16(area + at + ENTRY_HEADER_SIZE);
        at += ENTRY_HEADER_SIZE + 2;
        if (nameLength > MAX_NAME) return;
        DeriveStreamKey(&ctx, password);
        uint32_t name = size - at < nameLength ? (uint32_t)(size - at) : nameLength;
        CodecPiece(&ctx, area + at, name, direction);
        at += name;
        if (name < nameLength) return;
        if (attributes & ATTR_DIRECTORY) continue;
        size_t data = size - at < stored ? size - at : stored;
        for (size_t done = 0; done < data;) {
            uint32_t piece = data - done < IO_CHUNK ? (uint32_t)(data - done) : IO_CHUNK;
            CodecPiece(&ctx, area + at + done, piece, direction);
            done += piece;
        }
        at += data;
    }
}

// One entry in plain form.
struct PlainEntry {
    std::vector<uint8_t> head;  // the EntryHeader
    std::string name;
    std::vector<uint8_t> data;  // the stored stream, decrypted; none for a directory
    size_t at = 0, end = 0;     // where the entry begins and ends in the area
};

// The entries of an encrypted area up to the first that is cut short.
inline std::vector<PlainEntry> PlainEntries(std::vector<uint8_t> area, const char16_t* password) {
    TransformEntryArea(area.data(), area.size(), password, CODEC_DECRYPT);
    std::vector<PlainEntry> out;
    for (size_t at = 0; area.size() - at >= ENTRY_HEADER_SIZE + 2;) {
        PlainEntry p;
        p.at = at;
        const uint8_t* b = area.data() + at;
        p.head.assign(b, b + ENTRY_HEADER_SIZE);
        size_t length = LoadLE16(b + ENTRY_HEADER_SIZE);
        size_t stored = LoadLE32(&p.head[ENT_ATTRIBUTES]) & ATTR_DIRECTORY ? 0 : LoadLE32(&p.head[ENT_STORED_SIZE]);
        at += ENTRY_HEADER_SIZE + 2;
        if (area.size() - at < length + stored) break;
        p.name.assign((const char*)b + ENTRY_HEADER_SIZE + 2, length);
        p.data.assign(b + ENTRY_HEADER_SIZE + 2 + length, b + ENTRY_HEADER_SIZE + 2 + length + stored);
        p.end = at += length + stored;
        out.push_back(p);
    }
    return out;
}

// The encrypted area of `plain` (whose names may have changed length).
inline std::vector<uint8_t> EncryptedArea(const std::vector<PlainEntry>& plain, const char16_t* password) {
    std::vector<uint8_t> area;
    for (const PlainEntry& p : plain) {
        area.insert(area.end(), p.head.begin(), p.head.end());
        area.push_back((uint8_t)p.name.size());
        area.push_back((uint8_t)(p.name.size() >> 8));
        area.insert(area.end(), p.name.begin(), p.name.end());
        area.insert(area.end(), p.data.begin(), p.data.end());
    }
    TransformEntryArea(area.data(), area.size(), password, CODEC_ENCRYPT);
    return area;
}
