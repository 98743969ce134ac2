// Block-wise CFB-128 on the table-driven AES: whole blocks are XORed as two
// 64-bit words, only the partial block at the end of a piece goes byte by
// byte.
#include <string.h>

#include "crypto/aes.h"
#include "crypto/fast/stream_fast.h"

namespace {

const int STREAM_ROUNDS = 14;

// The partial block that ends a piece: `reg` already holds the keystream;
// its first k bytes become the ciphertext, the rest stay keystream.
void TailBytes(uint8_t* reg, const uint8_t* src, uint8_t* dst, uint32_t k, bool decrypt) {
    for (uint32_t i = 0; i < k; i++) {
        uint8_t x = src[i];
        uint8_t y = (uint8_t)(x ^ reg[i]);
        dst[i] = y;
        reg[i] = decrypt ? x : y;
    }
}

}  // namespace

void DecryptStreamWords(CipherContext* ctx, const void* in, void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    uint8_t* reg = ctx->feedbackRegister;
    for (; length >= 16; length -= 16, src += 16, dst += 16) {
        uint64_t k[2], c[2];
        AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, reg, reg);
        memcpy(k, reg, 16);
        memcpy(c, src, 16);  // read before the write: in == out is allowed
        memcpy(reg, c, 16);
        k[0] ^= c[0];
        k[1] ^= c[1];
        memcpy(dst, k, 16);
    }
    if (length == 0) return;
    AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, reg, reg);
    TailBytes(reg, src, dst, length, true);
}

void EncryptStreamWords(CipherContext* ctx, const void* in, void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    uint8_t* reg = ctx->feedbackRegister;
    for (; length >= 16; length -= 16, src += 16, dst += 16) {
        uint64_t k[2], p[2];
        AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, reg, reg);
        memcpy(k, reg, 16);
        memcpy(p, src, 16);
        k[0] ^= p[0];
        k[1] ^= p[1];
        memcpy(reg, k, 16);
        memcpy(dst, k, 16);
    }
    if (length == 0) return;
    AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, reg, reg);
    TailBytes(reg, src, dst, length, false);
}
