// MD5 (RFC 1321). Words are decoded and encoded little-endian byte by byte,
// so the result does not depend on the host's byte order.
#include "crypto/md5.h"

#include "crypto/wipe.h"

namespace {

// Pad block: one 0x80 byte, then zeros. At most 64 bytes are taken from it.
const uint8_t MD5_PADDING[64] = {0x80};

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// The additive constant of each of the 64 steps: floor(|sin(i + 1)| * 2^32).
const uint32_t MD5_SINES[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee,
    0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa,
    0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05,
    0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039,
    0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Rotation of each step, four per round.
const uint8_t MD5_SHIFTS[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

void Copy(uint8_t* to, const uint8_t* from, uint32_t length) {
    while (length--) *to++ = *from++;
}

}  // namespace

void Md5Init(Md5Context* ctx) {
    ctx->count[0] = 0;
    ctx->count[1] = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
}

void Md5Update(Md5Context* ctx, const void* input, uint32_t length) {
    if (length == 0) return;  // input may be null then
    const uint8_t* in = static_cast<const uint8_t*>(input);
    uint32_t index = (ctx->count[0] >> 3) & 0x3f;

    // 64-bit bit count: the low word wraps, its carry and the top three bits
    // of the byte length go to the high word.
    uint32_t low = ctx->count[0] + (length << 3);
    if (low < ctx->count[0]) ctx->count[1]++;
    ctx->count[0] = low;
    ctx->count[1] += length >> 29;

    uint32_t partLength = 64 - index;
    uint32_t i = 0;
    if (length >= partLength) {
        Copy(&ctx->buffer[index], in, partLength);
        Md5Transform(ctx->state, ctx->buffer);
        // Whole blocks straight from the caller's input, no copy.
        for (i = partLength; length - i >= 64; i += 64) Md5Transform(ctx->state, &in[i]);
        index = 0;
    }
    Copy(&ctx->buffer[index], &in[i], length - i);
}

void Md5Final(uint8_t digest[16], Md5Context* ctx) {
    // The length is encoded before the padding changes the count.
    uint8_t bits[8];
    for (int i = 0; i < 8; i++) bits[i] = (uint8_t)(ctx->count[i >> 2] >> (8 * (i & 3)));

    uint32_t index = (ctx->count[0] >> 3) & 0x3f;
    uint32_t padLength = (index < 56) ? (56 - index) : (120 - index);
    Md5Update(ctx, MD5_PADDING, padLength);
    Md5Update(ctx, bits, 8);

    for (int i = 0; i < 16; i++) digest[i] = (uint8_t)(ctx->state[i >> 2] >> (8 * (i & 3)));
    WipeBytes(ctx, sizeof(*ctx));
}

void Md5Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++) {
        x[i] = (uint32_t)block[4 * i] | ((uint32_t)block[4 * i + 1] << 8) |
               ((uint32_t)block[4 * i + 2] << 16) | ((uint32_t)block[4 * i + 3] << 24);
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    // The 64 steps as one loop (the extractor's size is capped; a digest
    // runs only a few times per entry). Step i of round r takes message word
    // i, 5i + 1, 3i + 5 or 7i (mod 16) and the round's function.
    for (int i = 0; i < 64; i++) {
        int round = i >> 4;
        uint32_t f;
        int word;
        switch (round) {
        case 0: f = F(b, c, d); word = i; break;
        case 1: f = G(b, c, d); word = 5 * i + 1; break;
        case 2: f = H(b, c, d); word = 3 * i + 5; break;
        default: f = I(b, c, d); word = 7 * i; break;
        }
        uint32_t next = b + RotateLeft(a + f + x[word & 15] + MD5_SINES[i], MD5_SHIFTS[4 * round + (i & 3)]);
        a = d;
        d = c;
        c = b;
        b = next;
    }

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;

    // The decoded words are message material (password bytes): clear them.
    WipeBytes(x, sizeof(x));
}
