// Entry data: read in IO_CHUNK pieces, each decrypted as one cipher piece,
// inflated into an IO_CHUNK output buffer that is written when full and once
// at the end.
#include <string.h>
#include <zlib.h>

#include "payload/entry_internal.h"

namespace {

bool WriteOut(FileHandle out, const uint8_t* data, uint32_t size) {
    if (out == NO_FILE || size == 0) return true;
    return PlatformWrite(out, data, size);
}

// The stream must end exactly where the stored data ends: data running out
// first is a truncated entry, bytes left behind the stream would be taken
// for the next entry.
int RunInflate(CipherContext* ctx, FileHandle source, z_stream* zs, uint32_t storedSize, uint8_t* in,
               uint8_t* outBuf, FileHandle out, Reader* progress) {
    uint32_t remaining = storedSize;
    zs->next_out = outBuf;
    zs->avail_out = IO_CHUNK;
    for (;;) {
        if (zs->avail_in == 0 && remaining != 0) {
            uint32_t want = remaining < IO_CHUNK ? remaining : IO_CHUNK;
            uint32_t got = PlatformRead(source, in, want);
            if (got == 0) return RESULT_CORRUPT;  // the file ends inside the data
            DecryptStream(ctx, in, in, got);
            remaining -= got;
            zs->next_in = in;
            zs->avail_in = got;
            if (progress && progress->onProgress) progress->onProgress(progress);
        }
        // avail_out is never 0 here: a full buffer is written below.
        int z = inflate(zs, Z_NO_FLUSH);
        if (z == Z_STREAM_END) {
            if (zs->avail_in != 0 || remaining != 0) return RESULT_CORRUPT;
            return WriteOut(out, outBuf, IO_CHUNK - zs->avail_out) ? RESULT_OK
                                                                   : RESULT_CANNOT_CREATE;
        }
        if (z == Z_MEM_ERROR) return RESULT_NO_MEMORY;
        // Z_BUF_ERROR: no input left and none to read; Z_NEED_DICT: the
        // format uses no dictionary; the rest: damaged data.
        if (z != Z_OK) return RESULT_CORRUPT;
        if (zs->avail_out == 0) {
            if (!WriteOut(out, outBuf, IO_CHUNK)) return RESULT_CANNOT_CREATE;
            zs->next_out = outBuf;
            zs->avail_out = IO_CHUNK;
        }
    }
}

}  // namespace

int InflateEntryData(CipherContext* ctx, FileHandle source, uint32_t storedSize, FileHandle out,
                     uint8_t* buffers, Reader* progress) {
    if (storedSize == 0) return RESULT_OK;  // no data: an empty file
    uint8_t* own = buffers ? nullptr : (uint8_t*)PlatformAllocScratch(INFLATE_BUFFERS_SIZE);
    uint8_t* in = buffers ? buffers : own;
    int result = RESULT_NO_MEMORY;
    if (in) {
        z_stream zs;
        memset(&zs, 0, sizeof zs);
        int z = inflateInit(&zs);
        if (z == Z_OK) {
            result = RunInflate(ctx, source, &zs, storedSize, in, in + IO_CHUNK, out, progress);
            inflateEnd(&zs);
        } else {
            result = z == Z_MEM_ERROR ? RESULT_NO_MEMORY : RESULT_CORRUPT;
        }
    }
    PlatformFree(own);
    return result;
}
