// The AES tables follow from arithmetic in GF(2^8) modulo
// x^8 + x^4 + x^3 + x + 1; constexpr evaluation turns them into constant data.
#include "crypto/aes_tables.h"

namespace {

constexpr uint8_t XTime(uint8_t a) {
    return (uint8_t)((a << 1) ^ ((a & 0x80) ? 0x1b : 0x00));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b) {
        if (b & 1) product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

constexpr uint8_t RotateByteLeft(uint8_t x, int n) {
    return (uint8_t)((x << n) | (x >> (8 - n)));
}

constexpr uint32_t RotateRight(uint32_t x, int n) {
    return n == 0 ? x : (x >> n) | (x << (32 - n));
}

constexpr uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return ((uint32_t)b0 << 24) | ((uint32_t)b1 << 16) | ((uint32_t)b2 << 8) | b3;
}

constexpr AesTables MakeAesTables() {
    AesTables t{};

    // Powers of the generator 3 walk through all 255 non-zero elements;
    // the inverse of 3^k is 3^(255 - k).
    uint8_t power[256] = {};
    uint8_t logarithm[256] = {};
    uint8_t p = 1;
    for (int k = 0; k < 255; k++) {
        power[k] = p;
        logarithm[p] = (uint8_t)k;
        p ^= XTime(p);  // p * 3
    }

    uint8_t sbox[256] = {};
    uint8_t inverseSbox[256] = {};
    for (int x = 0; x < 256; x++) {
        uint8_t inverse = x ? power[(255 - logarithm[x]) % 255] : 0;
        // Affine transformation of FIPS-197 section 5.1.1.
        uint8_t s = (uint8_t)(inverse ^ RotateByteLeft(inverse, 1) ^ RotateByteLeft(inverse, 2) ^
                              RotateByteLeft(inverse, 3) ^ RotateByteLeft(inverse, 4) ^ 0x63);
        sbox[x] = s;
        inverseSbox[s] = (uint8_t)x;
    }

    for (int x = 0; x < 256; x++) {
        uint8_t s = sbox[x];
        uint32_t te = Word(Multiply(s, 2), s, s, Multiply(s, 3));
        uint8_t v = inverseSbox[x];
        uint32_t td = Word(Multiply(v, 14), Multiply(v, 9), Multiply(v, 13), Multiply(v, 11));
        for (int r = 0; r < 4; r++) {
            t.Te[r][x] = RotateRight(te, 8 * r);
            t.Td[r][x] = RotateRight(td, 8 * r);
        }
        t.Se[x] = Word(s, s, s, s);
        t.Sd[x] = Word(v, v, v, v);
    }

    uint8_t rc = 1;
    for (int i = 0; i < 10; i++) {
        t.Rcon[i] = (uint32_t)rc << 24;
        rc = XTime(rc);
    }
    return t;
}

}  // namespace

// constexpr forces evaluation at compile time: a table that could not be
// computed there is a build error, never a run-time initialiser.
extern constexpr AesTables AES_TABLES = MakeAesTables();
