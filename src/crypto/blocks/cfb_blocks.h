// Whole CFB blocks through the processor's AES instructions, for the stream
// cipher's own decryption loop (cipher.cpp). One file per target, chosen by
// the build: cfb_blocks_x86.cpp asks CPUID, cfb_blocks_none.cpp has none.
#pragma once
#include "crypto/cipher.h"

// Decrypts the whole 16-byte blocks at the start of a piece of `length`
// bytes when the processor has the AES instructions (asked once), and
// returns how many bytes that was: length rounded down to 16, or 0 without
// the instructions. The keystream of each block is the encryption of the
// ciphertext block before it (the register for the first), so all of them
// are known up front and several go through the rounds at once. Leaves the
// last ciphertext block in the register, as the byte loop would; `in` may
// equal `out`.
uint32_t DecryptWholeBlocks(CipherContext* ctx, const uint8_t* in, uint8_t* out, uint32_t length);
