#include "pack/piece_stream.h"

#include <cstring>
#include <libdeflate.h>
#include <new>
#include <zlib.h>

namespace {
void Fail(std::atomic<bool>* ended, std::string* error, const std::string& message) {
    if (error->empty()) *error = message;
    *ended = true;
}

// The two bytes libdeflate writes before a zlib stream of this level, the
// same as for a file compressed whole.
void ZlibHeader(int level, uint8_t out[2]) {
    int flevel = level < 2 ? 0 : level < 6 ? 1 : level < 8 ? 2 : 3;
    out[0] = 0x78;  // deflate, 32 KiB window
    out[1] = (uint8_t)(flevel << 6);
    out[1] += 31 - (out[0] * 256 + out[1]) % 31;
}

// Where the blocks of raw deflate data lie, as found by inflating it.
struct BlockWalk {
    size_t finalHeader = 0;  // bit offset of the final block's header (bits count from
                             // each byte's lowest, as deflate packs them)
    unsigned spareBits = 0;  // bits of the last byte behind the final block
};

// Inflates `size` bytes of raw deflate data at `data`, stopping at every
// block boundary, and checks that they give back exactly the `expectSize`
// bytes at `expect`, end with the final block and hold nothing behind it.
// zlib reports at each stop whether the block just ended was the final one
// and how many bits of the last byte it took are not yet used.
bool WalkBlocks(const uint8_t* data, size_t size, const uint8_t* expect, size_t expectSize, BlockWalk* walk) {
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = (uInt)size;
    uint8_t out[16384];
    bool ok = false;
    for (;;) {
        size_t before = zs.total_out;
        zs.next_out = out;
        zs.avail_out = sizeof out;
        int rc = inflate(&zs, Z_BLOCK);
        size_t got = zs.total_out - before;
        // An empty piece has no bytes to compare, and may have no buffer.
        if (rc != Z_OK || got > expectSize - before || (got > 0 && std::memcmp(out, expect + before, got) != 0)) break;
        if (!(zs.data_type & 128)) continue;  // within a block
        unsigned spare = (unsigned)zs.data_type & 7;
        if (!(zs.data_type & 64)) {  // another block starts here
            walk->finalHeader = zs.total_in * 8 - spare;
            continue;
        }
        walk->spareBits = spare;
        ok = zs.avail_in == 0 && zs.total_out == expectSize;
        break;
    }
    inflateEnd(&zs);
    return ok;
}
}  // namespace

bool StartPieceStream(PieceStream* s, const WriterEntry& entry, const CompressOptions& options,
                      CompressedEntry* out) {
    s->entry = &entry;
    s->options = &options;
    s->out = out;
    StartEncryptedStream(&s->stream, entry, options, out);
    if (!OpenEntrySource(entry, &s->source, &out->error)) return false;
    uint8_t header[2];
    ZlibHeader(options.level, header);
    return PutEncrypted(&s->stream, entry, options, header, 2, out);
}

bool ReadPiece(PieceStream* s, Piece* piece) {
    std::lock_guard<std::mutex> lock(s->readLock);
    if (s->ended) return false;
    try {
        if (s->options->cancel && s->options->cancel->load()) {
            Fail(&s->ended, &s->readError, s->entry->name + ": cancelled");
            return false;
        }
        piece->index = s->nextIndex;
        piece->input.resize(PIECE_SIZE);
        size_t have = 0;
        while (have < PIECE_SIZE) {
            size_t got = 0;
            std::string error;
            if (!ReadEntrySource(&s->source, piece->input.data() + have, PIECE_SIZE - have, &got, &error)) {
                Fail(&s->ended, &s->readError, error);
                return false;
            }
            if (got == 0) break;
            have += got;
        }
        piece->input.resize(have);
        piece->last = have < PIECE_SIZE;
        if (s->options->consumed) *s->options->consumed += have;
        s->nextIndex++;
        if (piece->last) s->ended = true;
        return true;
    } catch (const std::bad_alloc&) {
        Fail(&s->ended, &s->readError, s->entry->name + ": out of memory");
        return false;
    }
}

