#include <gtest/gtest.h>
#include <string.h>

#include "bytes.h"
#include "crypto/aes.h"
#include "crypto/cipher.h"

namespace {

struct KeyAndIv {
    Bytes key;  // 32 bytes
    Bytes iv;   // 16 bytes
};

// The chain written out over an explicit byte string P.
KeyAndIv ChainOver(const Bytes& p) {
    Bytes k1 = Md5Of(p);
    Bytes k2 = Md5Of(k1, p);
    Bytes iv = Md5Of(k2, p);
    Bytes key = k1;
    key.insert(key.end(), k2.begin(), k2.end());
    return {key, iv};
}

KeyAndIv NoPassword() { return {Bytes(32, 0), Bytes(16, 0)}; }

// Compares a derived context with the schedule of `expected.key` in the
// given form and with `expected.iv` in the register.
void ExpectContextHolds(const CipherContext& ctx, const KeyAndIv& expected, bool decryptForm) {
    uint32_t schedule[AES_MAX_SCHEDULE_WORDS];
    int rounds = decryptForm ? AesExpandDecryptKey(schedule, expected.key.data(), 256)
                             : AesExpandKey(schedule, expected.key.data(), 256);
    EXPECT_EQ(ctx.roundCount, rounds);
    EXPECT_EQ(memcmp(ctx.roundKeys, schedule, sizeof(schedule)), 0) << "round keys";
    EXPECT_EQ(ToHex(ctx.feedbackRegister, 16), ToHex(expected.iv));
}

// "pw" is the bytes 70 00 77 00: K1 = `printf 'p\0w\0' | md5sum`, K2 = MD5(K1 || P), IV = MD5(K2 || P);
// the empty password hashes the empty string.
TEST(PasswordKey, ChainMatchesMd5sum) {
    struct {
        const char16_t* password;
        const char* key;  // K1 || K2
        const char* iv;
    } cases[] = {
        {u"pw", "d29e9e1676c2b9d01b1e10adce084822 d8ca3969e1700825027537123d3023fa",
         "18554fab78e6cfd9dfc93a6fb8294b50"},
        {u"", "d41d8cd98f00b204e9800998ecf8427e 59adb24ef3cdbe0297f05b395827453f",
         "8b8154f03b75f58a6c702235bf643629"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        KeyAndIv expected{FromHex(c.key), FromHex(c.iv)};
        CipherContext ctx;
        EXPECT_EQ(DeriveStreamKey(&ctx, c.password), 14);
        ExpectContextHolds(ctx, expected, false);
        EXPECT_EQ(DeriveCheckKey(&ctx, c.password), 14);
        ExpectContextHolds(ctx, expected, true);
    }
}

// What is hashed: UTF-16LE units up to the first zero unit, whatever the length if not 0 (no
// password, which is not the empty one).
TEST(PasswordKey, HashedBytes) {
    struct {
        const char* name;
        std::u16string units;  // terminator added by c_str()
        int length;
        KeyAndIv expected;
    } cases[] = {
        {"length 0 means no password", u"secret", 0, NoPassword()},
        {"empty string still hashes", u"", 5, ChainOver({})},
        {"units after the first zero are ignored", std::u16string(u"a\0bc", 4), 4,
         ChainOver(FromHex("6100"))},
        {"length value is not a count", u"ab", 99, ChainOver(FromHex("61006200"))},
        {"three units hash six bytes", u"xyz", 3, ChainOver(FromHex("780079007a00"))},
        {"low byte first", u"\u1234\uabcd", 2, ChainOver(FromHex("3412cdab"))},
        {"surrogate pair is two units", u"\U0001F600", 1, ChainOver(FromHex("3dd800de"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CipherContext ctx;
        memset(&ctx, 0x5A, sizeof(ctx));
        DeriveStreamKey(&ctx, c.length ? c.units.c_str() : nullptr);
        ExpectContextHolds(ctx, c.expected, false);
        memset(&ctx, 0x5A, sizeof(ctx));
        DeriveCheckKey(&ctx, c.length ? c.units.c_str() : nullptr);
        ExpectContextHolds(ctx, c.expected, true);
    }
}

// Without a password the check uses the all-zero AES-256 key (the zero register: HashedBytes).
TEST(PasswordCheck, NoPasswordUsesZeroKey) {
    const uint8_t zeroKey[32] = {};
    uint32_t schedule[AES_MAX_SCHEDULE_WORDS];
    AesExpandKey(schedule, zeroKey, 256);
    uint8_t block[16] = {'L', 'O', 'C', 'K', 1, 2, 3};
    AesEncryptBlock(schedule, 14, block, block);

    CipherContext ctx;
    EXPECT_TRUE(CheckPassword(&ctx, nullptr, block));
    EXPECT_FALSE(CheckPassword(&ctx, u"", block));
}

// Only the first four decrypted bytes count, and they must read "LOCK".
TEST(PasswordCheck, MagicBytes) {
    struct {
        const char* plain;  // 16 bytes
        bool accepted;
    } cases[] = {
        {"LOCK\0\0\0\0\0\0\0\0\0\0\0\0", true},
        {"LOCK\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", true},
        {"LOCKLOCKLOCKLOCK", true},
        {"KCOL\0\0\0\0\0\0\0\0\0\0\0\0", false},
        {"LOCk\0\0\0\0\0\0\0\0\0\0\0\0", false},
        {"LOC\0K\0\0\0\0\0\0\0\0\0\0\0", false},
        {" LOCK\0\0\0\0\0\0\0\0\0\0\0", false},
        {"xxxxxxxxxxxxLOCK", false},
    };
    KeyAndIv key = ChainOver(FromHex("70007700"));  // "pw"
    uint32_t schedule[AES_MAX_SCHEDULE_WORDS];
    AesExpandKey(schedule, key.key.data(), 256);
    for (const auto& c : cases) {
        SCOPED_TRACE(ToHex(reinterpret_cast<const uint8_t*>(c.plain), 16));
        uint8_t block[16];
        AesEncryptBlock(schedule, 14, reinterpret_cast<const uint8_t*>(c.plain), block);
        CipherContext ctx;
        EXPECT_EQ(CheckPassword(&ctx, u"pw", block), c.accepted);
        ExpectContextHolds(ctx, key, true);  // the check leaves the decryption form
    }
}

TEST(PasswordCheck, MadeBlockAcceptsOnlyItsPassword) {
    const uint8_t filler[12] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0xff, 0x80};
    const char16_t* passwords[] = {u"pw", u"Pw", u"pw ", u"", nullptr, u"\U0001F600"};  // nullptr: none
    for (const char16_t*& made : passwords) {
        CipherContext ctx;
        uint8_t block[16];
        MakePasswordCheckBlock(&ctx, made, filler, block);

        // Afterwards the context holds the stream key and IV.
        CipherContext fresh;
        DeriveStreamKey(&fresh, made);
        EXPECT_EQ(memcmp(&ctx, &fresh, sizeof(ctx)), 0);

        // One plain block encryption of "LOCK" || filler.
        uint8_t plain[16];
        DeriveCheckKey(&fresh, made);
        AesDecryptBlock(fresh.roundKeys, 14, block, plain);
        EXPECT_EQ(memcmp(plain, "LOCK", 4), 0);
        EXPECT_EQ(memcmp(plain + 4, filler, 12), 0);

        for (const char16_t*& tried : passwords) {
            bool same = &tried == &made;
            EXPECT_EQ(CheckPassword(&ctx, tried, block), same)
                << "made with #" << (&made - passwords) << ", tried #" << (&tried - passwords);
        }
    }
}

}  // namespace
