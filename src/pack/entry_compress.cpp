#include "pack/entry_compress.h"

#include <algorithm>
#include <libdeflate.h>
#include <new>
#include <zlib.h>
#include "pack/entry_source.h"
#include "payload/format.h"

namespace {
const size_t READ_CHUNK = 256 * 1024;
// Compressed files from this size on hand their buffer to the spill.
const size_t ADOPT_FROM = 1u << 20;

bool Cancelled(const WriterEntry& entry, const CompressOptions& options, CompressedEntry* out) {
    if (!options.cancel || !options.cancel->load()) return false;
    out->error = entry.name + ": cancelled";
    return true;
}

// deflateEnd on every way out.
struct Deflater {
    z_stream zs{};
    bool live = false;
    ~Deflater() {
        if (live) deflateEnd(&zs);
    }
};

// Reads the whole source into `buffer`, stopping one byte past `limit`.
bool ReadUpTo(EntrySource* source, const WriterEntry& entry, const CompressOptions& options,
              uint64_t limit, uint8_t* buffer, size_t* size, CompressedEntry* out) {
    *size = 0;
    for (;;) {
        if (Cancelled(entry, options, out)) return false;
        size_t want = (size_t)std::min<uint64_t>(READ_CHUNK, limit + 1 - *size);
        size_t got = 0;
        if (!ReadEntrySource(source, buffer + *size, want, &got, &out->error)) return false;
        *size += got;
        if (options.consumed) *options.consumed += got;
        if (got == 0 || *size > limit) return true;
    }
}

// The plain zlib stream of a file that grew past WHOLE_FILE_LIMIT after
// it was measured: `head` (already read) and the rest of the source.
bool CompressStreaming(const WriterEntry& entry, const CompressOptions& options, EntrySource* source,
                       std::vector<uint8_t> head, EncryptedStream* stream, CompressedEntry* out) {
    Deflater d;
    if (deflateInit(&d.zs, ZlibLevel(options.level)) != Z_OK) {
        out->error = entry.name + ": cannot start compression";
        return false;
    }
    d.live = true;
    std::vector<uint8_t> input = std::move(head);
    std::vector<uint8_t> output(IO_CHUNK);
    d.zs.next_in = input.data();
    d.zs.avail_in = (uInt)input.size();
    out->originalSize = input.size();
    bool atEnd = false;
    for (;;) {
        if (Cancelled(entry, options, out)) return false;
        if (d.zs.avail_in == 0 && !atEnd) {
            input.resize(READ_CHUNK);
            size_t got = 0;
            if (!ReadEntrySource(source, input.data(), input.size(), &got, &out->error)) return false;
            atEnd = got == 0;
            d.zs.next_in = input.data();
            d.zs.avail_in = (uInt)got;
            out->originalSize += got;
            if (options.consumed) *options.consumed += got;
        }
        d.zs.next_out = output.data();
        d.zs.avail_out = (uInt)output.size();
        int rc = deflate(&d.zs, atEnd ? Z_FINISH : Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            out->error = entry.name + ": compression failed";
            return false;
        }
        if (!PutEncrypted(stream, entry, options, output.data(), output.size() - d.zs.avail_out, out))
            return false;
        if (rc == Z_STREAM_END) return true;
    }
}

bool Compress(const WriterEntry& entry, const CompressOptions& options, WholeFileDeflater* deflater,
              CompressedEntry* out) {
    EncryptedStream stream;
    StartEncryptedStream(&stream, entry, options, out);
    EntrySource source;
    if (!OpenEntrySource(entry, &source, &out->error)) return false;
    if (!deflater->input) deflater->input.reset(new uint8_t[WHOLE_FILE_LIMIT + 1]);
    if (!deflater->output) {
        deflater->outputSize = libdeflate_zlib_compress_bound(nullptr, WHOLE_FILE_LIMIT);  // any level's
        deflater->output.reset(new uint8_t[deflater->outputSize]);
    }
    size_t size = 0;
    if (!ReadUpTo(&source, entry, options, WHOLE_FILE_LIMIT, deflater->input.get(), &size, out)) return false;
    if (size > WHOLE_FILE_LIMIT) {
        std::vector<uint8_t> head(deflater->input.get(), deflater->input.get() + size);
        if (!CompressStreaming(entry, options, &source, std::move(head), &stream, out)) return false;
        return EndEncrypted(&stream, entry, options, out);
    }
    out->originalSize = size;
    libdeflate_compressor* compressor = ChooseCompressor(deflater, options.level, deflater->input.get(), size);
    size_t packed = libdeflate_zlib_compress(compressor, deflater->input.get(), size, deflater->output.get(),
                                             deflater->outputSize);
    if (packed == 0) {  // cannot happen with a buffer of the bound's size
        out->error = entry.name + ": compression failed";
        return false;
    }
    if (packed > options.storedLimit) {
        out->error = entry.name + ": compressed data exceeds the format's limit of " +
                     std::to_string(options.storedLimit) + " bytes";
        return false;
    }
    bool inMemory = options.place.filePrefix.empty() || packed <= options.place.memoryLimit;
    if (!inMemory || packed < ADOPT_FROM) {
        // Small results are copied into a spill of their own size, so the
        // worker keeps its buffer (a fresh one for every small file would
        // be mapped and unmapped each time).
        if (inMemory) out->spill.memory.reserve(packed);
        return PutEncrypted(&stream, entry, options, deflater->output.get(), packed, out) &&
               EndEncrypted(&stream, entry, options, out);
    }
    // Encrypted in place, in the reader's pieces, and handed to the spill
    // as it is: no copy, and the buffer's unwritten tail is never touched.
    // The worker takes a fresh buffer for its next file.
    for (size_t at = 0; at < packed; at += IO_CHUNK) {
        uint8_t* piece = deflater->output.get() + at;
        EncryptStream(&stream.ctx, piece, piece, (uint32_t)std::min<size_t>(IO_CHUNK, packed - at));
    }
    SpillAdopt(&out->spill, std::move(deflater->output), packed);
    out->storedSize = (uint32_t)packed;
    return true;
}
}  // namespace

