// Compresses and encrypts one file entry into a spill. Runs on worker
// threads: everything it touches is its own except the read-only entry and
// options and the two atomics.
//
//   fresh key -> name piece -> zlib stream cut into IO_CHUNK pieces
//                              (the last one shorter), each encrypted as
//                              one piece, exactly where the reader cuts
//
// Files up to WHOLE_FILE_LIMIT are read into memory and compressed in one
// call of libdeflate; larger ones go through piece_stream.h, so that
// several workers share them. Which way a file goes depends only on its
// size, never on the number of workers: the archive's bytes do not either.
#pragma once
#include <atomic>
#include <memory>
#include <stdint.h>
#include <string>
#include <vector>
#include "crypto/cipher.h"
#include "pack/header_encoding.h"
#include "pack/spill.h"
#include "pack/writer.h"

struct libdeflate_compressor;

// Files larger than this are compressed in pieces. Two buffers of about
// this size (input and output) are the memory of one worker.
const uint64_t WHOLE_FILE_LIMIT = 8u << 20;

struct CompressOptions {
    int level = 7;                              // 0-12, libdeflate's scale (see ZlibLevel)
    const char16_t* key = nullptr;  // the password (KeyPasswordOf); null: none
    SpillPlace place;
    uint64_t storedLimit = 0xFFFFFFFFu;         // longest stream StoredSize can state
    const std::atomic<bool>* cancel = nullptr;  // set: stop soon, result is an error
    std::atomic<uint64_t>* consumed = nullptr;  // input bytes read, for progress
};

struct CompressedEntry {
    bool ok = false;
    std::string error;                  // one line naming the entry or file
    std::vector<uint8_t> encryptedName; // the name piece
    uint64_t originalSize = 0;          // bytes of input read
    uint32_t storedSize = 0;            // length of the zlib stream
    Spill spill;                        // the encrypted stream; caller removes it
};

// zlib's level for a lockbox level (libdeflate's scale, which reaches 12).
int ZlibLevel(int level);

// Takes an entry's zlib stream in cuts of any length and stores it in the
// spill encrypted in the reader's pieces.
struct EncryptedStream {
    CipherContext ctx;            // carries on from the name piece
    std::vector<uint8_t> chunk;   // the piece being filled, up to IO_CHUNK
    uint64_t stored = 0;          // stream bytes taken so far
};

// Encrypts the entry's name as the first piece (into out->encryptedName)
// and readies `stream` for the data.
void StartEncryptedStream(EncryptedStream* stream, const WriterEntry& entry,
                          const CompressOptions& options, CompressedEntry* out);
// Appends `size` stream bytes. False with out->error set when the stream
// grows past options.storedLimit or the spill cannot be written.
bool PutEncrypted(EncryptedStream* stream, const WriterEntry& entry, const CompressOptions& options,
                  const uint8_t* data, size_t size, CompressedEntry* out);
// Encrypts the last, shorter piece, closes the spill and sets storedSize.
bool EndEncrypted(EncryptedStream* stream, const WriterEntry& entry, const CompressOptions& options,
                  CompressedEntry* out);

// A worker's libdeflate compressors (for whole files and for the pieces of
// large ones, piece_stream.h) and its buffers for whole files, kept from
// one entry to the next: making them (and clearing buffers) costs more
// than compressing a small file. The buffers are allocated on first use
// and never cleared, so only the pages a file needs are ever touched.
struct WholeFileDeflater {
    libdeflate_compressor* compressor = nullptr;
    int level = -1;
    libdeflate_compressor* sampler = nullptr;  // level 1, for LooksIncompressible
    libdeflate_compressor* storer = nullptr;   // level 0, for what does not shrink
    std::unique_ptr<uint8_t[]> input;   // WHOLE_FILE_LIMIT + 1 bytes
    std::unique_ptr<uint8_t[]> output;  // outputSize bytes
    size_t outputSize = 0;              // the zlib bound of WHOLE_FILE_LIMIT bytes
    WholeFileDeflater() = default;
    WholeFileDeflater(const WholeFileDeflater&) = delete;
    WholeFileDeflater& operator=(const WholeFileDeflater&) = delete;
    ~WholeFileDeflater();
};

// True when four samples of `data` (16 KiB each, spread over it) do not
// shrink by 3 % even at libdeflate's fastest level: random or already
// compressed bytes, which are stored rather than searched for matches they
// do not have. Depends only on the bytes; false below 64 KiB.
bool LooksIncompressible(WholeFileDeflater* deflater, const uint8_t* data, size_t size);

// The compressor for `size` bytes of `data` at `level`: the deflater's one
// of that level (made on first use), or its level-0 one when the bytes
// LooksIncompressible. Throws std::bad_alloc when libdeflate cannot make it.
libdeflate_compressor* ChooseCompressor(WholeFileDeflater* deflater, int level, const uint8_t* data, size_t size);

// Fills `out` for the file entry `entry` (one not larger than
// WHOLE_FILE_LIMIT; one that has grown past it since is compressed as a
// plain zlib stream). Never throws; failures (unreadable input, a stream
// over `storedLimit`, no memory, a spill that cannot be written,
// cancellation) leave ok false and an error message.
void CompressEntry(const WriterEntry& entry, const CompressOptions& options, WholeFileDeflater* deflater,
                   CompressedEntry* out);
