// CFB-128 encryption with the x86 AES instructions. Each output block feeds
// the next, so blocks go one at a time. (Decryption, where all keystream
// inputs are known up front, is DecryptStream's own: crypto/blocks/.)
#include <cpuid.h>
#include <string.h>
#include <wmmintrin.h>

#include "crypto/fast/stream_fast.h"

namespace {

const int ROUNDS = 14;

// The schedule holds big-endian words (first key byte most significant);
// the instructions take round keys as bytes in memory order.
__attribute__((target("aes,sse2"))) void LoadRoundKeys(const CipherContext* ctx,
                                                       __m128i keys[ROUNDS + 1]) {
    for (int r = 0; r <= ROUNDS; r++) {
        uint8_t bytes[16];
        for (int w = 0; w < 4; w++) {
            uint32_t word = ctx->roundKeys[4 * r + w];
            bytes[4 * w] = (uint8_t)(word >> 24);
            bytes[4 * w + 1] = (uint8_t)(word >> 16);
            bytes[4 * w + 2] = (uint8_t)(word >> 8);
            bytes[4 * w + 3] = (uint8_t)word;
        }
        keys[r] = _mm_loadu_si128((const __m128i*)bytes);
    }
}

__attribute__((target("aes,sse2"))) inline __m128i EncryptBlock(__m128i block,
                                                                const __m128i keys[ROUNDS + 1]) {
    block = _mm_xor_si128(block, keys[0]);
    for (int r = 1; r < ROUNDS; r++) block = _mm_aesenc_si128(block, keys[r]);
    return _mm_aesenclast_si128(block, keys[ROUNDS]);
}

// The partial block ending a piece: XOR with the keystream block `stream`;
// the register becomes the k ciphertext bytes followed by the 16 - k
// keystream bytes left over.
__attribute__((target("aes,sse2"))) __m128i TailBytes(__m128i stream, const uint8_t* src,
                                                      uint8_t* dst, uint32_t k) {
    uint8_t reg[16];
    _mm_storeu_si128((__m128i*)reg, stream);
    for (uint32_t i = 0; i < k; i++) {
        uint8_t y = (uint8_t)(src[i] ^ reg[i]);
        dst[i] = y;
        reg[i] = y;
    }
    return _mm_loadu_si128((const __m128i*)reg);
}

}  // namespace

bool AesniSupported() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (c & bit_AES) && (d & bit_SSE2);
}

__attribute__((target("aes,sse2"))) void EncryptStreamAesni(CipherContext* ctx, const void* in,
                                                            void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    __m128i keys[ROUNDS + 1];
    LoadRoundKeys(ctx, keys);
    __m128i feedback = _mm_loadu_si128((const __m128i*)ctx->feedbackRegister);
    for (uint32_t blocks = length / 16; blocks > 0; blocks--, src += 16, dst += 16) {
        feedback = _mm_xor_si128(EncryptBlock(feedback, keys), _mm_loadu_si128((const __m128i*)src));
        _mm_storeu_si128((__m128i*)dst, feedback);
    }
    if (length % 16) feedback = TailBytes(EncryptBlock(feedback, keys), src, dst, length % 16);
    _mm_storeu_si128((__m128i*)ctx->feedbackRegister, feedback);
}
