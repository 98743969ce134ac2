// Stretched keys: the platform's PBKDF2-HMAC-SHA256 (OpenSSL or bcrypt.dll), the hex password, the resource.
#include <gtest/gtest.h>

#include <string>

#include "bytes.h"
#include "crypto/cipher.h"
#include "crypto/key_stretch.h"
#include "platform/little_endian.h"
#include "platform/platform.h"

namespace {

// RFC 7914, section 11, then Python's hashlib.pbkdf2_hmac: long keys, several blocks, zero bytes.
TEST(KeyStretch, Pbkdf2MatchesPublishedVectors) {
    struct {
        std::string password, salt;
        uint32_t rounds;
        const char* key;
    } cases[] = {
        {"passwd", "salt", 1,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
         "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
         "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
        {"password", "salt", 2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
        {"password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1c635518c7dac47e9"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "89b69d0516f829893c696226650a8687"},
    };
    for (const auto& c : cases) {
        Bytes password = ToBytes(c.password), salt = ToBytes(c.salt), want = FromHex(c.key), got(want.size());
        ASSERT_TRUE(PlatformPbkdf2Sha256(password.data(), (uint32_t)password.size(), salt.data(),
                                         (uint32_t)salt.size(), c.rounds, got.data(), (uint32_t)got.size()));
        EXPECT_EQ(got, want) << c.password << " / " << c.rounds;
    }
}

// The stretched password is the hex of PBKDF2 over the UTF-16LE units and keys the check block.
TEST(KeyStretch, StretchedPasswordIsHexOfUtf16Key) {
    KeyStretch stretch;
    stretch.rounds = 1000;
    for (uint32_t i = 0; i < KEY_SALT_SIZE; i++) stretch.salt[i] = (uint8_t)i;
    char16_t out[STRETCHED_PASSWORD_UNITS + 1];
    ASSERT_TRUE(StretchPassword(u"correct horse", &stretch, out));
    EXPECT_EQ(std::u16string(out), u"5c211b8295b872645dfe607e25dd2b3eeca159250e7a2fca4435460c73cbefd5");

    CipherContext ctx;
    uint8_t block[16];
    const uint8_t filler[12] = {0};
    MakePasswordCheckBlock(&ctx, out, filler, block);
    EXPECT_TRUE(CheckPassword(&ctx, out, block));
    EXPECT_FALSE(CheckPassword(&ctx, u"correct horse", block));

    // Another salt or round count is another key.
    char16_t other[STRETCHED_PASSWORD_UNITS + 1];
    stretch.salt[15] ^= 1;
    ASSERT_TRUE(StretchPassword(u"correct horse", &stretch, other));
    EXPECT_NE(std::u16string(other), std::u16string(out));
    stretch.salt[15] ^= 1;
    stretch.rounds = 1001;
    ASSERT_TRUE(StretchPassword(u"correct horse", &stretch, other));
    EXPECT_NE(std::u16string(other), std::u16string(out));
}

TEST(KeyStretch, ResourceIsReadOnlyWhenWellFormed) {
    KeyStretch given;
    given.rounds = DEFAULT_KEY_ROUNDS;
    for (uint32_t i = 0; i < KEY_SALT_SIZE; i++) given.salt[i] = (uint8_t)(0xA0 + i);
    uint8_t bytes[KEY_STRETCH_SIZE + 1] = {0};
    EncodeKeyStretch(&given, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + 8), FromHex("01000000 c0270900"));  // version 1, 600000

    KeyStretch read;
    ASSERT_TRUE(ParseKeyStretch(bytes, KEY_STRETCH_SIZE, &read));
    EXPECT_EQ(read.rounds, given.rounds);
    EXPECT_EQ(Bytes(read.salt, read.salt + KEY_SALT_SIZE), Bytes(given.salt, given.salt + KEY_SALT_SIZE));

    struct {
        uint32_t size, version, rounds;
        bool valid;
    } cases[] = {
        {KEY_STRETCH_SIZE, 1, 1, true},
        {KEY_STRETCH_SIZE, 1, MAX_KEY_ROUNDS, true},
        {KEY_STRETCH_SIZE, 1, MAX_KEY_ROUNDS + 1, false},
        {KEY_STRETCH_SIZE, 1, 0, false},
        {KEY_STRETCH_SIZE, 2, 1000, false},
        {KEY_STRETCH_SIZE, 0, 1000, false},
        {KEY_STRETCH_SIZE - 1, 1, 1000, false},
        {KEY_STRETCH_SIZE + 1, 1, 1000, false},
    };
    for (const auto& c : cases) {
        StoreLE32(bytes, c.version);
        StoreLE32(bytes + 4, c.rounds);
        read.rounds = 7;
        EXPECT_EQ(ParseKeyStretch(bytes, c.size, &read), c.valid) << c.size << " " << c.version << " " << c.rounds;
        EXPECT_EQ(read.rounds, c.valid ? c.rounds : 7u);
    }
    EXPECT_FALSE(ParseKeyStretch(nullptr, KEY_STRETCH_SIZE, &read));
}

}  // namespace
