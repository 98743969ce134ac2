#include "pack/piece_stream.h"

#include <algorithm>
#include <new>
#include <zlib.h>

namespace {
const size_t DICTIONARY_SIZE = 32768;

void Fail(std::atomic<bool>* ended, std::string* error, const std::string& message) {
    if (error->empty()) *error = message;
    *ended = true;
}

// The two bytes zlib writes before a stream of this level.
void ZlibHeader(int zlibLevel, uint8_t out[2]) {
    int flevel = zlibLevel < 2 ? 0 : zlibLevel < 6 ? 1 : zlibLevel == 6 ? 2 : 3;
    out[0] = 0x78;  // deflate, 32 KiB window
    out[1] = (uint8_t)(flevel << 6);
    out[1] += 31 - (out[0] * 256 + out[1]) % 31;
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
    ZlibHeader(ZlibLevel(options.level), header);
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
        piece->dictionary = s->tail.size();
        piece->input.resize(piece->dictionary + PIECE_SIZE);
        std::copy(s->tail.begin(), s->tail.end(), piece->input.begin());
        size_t have = 0;
        while (have < PIECE_SIZE) {
            size_t got = 0;
            std::string error;
            if (!ReadEntrySource(&s->source, piece->input.data() + piece->dictionary + have,
                                 PIECE_SIZE - have, &got, &error)) {
                Fail(&s->ended, &s->readError, error);
                return false;
            }
            if (got == 0) break;
            have += got;
        }
        piece->input.resize(piece->dictionary + have);
        piece->last = have < PIECE_SIZE;
        if (s->options->consumed) *s->options->consumed += have;
        size_t keep = std::min(DICTIONARY_SIZE, piece->input.size());
        s->tail.assign(piece->input.end() - keep, piece->input.end());
        s->nextIndex++;
        if (piece->last) s->ended = true;
        return true;
    } catch (const std::bad_alloc&) {
        Fail(&s->ended, &s->readError, s->entry->name + ": out of memory");
        return false;
    }
}

void DeflatePiece(int level, WholeFileDeflater* deflater, Piece* piece) {
    const uint8_t* data = piece->input.data() + piece->dictionary;
    size_t size = piece->input.size() - piece->dictionary;
    piece->size = size;
    piece->adler = adler32_z(1, data, size);
    int zlibLevel = ZlibLevel(level);
    if (zlibLevel > 0 && LooksIncompressible(deflater, data, size)) zlibLevel = 0;
    z_stream zs{};
    if (deflateInit2(&zs, zlibLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        piece->error = "cannot start compression";
        return;
    }
    bool ok = true;
    try {
        if (piece->dictionary)
            ok = deflateSetDictionary(&zs, piece->input.data(), (uInt)piece->dictionary) == Z_OK;
        // Room for the whole piece even if it does not shrink, and for the
        // flush markers; deflate is called again should it not be enough.
        piece->output.resize(deflateBound(&zs, (uLong)size) + 16);
        zs.next_in = const_cast<Bytef*>(data);
        zs.avail_in = (uInt)size;
        zs.next_out = piece->output.data();
        zs.avail_out = (uInt)piece->output.size();
        int flush = piece->last ? Z_FINISH : Z_SYNC_FLUSH;
        while (ok) {
            int rc = deflate(&zs, flush);
            // A sync flush is complete once deflate leaves output room.
            if (rc == Z_STREAM_END || (flush == Z_SYNC_FLUSH && rc == Z_OK && zs.avail_out > 0)) break;
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                ok = false;
                break;
            }
            size_t used = piece->output.size() - zs.avail_out;
            piece->output.resize(piece->output.size() * 2);
            zs.next_out = piece->output.data() + used;
            zs.avail_out = (uInt)(piece->output.size() - used);
        }
        piece->output.resize(piece->output.size() - zs.avail_out);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    deflateEnd(&zs);
    if (!ok) piece->error = "compression failed";
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
