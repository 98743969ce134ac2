#include <gtest/gtest.h>
#include <string.h>

#include "bytes.h"
#include "crypto/aes.h"
#include "crypto/aes_tables.h"

namespace {

struct BlockVector {
    const char* name;
    int bits;
    int rounds;
    const char* key;
    const char* plaintext;
    const char* ciphertext;
};

// FIPS-197, Appendix C (example vectors).
const BlockVector FIPS197_APPENDIX_C[] = {
    {"C.1 AES-128", 128, 10, "000102030405060708090a0b0c0d0e0f",
     "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C.2 AES-192", 192, 12, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C.3 AES-256", 256, 14, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

const uint32_t SENTINEL = 0xDEADBEEF;

void PrintTo(const BlockVector& v, std::ostream* os) { *os << v.name; }
class Fips197AppendixC : public ::testing::TestWithParam<BlockVector> {};
TEST_P(Fips197AppendixC, EncryptsAndDecrypts) {
    const BlockVector& v = GetParam();
    Bytes key = FromHex(v.key), plain = FromHex(v.plaintext), cipher = FromHex(v.ciphertext);
    uint32_t enc[AES_MAX_SCHEDULE_WORDS], dec[AES_MAX_SCHEDULE_WORDS];
    ASSERT_EQ(AesExpandKey(enc, key.data(), v.bits), v.rounds);
    ASSERT_EQ(AesExpandDecryptKey(dec, key.data(), v.bits), v.rounds);

    uint8_t out[16], block[16];
    AesEncryptBlock(enc, v.rounds, plain.data(), out);
    EXPECT_EQ(ToHex(out, 16), v.ciphertext);
    AesDecryptBlock(dec, v.rounds, cipher.data(), out);
    EXPECT_EQ(ToHex(out, 16), v.plaintext);
    memcpy(block, plain.data(), 16);  // the same block as input and output
    AesEncryptBlock(enc, v.rounds, block, block);
    EXPECT_EQ(ToHex(block, 16), v.ciphertext);
    AesDecryptBlock(dec, v.rounds, block, block);
    EXPECT_EQ(ToHex(block, 16), v.plaintext);
}
INSTANTIATE_TEST_SUITE_P(Vectors, Fips197AppendixC, ::testing::ValuesIn(FIPS197_APPENDIX_C));

struct ExpansionVector {
    int bits;
    int rounds;
    const char* key;
    uint32_t lastWord;
};

// FIPS-197, Appendix A (key expansion): the last word, w[43], w[51] or w[59].
const ExpansionVector FIPS197_APPENDIX_A[] = {
    {128, 10, "2b7e151628aed2a6abf7158809cf4f3c", 0xb6630ca6},
    {192, 12, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 0x01002202},
    {256, 14, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 0x706c631e},
};

// The schedule ends with the listed word; nothing past 4 * (rounds + 1) words is written.
TEST(Aes, KeyExpansionFips197AppendixA) {
    for (const auto& v : FIPS197_APPENDIX_A) {
        SCOPED_TRACE(v.bits);
        Bytes key = FromHex(v.key);
        const int words = 4 * (v.rounds + 1);
        uint32_t schedule[AES_MAX_SCHEDULE_WORDS + 1], dec[AES_MAX_SCHEDULE_WORDS + 1];
        for (int i = 0; i <= AES_MAX_SCHEDULE_WORDS; i++) schedule[i] = dec[i] = SENTINEL;
        ASSERT_EQ(AesExpandKey(schedule, key.data(), v.bits), v.rounds);
        EXPECT_EQ(schedule[0], (uint32_t)key[0] << 24 | key[1] << 16 | key[2] << 8 | key[3]);
        EXPECT_EQ(schedule[words - 1], v.lastWord);

        // Decryption form: the groups reversed, first and last not through InvMixColumns.
        ASSERT_EQ(AesExpandDecryptKey(dec, key.data(), v.bits), v.rounds);
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(dec[k], schedule[words - 4 + k]);
            EXPECT_EQ(dec[words - 4 + k], schedule[k]);
        }
        for (int i = words; i <= AES_MAX_SCHEDULE_WORDS; i++) {
            EXPECT_EQ(schedule[i], SENTINEL);
            EXPECT_EQ(dec[i], SENTINEL);
        }
    }
}

TEST(Aes, UnsupportedKeySizesAreRejected) {
    const uint8_t key[32] = {};
    for (int bits : {0, 64, 100, 127, 129, 160, 255, 512, -128}) {
        uint32_t schedule[AES_MAX_SCHEDULE_WORDS];
        for (auto& w : schedule) w = SENTINEL;
        EXPECT_EQ(AesExpandKey(schedule, key, bits), 0) << bits;
        EXPECT_EQ(AesExpandDecryptKey(schedule, key, bits), 0) << bits;
        for (uint32_t w : schedule) ASSERT_EQ(w, SENTINEL) << bits;
    }
}

// Decryption inverts encryption for every key size, in place and between buffers.
TEST(Aes, RandomRoundTrips) {
    std::mt19937 rng(197);
    for (int bits : {128, 192, 256}) {
        for (int trial = 0; trial < 100; trial++) {
            Bytes key = RandomBytes(rng, bits / 8), plain = RandomBytes(rng, 16);
            uint32_t enc[AES_MAX_SCHEDULE_WORDS], dec[AES_MAX_SCHEDULE_WORDS];
            int rounds = AesExpandKey(enc, key.data(), bits);
            ASSERT_EQ(AesExpandDecryptKey(dec, key.data(), bits), rounds);
            uint8_t cipher[16], back[16], inPlace[16];
            AesEncryptBlock(enc, rounds, plain.data(), cipher);
            memcpy(inPlace, plain.data(), 16);
            AesEncryptBlock(enc, rounds, inPlace, inPlace);
            ASSERT_EQ(memcmp(inPlace, cipher, 16), 0);
            AesDecryptBlock(dec, rounds, cipher, back);
            ASSERT_EQ(memcmp(back, plain.data(), 16), 0) << bits << " " << ToHex(key);
            AesDecryptBlock(dec, rounds, inPlace, inPlace);
            ASSERT_EQ(memcmp(inPlace, plain.data(), 16), 0);
        }
    }
}

// The tables built on first use: S-box row 0 and S(53) = ed of FIPS-197, its inverse, Rcon.
TEST(AesTables, SubstitutionAndConstants) {
    AesGetTables();
    const uint8_t row0[16] = {0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5,
                              0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76};
    for (int x = 0; x < 16; x++) EXPECT_EQ(g_AesTables.Se[x], row0[x] * 0x01010101u) << x;
    EXPECT_EQ(g_AesTables.Se[0x53], 0xedededed);
    for (int x = 0; x < 256; x++) {
        uint8_t s = (uint8_t)g_AesTables.Se[x];
        ASSERT_EQ(g_AesTables.Sd[s], (uint32_t)x * 0x01010101u) << x;
    }
    const uint8_t rcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};
    for (int i = 0; i < 10; i++) EXPECT_EQ(g_AesTables.Rcon[i], (uint32_t)rcon[i] << 24);
}

}  // namespace
