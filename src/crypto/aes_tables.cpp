// The AES tables follow from arithmetic in GF(2^8) modulo
// x^8 + x^4 + x^3 + x + 1.
#include "crypto/aes_tables.h"

namespace {

uint8_t XTime(uint8_t a) {
    return (uint8_t)((a << 1) ^ ((a & 0x80) ? 0x1b : 0x00));
}

uint8_t Multiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b) {
        if (b & 1) product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

uint8_t RotateByteLeft(uint8_t x, int n) {
    return (uint8_t)((x << n) | (x >> (8 - n)));
}

uint32_t RotateRight(uint32_t x, int n) {
    return n == 0 ? x : (x >> n) | (x << (32 - n));
}

uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return ((uint32_t)b0 << 24) | ((uint32_t)b1 << 16) | ((uint32_t)b2 << 8) | b3;
}

void BuildAesTables(AesTables& t) {

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
}

}  // namespace

AesTables g_AesTables;

// 0: not built, 1: being built, 2: ready. Compiler atomics rather than
// std::call_once: the extractor links no C++ runtime.
static int g_TablesState;

const AesTables& AesGetTables() {
    if (__atomic_load_n(&g_TablesState, __ATOMIC_ACQUIRE) == 2) return g_AesTables;
    int expected = 0;
    if (__atomic_compare_exchange_n(&g_TablesState, &expected, 1, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE)) {
        BuildAesTables(g_AesTables);
        __atomic_store_n(&g_TablesState, 2, __ATOMIC_RELEASE);
    } else {
        while (__atomic_load_n(&g_TablesState, __ATOMIC_ACQUIRE) != 2) {
        }
    }
    return g_AesTables;
}
