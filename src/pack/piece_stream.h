// One large file compressed by several workers at once into a single,
// ordinary zlib stream. The file is read from start to end in PIECE_SIZE
// pieces, one after the other (so the pieces are exactly the bytes read,
// even from a file that changes meanwhile); each piece is deflated on its
// own by libdeflate, on any worker. Every piece but the last then loses
// its final-block bit and ends with an empty stored block, as after a
// sync flush, so that the next piece's first block follows on a byte
// boundary:
//
//   zlib header | piece 0's blocks, empty stored block | piece 1's ... |
//   the last piece's blocks, the final one marked | Adler-32 of the file
//
// The Adler-32 is combined from the pieces' own. The cut points depend
// only on the input, so the stream is the same whatever the number of
// workers. libdeflate takes no dictionary, so a piece's matches never
// reach back into the piece before it; that costs a little ratio at the
// start of each piece.
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
    std::vector<uint8_t> input;  // the piece's data (freed by DeflatePiece)
    bool last = false;           // the file ended within this piece
    size_t size = 0;             // bytes of data (set by DeflatePiece)
    std::vector<uint8_t> output; // raw deflate blocks: the final one if `last`,
                                 // else ending byte-aligned with no final block
    uint32_t adler = 1;          // Adler-32 of the piece's data
    std::string error;           // set when deflating failed
};

struct PieceStream {
    const WriterEntry* entry = nullptr;
    const CompressOptions* options = nullptr;
    CompressedEntry* out = nullptr;

    std::mutex readLock;           // guards the fields up to `ended`
    EntrySource source;
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

// Deflates `piece` (any thread, no lock) with the worker's libdeflate
// compressor of `level`, or stores it when it LooksIncompressible; sets
// size, output and adler, or error, and frees the input. The output is
// inflated once to find its blocks, which also checks that it gives back
// the piece's bytes.
void DeflatePiece(int level, WholeFileDeflater* deflater, Piece* piece);

// Hands a deflated piece back; joins it and every waiting piece whose turn
// has come to the encrypted stream.
void AcceptPiece(PieceStream* s, Piece piece);

// After the last piece was accepted: writes the Adler-32, ends the
// encrypted stream and sets `out` (ok, sizes or the first error).
void FinishPieceStream(PieceStream* s);
