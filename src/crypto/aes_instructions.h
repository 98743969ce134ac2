// Whole CFB-128 blocks through the processor's AES instructions, for the
// stream cipher's byte loops (cipher.cpp), which hand them the whole blocks
// at the start of a piece and do the rest themselves. One file per target,
// chosen by the build: aes_instructions_x86.cpp asks CPUID once,
// aes_instructions_none.cpp has no instructions. The extractor links only
// the decryption.
#pragma once
#include "crypto/cipher.h"

// True when the processor has the AES instructions (and SSE2).
bool AesInstructionsAvailable();

// Decrypt or encrypt the whole 16-byte blocks at the start of a piece of
// `length` bytes when the instructions are available, and return how many
// bytes that was: length rounded down to 16, or 0 without them. Leave the
// last ciphertext block in the register, as the byte loops would; `in` may
// equal `out`. Decryption knows every keystream input up front and runs
// four blocks at once; in encryption each block feeds the next.
uint32_t DecryptWholeBlocks(CipherContext* ctx, const uint8_t* in, uint8_t* out, uint32_t length);
uint32_t EncryptWholeBlocks(CipherContext* ctx, const uint8_t* in, uint8_t* out, uint32_t length);