int ZlibLevel(int level) {
    // libdeflate from 7 up packs about as tightly as zlib one level lower,
    // so the default (7) costs zlib's default (6) where zlib does the work.
    static const int ZLIB_LEVEL[13] = {0, 1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 9, 9};
    return ZLIB_LEVEL[level < 0 ? 7 : level > 12 ? 12 : level];
}

void StartEncryptedStream(EncryptedStream* stream, const WriterEntry& entry,
                          const CompressOptions& options, CompressedEntry* out) {
    out->encryptedName = EncryptNamePiece(&stream->ctx, options.key, entry.name);
    stream->chunk.reserve(IO_CHUNK);
}

bool PutEncrypted(EncryptedStream* stream, const WriterEntry& entry, const CompressOptions& options,
                  const uint8_t* data, size_t size, CompressedEntry* out) {
    if (size > options.storedLimit - stream->stored) {
        out->error = entry.name + ": compressed data exceeds the format's limit of " +
                     std::to_string(options.storedLimit) + " bytes";
        return false;
    }
    stream->stored += size;
    while (size > 0) {
        size_t n = std::min(size, IO_CHUNK - stream->chunk.size());
        stream->chunk.insert(stream->chunk.end(), data, data + n);
        data += n;
        size -= n;
        if (stream->chunk.size() < IO_CHUNK) break;
        // A full piece: encrypted as one, just as the reader decrypts it.
        EncryptStream(&stream->ctx, stream->chunk.data(), stream->chunk.data(), IO_CHUNK);
        if (!SpillAppend(&out->spill, options.place, stream->chunk.data(), IO_CHUNK, &out->error)) {
            out->error = entry.name + ": " + out->error;
            return false;
        }
        stream->chunk.clear();
    }
    return true;
}

bool EndEncrypted(EncryptedStream* stream, const WriterEntry& entry, const CompressOptions& options,
                  CompressedEntry* out) {
    uint32_t n = (uint32_t)stream->chunk.size();
    EncryptStream(&stream->ctx, stream->chunk.data(), stream->chunk.data(), n);
    if (n && !SpillAppend(&out->spill, options.place, stream->chunk.data(), n, &out->error)) {
        out->error = entry.name + ": " + out->error;
        return false;
    }
    stream->chunk.clear();
    SpillFinish(&out->spill);
    out->storedSize = (uint32_t)stream->stored;
    return true;
}

WholeFileDeflater::~WholeFileDeflater() {
    for (libdeflate_compressor* c : {compressor, sampler, storer})
        if (c) libdeflate_free_compressor(c);
}

bool LooksIncompressible(WholeFileDeflater* deflater, const uint8_t* data, size_t size) {
    const size_t SAMPLE = 16384;
    if (size < 4 * SAMPLE) return false;
    if (!deflater->sampler && !(deflater->sampler = libdeflate_alloc_compressor(1))) return false;
    uint8_t out[SAMPLE - SAMPLE / 32];
    for (size_t i = 0; i < 4; i++) {
        // libdeflate returns 0 when the result does not fit.
        if (libdeflate_deflate_compress(deflater->sampler, data + (size - SAMPLE) / 3 * i, SAMPLE, out, sizeof out))
            return false;
    }
    return true;
}

libdeflate_compressor* ChooseCompressor(WholeFileDeflater* deflater, int level, const uint8_t* data, size_t size) {
    if (level > 0 && LooksIncompressible(deflater, data, size)) {
        if (!deflater->storer && !(deflater->storer = libdeflate_alloc_compressor(0))) throw std::bad_alloc();
        return deflater->storer;
    }
    if (deflater->level != level) {
        if (deflater->compressor) libdeflate_free_compressor(deflater->compressor);
        deflater->compressor = libdeflate_alloc_compressor(level);
        deflater->level = deflater->compressor ? level : -1;
        if (!deflater->compressor) throw std::bad_alloc();
    }
    return deflater->compressor;
}

void CompressEntry(const WriterEntry& entry, const CompressOptions& options, WholeFileDeflater* deflater,
                   CompressedEntry* out) {
    try {
        out->ok = Compress(entry, options, deflater, out);
    } catch (const std::bad_alloc&) {
        out->ok = false;
        out->error = entry.name + ": out of memory";
    } catch (const std::exception& e) {
        out->ok = false;
        out->error = entry.name + ": " + e.what();
    }
    if (!out->ok) SpillFinish(&out->spill);
}
