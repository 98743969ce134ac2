// CFB-128 with the x86 AES instructions. Decryption's keystream blocks are
// encryptions of ciphertext blocks that are all known up front (the register
// and the piece's own input), so eight of them run through the rounds at
// once; encryption feeds each output block into the next and stays serial.
#include <cpuid.h>
#include <string.h>
#include <wmmintrin.h>

#include "crypto/fast/stream_fast.h"

namespace {

const int ROUNDS = 14;
const uint32_t PARALLEL = 8;

// The schedule holds big-endian words (first key byte most significant);
// the instructions take round keys as bytes in memory order.
__attribute__((target("aes,sse2"))) void LoadRoundKeys(const CipherContext* ctx,
                                                       __m128i keys[ROUNDS + 1]) {
    for (int r = 0; r <= ROUNDS; r++) {
        uint8_t bytes[16];
        for (int w = 0; w < 4; w++) {
            uint32_t word = ctx->RoundKeys[4 * r + w];
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
                                                      uint8_t* dst, uint32_t k, bool decrypt) {
    uint8_t reg[16];
    _mm_storeu_si128((__m128i*)reg, stream);
    for (uint32_t i = 0; i < k; i++) {
        uint8_t x = src[i];  // read before the write: in == out is allowed
        uint8_t y = (uint8_t)(x ^ reg[i]);
        dst[i] = y;
        reg[i] = decrypt ? x : y;
    }
    return _mm_loadu_si128((const __m128i*)reg);
}

}  // namespace

bool AesniSupported() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (c & bit_AES) && (d & bit_SSE2);
}

__attribute__((target("aes,sse2"))) void DecryptStreamAesni(CipherContext* ctx, const void* in,
                                                            void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    __m128i keys[ROUNDS + 1];
    LoadRoundKeys(ctx, keys);
    __m128i feedback = _mm_loadu_si128((const __m128i*)ctx->FeedbackRegister);
    uint32_t blocks = length / 16;

    for (; blocks >= PARALLEL; blocks -= PARALLEL, src += 16 * PARALLEL, dst += 16 * PARALLEL) {
        __m128i cipher[PARALLEL], stream[PARALLEL];
        // All input is loaded before any output is stored (in place).
        for (uint32_t j = 0; j < PARALLEL; j++) cipher[j] = _mm_loadu_si128((const __m128i*)(src + 16 * j));
        stream[0] = _mm_xor_si128(feedback, keys[0]);
        for (uint32_t j = 1; j < PARALLEL; j++) stream[j] = _mm_xor_si128(cipher[j - 1], keys[0]);
        for (int r = 1; r < ROUNDS; r++) {
            for (uint32_t j = 0; j < PARALLEL; j++) stream[j] = _mm_aesenc_si128(stream[j], keys[r]);
        }
        for (uint32_t j = 0; j < PARALLEL; j++) {
            stream[j] = _mm_aesenclast_si128(stream[j], keys[ROUNDS]);
            _mm_storeu_si128((__m128i*)(dst + 16 * j), _mm_xor_si128(stream[j], cipher[j]));
        }
        feedback = cipher[PARALLEL - 1];
    }
    for (; blocks > 0; blocks--, src += 16, dst += 16) {
        __m128i cipher = _mm_loadu_si128((const __m128i*)src);
        _mm_storeu_si128((__m128i*)dst, _mm_xor_si128(EncryptBlock(feedback, keys), cipher));
        feedback = cipher;
    }
    if (length % 16) feedback = TailBytes(EncryptBlock(feedback, keys), src, dst, length % 16, true);
    _mm_storeu_si128((__m128i*)ctx->FeedbackRegister, feedback);
}

__attribute__((target("aes,sse2"))) void EncryptStreamAesni(CipherContext* ctx, const void* in,
                                                            void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    __m128i keys[ROUNDS + 1];
    LoadRoundKeys(ctx, keys);
    __m128i feedback = _mm_loadu_si128((const __m128i*)ctx->FeedbackRegister);
    for (uint32_t blocks = length / 16; blocks > 0; blocks--, src += 16, dst += 16) {
        feedback = _mm_xor_si128(EncryptBlock(feedback, keys), _mm_loadu_si128((const __m128i*)src));
        _mm_storeu_si128((__m128i*)dst, feedback);
    }
    if (length % 16) feedback = TailBytes(EncryptBlock(feedback, keys), src, dst, length % 16, false);
    _mm_storeu_si128((__m128i*)ctx->FeedbackRegister, feedback);
}
