// One large file compressed by several workers at once into a single,
// ordinary zlib stream. The file is read from start to end in PIECE_SIZE
// pieces, one after the other (so the pieces are exactly the bytes read,
// even from a file that changes meanwhile); each piece is deflated on any
// worker with the 32 KiB before it as its dictionary and ends with a sync
// flush (the last one with the final block); the pieces are joined in
// order behind a zlib header and followed by the Adler-32 of the whole
// file, combined from the pieces' own. The cut points depend only on the
// input, so the stream is the same whatever the number of workers.
//
// Thread use: ReadPiece is serialised by the stream's read lock and
// AcceptPiece by its append lock, so one worker can read the next piece
// while another appends; DeflatePiece needs no lock.
#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <stdint.h>
#include <string>
#include <vector>
#include "pack/entry_compress.h"
#include "pack/entry_source.h"

const size_t PIECE_SIZE = 1u << 20;

struct Piece {
    uint64_t index = 0;
    std::vector<uint8_t> input;  // the dictionary, then the piece's data
    size_t dictionary = 0;       // bytes of `input` that are dictionary
    bool last = false;           // the file ended within this piece
    size_t size = 0;             // bytes of data (set by DeflatePiece)
    std::vector<uint8_t> output; // raw deflate data
    uint32_t adler = 1;          // Adler-32 of the piece's data
    std::string error;           // set when deflating failed
};

struct PieceStream {
    const WriterEntry* entry = nullptr;
    const CompressOptions* options = nullptr;
    CompressedEntry* out = nullptr;

    std::mutex readLock;           // guards the fields up to `ended`
    EntrySource source;
    std::vector<uint8_t> tail;     // the last 32 KiB read: the next dictionary
    uint64_t nextIndex = 0;
    std::string readError;
    std::atomic<bool> ended{false};  // nothing more to read: end of file or a failure

    std::mutex appendLock;         // guards the fields below
    std::map<uint64_t, Piece> waiting;  // deflated pieces whose turn has not come
    std::atomic<uint64_t> appended{0};  // pieces joined to the stream
    uint32_t adler = 1;
    uint64_t originalSize = 0;
    EncryptedStream stream;
    std::string appendError;
};

// Opens the source and starts the stream (name piece, zlib header). False
// with out->error set when the source cannot be opened.
bool StartPieceStream(PieceStream* s, const WriterEntry& entry, const CompressOptions& options,
                      CompressedEntry* out);

// Reads the next piece into `piece`. False when there is none: the end was
// reached before, or reading failed or was cancelled (then `ended` is set
// and the error kept for FinishPieceStream).
bool ReadPiece(PieceStream* s, Piece* piece);

// Deflates `piece` (any thread, no lock) at `level`, or stores it when it
// LooksIncompressible: sets output and adler, or error.
void DeflatePiece(int level, WholeFileDeflater* deflater, Piece* piece);

// Hands a deflated piece back; joins it and every waiting piece whose turn
// has come to the encrypted stream.
void AcceptPiece(PieceStream* s, Piece piece);

// After the last piece was accepted: writes the Adler-32, ends the
// encrypted stream and sets `out` (ok, sizes or the first error).
void FinishPieceStream(PieceStream* s);