void DeflatePiece(int level, WholeFileDeflater* deflater, Piece* piece) {
    const uint8_t* data = piece->input.data();
    size_t size = piece->input.size();
    piece->size = size;
    piece->adler = libdeflate_adler32(1, data, size);
    try {
        libdeflate_compressor* compressor = ChooseCompressor(deflater, level, data, size);
        // Room for the whole piece even if it does not shrink, and for the
        // empty stored block behind it.
        size_t bound = libdeflate_deflate_compress_bound(nullptr, size);
        piece->output.resize(bound + 5);
        size_t packed = libdeflate_deflate_compress(compressor, data, size, piece->output.data(), bound);
        BlockWalk walk;
        if (packed == 0 || !WalkBlocks(piece->output.data(), packed, data, size, &walk)) {
            piece->error = "compression failed";
        } else if (piece->last) {
            piece->output.resize(packed);
        } else {
            // Unmark the final block, clear the spare bits, and end with an
            // empty stored block: its three header bits (all zero) go into
            // the spare bits when they fit, and it ends on a byte boundary.
            uint8_t* out = piece->output.data();
            out[walk.finalHeader / 8] &= (uint8_t)~(1u << walk.finalHeader % 8);
            out[packed - 1] &= (uint8_t)(0xFF >> walk.spareBits);
            if (walk.spareBits < 3) out[packed++] = 0;
            const uint8_t EMPTY_STORED[4] = {0x00, 0x00, 0xFF, 0xFF};  // LEN 0, NLEN
            std::memcpy(out + packed, EMPTY_STORED, 4);
            piece->output.resize(packed + 4);
        }
    } catch (const std::bad_alloc&) {
        piece->error = "out of memory";
    }
    std::vector<uint8_t>().swap(piece->input);
}

void AcceptPiece(PieceStream* s, Piece piece) {
    std::lock_guard<std::mutex> lock(s->appendLock);
    const WriterEntry& entry = *s->entry;
    if (!piece.error.empty()) {
        Fail(&s->ended, &s->appendError, entry.name + ": " + piece.error);
        return;
    }
    if (!s->appendError.empty()) return;
    try {
        uint64_t index = piece.index;
        s->waiting.emplace(index, std::move(piece));
        for (auto next = s->waiting.find(s->appended); next != s->waiting.end();
             next = s->waiting.find(s->appended)) {
            Piece& p = next->second;
            if (!PutEncrypted(&s->stream, entry, *s->options, p.output.data(), p.output.size(), s->out)) {
                Fail(&s->ended, &s->appendError, s->out->error);
                s->waiting.clear();
                return;
            }
            s->adler = (uint32_t)adler32_combine(s->adler, p.adler, (z_off_t)p.size);
            s->originalSize += p.size;
            s->waiting.erase(next);
            s->appended++;
        }
    } catch (const std::bad_alloc&) {
        Fail(&s->ended, &s->appendError, entry.name + ": out of memory");
        s->waiting.clear();
    }
}

void FinishPieceStream(PieceStream* s) {
    CompressedEntry* out = s->out;
    out->error = !s->readError.empty() ? s->readError : s->appendError;
    out->ok = out->error.empty();
    if (out->ok) {
        uint8_t trailer[4] = {(uint8_t)(s->adler >> 24), (uint8_t)(s->adler >> 16), (uint8_t)(s->adler >> 8),
                              (uint8_t)s->adler};
        out->originalSize = s->originalSize;
        try {
            out->ok = PutEncrypted(&s->stream, *s->entry, *s->options, trailer, 4, out) &&
                      EndEncrypted(&s->stream, *s->entry, *s->options, out);
        } catch (const std::bad_alloc&) {
            out->ok = false;
            out->error = s->entry->name + ": out of memory";
        }
    }
    if (!out->ok) SpillFinish(&out->spill);
}
