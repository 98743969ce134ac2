// AES block cipher (FIPS-197), 32-bit table-driven form, 128/192/256-bit
// keys. Key schedules are arrays of 4 * (rounds + 1) words, each word holding
// four key bytes big-endian (first byte most significant), like w[i] of the
// standard. The schedule does not record its form (encryption or decryption);
// the caller keeps track. Nothing here allocates or keeps state.
#pragma once
#include <stdint.h>

// Largest schedule: 14 rounds -> 60 words.
const int AES_MAX_SCHEDULE_WORDS = 60;

// Builds the encryption-form schedule for a key of `bits` bits into
// `schedule` (room for 4 * (rounds + 1) words). Returns the round count:
// 10, 12 or 14 for 128, 192 or 256 bits; 0 for any other size, in which
// case the schedule must not be used.
int AesExpandKey(uint32_t* schedule, const uint8_t* key, int bits);

// Same arguments and result; builds the decryption form for the equivalent
// inverse cipher (round keys reversed, InvMixColumns on the inner ones).
// Returns 0 and does nothing for a size AesExpandKey rejects.
int AesExpandDecryptKey(uint32_t* schedule, const uint8_t* key, int bits);

// Encrypts one 16-byte block with an encryption-form schedule and its round
// count. `in` and `out` may be the same block.
void AesEncryptBlock(const uint32_t* schedule, int rounds,
                     const uint8_t in[16], uint8_t out[16]);

// Inverts AesEncryptBlock, given the decryption-form schedule of the same key
// and its round count. `in` and `out` may be the same block.
void AesDecryptBlock(const uint32_t* schedule, int rounds,
                     const uint8_t in[16], uint8_t out[16]);
