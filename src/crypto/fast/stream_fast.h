// Faster implementations of the stream cipher for the lockbox tool and the
// tests. Never linked into the extractor: its size is capped, and there the
// loops of cipher.cpp run (whose decryption hands whole blocks to the AES
// instructions where the processor has them).
//
// Every path gives exactly the bytes and leaves exactly the feedback
// register of the byte loops, piece rules included (block index restarting
// at 0 with each call, k ciphertext bytes plus 16 - k unused keystream bytes
// in the register after a piece ending k bytes into a block), and each works
// in place (`in` == `out`).
#pragma once
#include "crypto/cipher.h"

enum StreamPath {
    STREAM_PATH_BYTES,  // the byte loops of cipher.cpp, table-driven AES only
    STREAM_PATH_WORDS,  // whole blocks XORed as 64-bit words, table-driven AES
    STREAM_PATH_AESNI,  // AES instructions: DecryptStream's own block path
                        // (four blocks at once) and a serial encryption
};

// True when `path` can run on this build and processor (AES-NI: x86 builds
// on a processor whose CPUID reports the AES instructions).
bool StreamPathAvailable(StreamPath path);

// Installs `path` with SetStreamAccelerator. Returns false, changing
// nothing, when it is not available. Call at start-up, before threads.
bool UseStreamPath(StreamPath path);

// Installs the fastest available path and returns it.
StreamPath UseFastestStreamPath();

// The individual paths, for tests and benchmarks (same contract as
// DecryptStream/EncryptStream). EncryptStreamAesni must only be called when
// StreamPathAvailable(STREAM_PATH_AESNI).
void DecryptStreamWords(CipherContext* ctx, const void* in, void* out, uint32_t length);
void EncryptStreamWords(CipherContext* ctx, const void* in, void* out, uint32_t length);
void EncryptStreamAesni(CipherContext* ctx, const void* in, void* out, uint32_t length);

// Whether the processor has the AES instructions (one file per target:
// stream_aesni_x86.cpp asks CPUID, stream_aesni_none.cpp says no).
bool AesniSupported();
