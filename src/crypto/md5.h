// MD5 message digest (RFC 1321). Portable: byte order is fixed by the
// algorithm, never taken from the host; nothing here allocates.
#pragma once
#include <stdint.h>

struct Md5Context {
    uint32_t state[4];   // chaining values A, B, C, D
    uint32_t count[2];   // message length in bits, low word first
    uint8_t buffer[64];  // pending input; holds (count[0] / 8) % 64 bytes
};

// Starts a digest: sets the chaining values and a bit count of 0.
// The buffer is not cleared (it holds no valid bytes yet).
void Md5Init(Md5Context* ctx);

// Absorbs `length` bytes from `input` (length 0 is allowed, input may then
// be null). Whole 64-byte blocks are compressed straight from `input`.
void Md5Update(Md5Context* ctx, const void* input, uint32_t length);

// Pads, writes the 16-byte digest to `digest` and sets every byte of `ctx`
// to zero. `ctx` must be re-initialised before further use.
void Md5Final(uint8_t digest[16], Md5Context* ctx);

// Compresses one 64-byte block into `state`. Internal to MD5; exposed for
// tests. The decoded message words are wiped before it returns.
void Md5Transform(uint32_t state[4], const uint8_t block[64]);
