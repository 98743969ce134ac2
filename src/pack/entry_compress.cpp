#include "pack/entry_compress.h"

#include <new>
#include <zlib.h>
#include "pack/entry_source.h"
#include "payload/format.h"

namespace {
const size_t READ_CHUNK = 256 * 1024;

// deflateEnd on every way out.
struct Deflater {
    z_stream zs{};
    bool live = false;
    ~Deflater() {
        if (live) deflateEnd(&zs);
    }
};

bool Compress(const WriterEntry& entry, const CompressOptions& options, CompressedEntry* out) {
    CipherContext ctx;
    out->encryptedName = EncryptNamePiece(&ctx, options.key, entry.name);

    EntrySource source;
    if (!OpenEntrySource(entry, &source, &out->error)) return false;

    Deflater d;
    if (deflateInit(&d.zs, options.level) != Z_OK) {
        out->error = entry.name + ": cannot start compression";
        return false;
    }
    d.live = true;

    std::vector<uint8_t> input(READ_CHUNK);
    std::vector<uint8_t> piece(IO_CHUNK);
    d.zs.next_out = piece.data();
    d.zs.avail_out = IO_CHUNK;
    uint64_t stored = 0;
    bool atEnd = false;
    for (;;) {
        if (options.cancel && options.cancel->load()) {
            out->error = entry.name + ": cancelled";
            return false;
        }
        if (d.zs.avail_in == 0 && !atEnd) {
            size_t got = 0;
            if (!ReadEntrySource(&source, input.data(), input.size(), &got, &out->error)) return false;
            atEnd = got == 0;
            d.zs.next_in = input.data();
            d.zs.avail_in = (uInt)got;
            out->originalSize += got;
            if (options.consumed) *options.consumed += got;
        }
        // Input is never missing here (avail_in > 0 or finishing) and the
        // piece buffer has room, so deflate always makes progress.
        int rc = deflate(&d.zs, atEnd ? Z_FINISH : Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            out->error = entry.name + ": compression failed";
            return false;
        }
        // A full piece, or the shorter last one: encrypt it as one piece,
        // just as the reader decrypts it.
        if (d.zs.avail_out == 0 || rc == Z_STREAM_END) {
            uint32_t n = IO_CHUNK - d.zs.avail_out;
            if (n > options.storedLimit - stored) {
                out->error = entry.name + ": compressed data exceeds the format's limit of " +
                             std::to_string(options.storedLimit) + " bytes";
                return false;
            }
            EncryptStream(&ctx, piece.data(), piece.data(), n);
            if (!SpillAppend(&out->spill, options.place, piece.data(), n, &out->error)) {
                out->error = entry.name + ": " + out->error;
                return false;
            }
            stored += n;
            d.zs.next_out = piece.data();
            d.zs.avail_out = IO_CHUNK;
        }
        if (rc == Z_STREAM_END) break;
    }
    SpillFinish(&out->spill);
    out->storedSize = (uint32_t)stored;
    return true;
}
}  // namespace

void CompressEntry(const WriterEntry& entry, const CompressOptions& options, CompressedEntry* out) {
    try {
        out->ok = Compress(entry, options, out);
    } catch (const std::bad_alloc&) {
        out->ok = false;
        out->error = entry.name + ": out of memory";
    } catch (const std::exception& e) {
        out->ok = false;
        out->error = entry.name + ": " + e.what();
    }
    if (!out->ok) SpillFinish(&out->spill);
}
