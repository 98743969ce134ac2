// Table-driven AES on 32-bit big-endian words. A round is sixteen table
// look-ups and XORs; the rounds are written out, and the round pairs that only
// 192- and 256-bit keys have are guarded by the round count.
#include "crypto/aes.h"

#include "crypto/aes_tables.h"

#define AES_INLINE inline __attribute__((always_inline))

namespace {

const uint32_t (&Te)[4][256] = g_AesTables.Te;
const uint32_t (&Td)[4][256] = g_AesTables.Td;
const uint32_t (&Se)[256] = g_AesTables.Se;
const uint32_t (&Sd)[256] = g_AesTables.Sd;

AES_INLINE uint32_t LoadBigEndian(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

AES_INLINE void StoreBigEndian(uint8_t* p, uint32_t w) {
    p[0] = (uint8_t)(w >> 24);
    p[1] = (uint8_t)(w >> 16);
    p[2] = (uint8_t)(w >> 8);
    p[3] = (uint8_t)w;
}

AES_INLINE uint32_t B0(uint32_t w) { return w >> 24; }
AES_INLINE uint32_t B1(uint32_t w) { return (w >> 16) & 0xff; }
AES_INLINE uint32_t B2(uint32_t w) { return (w >> 8) & 0xff; }
AES_INLINE uint32_t B3(uint32_t w) { return w & 0xff; }

// SubWord(RotWord(w)) of the key expansion, and SubWord alone.
AES_INLINE uint32_t SubRotWord(uint32_t w) {
    return (Se[B1(w)] & 0xff000000) ^ (Se[B2(w)] & 0x00ff0000) ^
           (Se[B3(w)] & 0x0000ff00) ^ (Se[B0(w)] & 0x000000ff);
}

AES_INLINE uint32_t SubWord(uint32_t w) {
    return (Se[B0(w)] & 0xff000000) ^ (Se[B1(w)] & 0x00ff0000) ^
           (Se[B2(w)] & 0x0000ff00) ^ (Se[B3(w)] & 0x000000ff);
}

// One inner round: SubBytes, ShiftRows, MixColumns and AddRoundKey.
AES_INLINE void EncryptRound(const uint32_t s[4], uint32_t t[4], const uint32_t* rk) {
    t[0] = Te[0][B0(s[0])] ^ Te[1][B1(s[1])] ^ Te[2][B2(s[2])] ^ Te[3][B3(s[3])] ^ rk[0];
    t[1] = Te[0][B0(s[1])] ^ Te[1][B1(s[2])] ^ Te[2][B2(s[3])] ^ Te[3][B3(s[0])] ^ rk[1];
    t[2] = Te[0][B0(s[2])] ^ Te[1][B1(s[3])] ^ Te[2][B2(s[0])] ^ Te[3][B3(s[1])] ^ rk[2];
    t[3] = Te[0][B0(s[3])] ^ Te[1][B1(s[0])] ^ Te[2][B2(s[1])] ^ Te[3][B3(s[2])] ^ rk[3];
}

// Inner round of the equivalent inverse cipher: the row shift runs the other
// way. Not inlined: decryption runs once per password check, and thirteen
// inlined copies would cost the extractor 3 KiB.
__attribute__((noinline)) void DecryptRound(const uint32_t s[4], uint32_t t[4], const uint32_t* rk) {
    t[0] = Td[0][B0(s[0])] ^ Td[1][B1(s[3])] ^ Td[2][B2(s[2])] ^ Td[3][B3(s[1])] ^ rk[0];
    t[1] = Td[0][B0(s[1])] ^ Td[1][B1(s[0])] ^ Td[2][B2(s[3])] ^ Td[3][B3(s[2])] ^ rk[1];
    t[2] = Td[0][B0(s[2])] ^ Td[1][B1(s[1])] ^ Td[2][B2(s[0])] ^ Td[3][B3(s[3])] ^ rk[2];
    t[3] = Td[0][B0(s[3])] ^ Td[1][B1(s[2])] ^ Td[2][B2(s[1])] ^ Td[3][B3(s[0])] ^ rk[3];
}

// Final round (no MixColumns): one substitution entry per byte, each kept in
// its own byte position.
AES_INLINE uint32_t FinalColumn(const uint32_t* box, uint32_t a, uint32_t b, uint32_t c,
                                uint32_t d, uint32_t k) {
    return (box[B0(a)] & 0xff000000) ^ (box[B1(b)] & 0x00ff0000) ^
           (box[B2(c)] & 0x0000ff00) ^ (box[B3(d)] & 0x000000ff) ^ k;
}

}  // namespace

int AesExpandKey(uint32_t* schedule, const uint8_t* key, int bits) {
    int nk, rounds;
    switch (bits) {
    case 128: nk = 4; rounds = 10; break;
    case 192: nk = 6; rounds = 12; break;
    case 256: nk = 8; rounds = 14; break;
    default: return 0;
    }
    AesGetTables();
    for (int i = 0; i < nk; i++) schedule[i] = LoadBigEndian(key + 4 * i);

    const int words = 4 * (rounds + 1);
    for (int i = nk; i < words; i++) {
        uint32_t temp = schedule[i - 1];
        if (i % nk == 0)
            temp = SubRotWord(temp) ^ g_AesTables.Rcon[i / nk - 1];
        else if (nk == 8 && i % nk == 4)
            temp = SubWord(temp);
        schedule[i] = schedule[i - nk] ^ temp;
    }
    return rounds;
}

int AesExpandDecryptKey(uint32_t* schedule, const uint8_t* key, int bits) {
    int rounds = AesExpandKey(schedule, key, bits);
    if (rounds == 0) return 0;

    // Round keys in reverse order, four-word groups kept intact.
    for (int i = 0, j = 4 * rounds; i < j; i += 4, j -= 4) {
        for (int k = 0; k < 4; k++) {
            uint32_t w = schedule[i + k];
            schedule[i + k] = schedule[j + k];
            schedule[j + k] = w;
        }
    }
    // InvMixColumns on the inner round keys. Td is built on InvS, so the
    // bytes go through S first to cancel it.
    for (int i = 4; i < 4 * rounds; i++) {
        uint32_t w = schedule[i];
        schedule[i] = Td[0][Se[B0(w)] & 0xff] ^ Td[1][Se[B1(w)] & 0xff] ^
                      Td[2][Se[B2(w)] & 0xff] ^ Td[3][Se[B3(w)] & 0xff];
    }
    return rounds;
}

void AesEncryptBlock(const uint32_t* rk, int rounds, const uint8_t in[16], uint8_t out[16]) {
    uint32_t s[4], t[4];
    // All input is read here, before anything is written: in == out is fine.
    for (int i = 0; i < 4; i++) s[i] = LoadBigEndian(in + 4 * i) ^ rk[i];

    EncryptRound(s, t, rk + 4);   // 1
    EncryptRound(t, s, rk + 8);   // 2
    EncryptRound(s, t, rk + 12);  // 3
    EncryptRound(t, s, rk + 16);  // 4
    EncryptRound(s, t, rk + 20);  // 5
    EncryptRound(t, s, rk + 24);  // 6
    EncryptRound(s, t, rk + 28);  // 7
    EncryptRound(t, s, rk + 32);  // 8
    EncryptRound(s, t, rk + 36);  // 9
    if (rounds > 10) {
        EncryptRound(t, s, rk + 40);  // 10
        EncryptRound(s, t, rk + 44);  // 11
        if (rounds > 12) {
            EncryptRound(t, s, rk + 48);  // 12
            EncryptRound(s, t, rk + 52);  // 13
        }
    }

    rk += 4 * rounds;
    StoreBigEndian(out + 0, FinalColumn(Se, t[0], t[1], t[2], t[3], rk[0]));
    StoreBigEndian(out + 4, FinalColumn(Se, t[1], t[2], t[3], t[0], rk[1]));
    StoreBigEndian(out + 8, FinalColumn(Se, t[2], t[3], t[0], t[1], rk[2]));
    StoreBigEndian(out + 12, FinalColumn(Se, t[3], t[0], t[1], t[2], rk[3]));
}

void AesDecryptBlock(const uint32_t* rk, int rounds, const uint8_t in[16], uint8_t out[16]) {
    uint32_t s[4], t[4];
    for (int i = 0; i < 4; i++) s[i] = LoadBigEndian(in + 4 * i) ^ rk[i];

    DecryptRound(s, t, rk + 4);   // 1
    DecryptRound(t, s, rk + 8);   // 2
    DecryptRound(s, t, rk + 12);  // 3
    DecryptRound(t, s, rk + 16);  // 4
    DecryptRound(s, t, rk + 20);  // 5
    DecryptRound(t, s, rk + 24);  // 6
    DecryptRound(s, t, rk + 28);  // 7
    DecryptRound(t, s, rk + 32);  // 8
    DecryptRound(s, t, rk + 36);  // 9
    if (rounds > 10) {
        DecryptRound(t, s, rk + 40);  // 10
        DecryptRound(s, t, rk + 44);  // 11
        if (rounds > 12) {
            DecryptRound(t, s, rk + 48);  // 12
            DecryptRound(s, t, rk + 52);  // 13
        }
    }

    rk += 4 * rounds;
    StoreBigEndian(out + 0, FinalColumn(Sd, t[0], t[3], t[2], t[1], rk[0]));
    StoreBigEndian(out + 4, FinalColumn(Sd, t[1], t[0], t[3], t[2], rk[1]));
    StoreBigEndian(out + 8, FinalColumn(Sd, t[2], t[1], t[0], t[3], rk[2]));
    StoreBigEndian(out + 12, FinalColumn(Sd, t[3], t[2], t[1], t[0], rk[3]));
}
