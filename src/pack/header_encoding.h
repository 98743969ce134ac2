// Encodes the plain headers of an archive, laid out byte for byte as the reader
// expects them (payload/format.h): the archive header and the entry header.
#pragma once
#include <stdint.h>
#include <vector>
#include <string>
#include "crypto/cipher.h"
#include "pack/writer.h"
#include "payload/format.h"

// The password of `settings` as DeriveStreamKey takes it: null without one.
// A password that is used but empty is not null: the key chain then runs
// over the empty message. `settings` must outlive the result.
const char16_t* KeyPasswordOf(const ArchiveSettings& settings);

// Derives a fresh stream key from `password` into `ctx` and encrypts `name`
// as one piece. Afterwards `ctx` holds the register from which the entry's
// data continues.
std::vector<uint8_t> EncryptNamePiece(CipherContext* ctx, const char16_t* password,
                                      const std::string& name);

// The ArchiveHeader: fixed fields, title, the password check block ("LOCK"
// and twelve zero bytes, so that equal inputs give equal archives), R and
// the run-after name encrypted as one piece from a fresh key.
std::vector<uint8_t> BuildArchiveHeader(const ArchiveSettings& settings);

// Fills `out` with the 56-byte EntryHeader and the name length: stored and
// original size, attributes, the three times, the code page, zeros in bytes
// 42 to 55.
void BuildEntryPrefix(const WriterEntry& entry, uint32_t storedSize, uint64_t originalSize, uint16_t codepage,
                      uint8_t out[ENTRY_PREFIX_SIZE]);
