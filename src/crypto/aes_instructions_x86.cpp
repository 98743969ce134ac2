// Whole CFB blocks with the x86 AES instructions. Written for size as much
// as speed: the decryption goes into the extractor.
#include <cpuid.h>
#include <wmmintrin.h>

#include "crypto/aes_instructions.h"

namespace {

const uint32_t GROUP = 4;
const int ROUNDS = 14;

// 0: not asked yet; 1: the processor has AES and SSE2; 2: it has not.
int g_AesInstructions;

}  // namespace

// How many whole blocks of a piece of `length` bytes the instructions take
// (0 without them), with the round keys loaded into `words`: the schedule
// holds big-endian words, the instructions take the keys as bytes in
// memory order.
static uint32_t PrepareBlocks(const CipherContext* ctx, uint32_t length, uint32_t words[60]) {
    uint32_t blocks = length / 16;
    if (blocks == 0 || !AesInstructionsAvailable()) return 0;
    for (int i = 0; i < 60; i++) words[i] = __builtin_bswap32(ctx->roundKeys[i]);
    return blocks;
}

bool AesInstructionsAvailable() {
    if (g_AesInstructions == 0) {
        // Every processor that runs the extractor's Windows has CPUID.
        unsigned a, b, c, d;
        __cpuid(1, a, b, c, d);
        bool have = (c & bit_AES) && (d & bit_SSE2);
        g_AesInstructions = have ? 1 : 2;
    }
    return g_AesInstructions == 1;
}

__attribute__((target("aes,sse2"))) uint32_t DecryptWholeBlocks(CipherContext* ctx, const uint8_t* in,
                                                                 uint8_t* out, uint32_t length) {
    uint32_t words[60];
    uint32_t blocks = PrepareBlocks(ctx, length, words);
    if (blocks == 0) return 0;
    const __m128i* keys = (const __m128i*)words;  // __m128i may alias other types

    const __m128i* src = (const __m128i*)in;
    __m128i* dst = (__m128i*)out;
    __m128i feedback = _mm_loadu_si128((const __m128i*)ctx->feedbackRegister);
    while (blocks > 0) {
        uint32_t n = blocks < GROUP ? 1 : GROUP;
        __m128i stream[GROUP];
        for (uint32_t j = 0; j < n; j++) {
            __m128i before = j ? _mm_loadu_si128(src + j - 1) : feedback;
            stream[j] = _mm_xor_si128(before, _mm_loadu_si128(keys));
        }
        for (int r = 1; r < ROUNDS; r++) {
            __m128i key = _mm_loadu_si128(keys + r);
            for (uint32_t j = 0; j < n; j++) stream[j] = _mm_aesenc_si128(stream[j], key);
        }
        __m128i last = _mm_loadu_si128(keys + ROUNDS);
        feedback = _mm_loadu_si128(src + n - 1);
        // Each block's input is read before its output is written: in place works.
        for (uint32_t j = 0; j < n; j++) {
            __m128i plain = _mm_xor_si128(_mm_aesenclast_si128(stream[j], last), _mm_loadu_si128(src + j));
            _mm_storeu_si128(dst + j, plain);
        }
        src += n;
        dst += n;
        blocks -= n;
    }
    _mm_storeu_si128((__m128i*)ctx->feedbackRegister, feedback);
    return length & ~15u;
}

__attribute__((target("aes,sse2"))) uint32_t EncryptWholeBlocks(CipherContext* ctx, const uint8_t* in,
                                                                 uint8_t* out, uint32_t length) {
    uint32_t words[60];
    uint32_t blocks = PrepareBlocks(ctx, length, words);
    if (blocks == 0) return 0;
    const __m128i* keys = (const __m128i*)words;
    __m128i feedback = _mm_loadu_si128((const __m128i*)ctx->feedbackRegister);
    for (uint32_t i = 0; i < blocks; i++) {
        __m128i block = _mm_xor_si128(feedback, _mm_loadu_si128(keys));
        for (int r = 1; r < ROUNDS; r++) block = _mm_aesenc_si128(block, _mm_loadu_si128(keys + r));
        block = _mm_aesenclast_si128(block, _mm_loadu_si128(keys + ROUNDS));
        feedback = _mm_xor_si128(block, _mm_loadu_si128((const __m128i*)in + i));
        _mm_storeu_si128((__m128i*)out + i, feedback);
    }
    _mm_storeu_si128((__m128i*)ctx->feedbackRegister, feedback);
    return length & ~15u;
}
