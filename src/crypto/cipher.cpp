// Password keys and the piecewise AES-256 CFB-128 stream.
#include "crypto/cipher.h"

#include "crypto/aes.h"
#include "crypto/aes_instructions.h"
#include "crypto/md5.h"
#include "crypto/wipe.h"

#include <string.h>

namespace {

const int STREAM_ROUNDS = 14;
const uint8_t PASSWORD_MAGIC[4] = {'L', 'O', 'C', 'K'};

// Set by tests that check the table-driven loop alone.
bool g_TablesOnly;

// MD5(prefix || P), P being the password's code units up to the first zero
// unit as UTF-16LE bytes. Each unit is split into its two bytes explicitly
// so that the byte order is fixed whatever the host's; passwords are short,
// so absorbing two bytes at a time costs nothing that matters.
void HashPassword(const uint8_t* prefix, const char16_t* password, uint8_t digest[16]) {
    Md5Context md5;
    Md5Init(&md5);
    if (prefix) Md5Update(&md5, prefix, 16);
    uint8_t bytes[2];
    for (const char16_t* unit = password; unit && *unit; unit++) {
        bytes[0] = (uint8_t)(*unit & 0xff);
        bytes[1] = (uint8_t)(*unit >> 8);
        Md5Update(&md5, bytes, 2);
    }
    WipeBytes(bytes, sizeof(bytes));
    Md5Final(digest, &md5);
}

// K1 = MD5(P), K2 = MD5(K1 || P), IV = MD5(K2 || P); key K1 || K2.
// Without a password (null) key and IV stay zero.
void DeriveKey(CipherContext* ctx, const char16_t* password, bool decryptForm) {
    uint8_t key[32] = {};
    for (int i = 0; i < 16; i++) ctx->feedbackRegister[i] = 0;
    if (password) {
        HashPassword(nullptr, password, key);
        HashPassword(key, password, key + 16);
        HashPassword(key + 16, password, ctx->feedbackRegister);
    }
    ctx->roundCount = decryptForm ? AesExpandDecryptKey(ctx->roundKeys, key, 256)
                                  : AesExpandKey(ctx->roundKeys, key, 256);
    WipeBytes(key, sizeof(key));
}

}  // namespace

int DeriveStreamKey(CipherContext* ctx, const char16_t* password) {
    DeriveKey(ctx, password, false);
    return STREAM_ROUNDS;
}

int DeriveCheckKey(CipherContext* ctx, const char16_t* password) {
    DeriveKey(ctx, password, true);
    return STREAM_ROUNDS;
}

bool CheckPassword(CipherContext* ctx, const char16_t* password, const uint8_t checkBlock[16]) {
    DeriveCheckKey(ctx, password);
    uint8_t plain[16];
    AesDecryptBlock(ctx->roundKeys, STREAM_ROUNDS, checkBlock, plain);
    // One 32-bit comparison: both sides are loaded the same way, so the
    // host's byte order does not matter.
    uint32_t head, magic;
    memcpy(&head, plain, 4);
    memcpy(&magic, PASSWORD_MAGIC, 4);
    bool match = head == magic;
    WipeBytes(plain, sizeof(plain));
    return match;
}

void UseAesInstructions(bool allowed) { g_TablesOnly = !allowed; }

// The block index restarts at 0 with every call: each call begins with a
// fresh encryption of whatever the register holds, even mid-block. The
// piece's whole blocks may go to the AES instructions first; they leave the
// last ciphertext block in the register, and the byte loop takes the tail
// from there.
void DecryptStream(CipherContext* ctx, const void* in, void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    if (!g_TablesOnly) {
        uint32_t done = DecryptWholeBlocks(ctx, src, dst, length);
        src += done;
        dst += done;
        length -= done;
    }
    uint8_t* reg = ctx->feedbackRegister;
    for (uint32_t j = 0, i = 0; j < length; j++, i = (i + 1) & 15) {
        if (i == 0) AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, reg, reg);
        uint8_t x = src[j];  // read before the write: in == out is allowed
        dst[j] = (uint8_t)(x ^ reg[i]);
        reg[i] = x;
    }
}

void EncryptStream(CipherContext* ctx, const void* in, void* out, uint32_t length) {
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    if (!g_TablesOnly) {
        uint32_t done = EncryptWholeBlocks(ctx, src, dst, length);
        src += done;
        dst += done;
        length -= done;
    }
    uint8_t* reg = ctx->feedbackRegister;
    for (uint32_t j = 0, i = 0; j < length; j++, i = (i + 1) & 15) {
        if (i == 0) AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, reg, reg);
        uint8_t y = (uint8_t)(src[j] ^ reg[i]);
        dst[j] = y;
        reg[i] = y;
    }
}

void MakePasswordCheckBlock(CipherContext* ctx, const char16_t* password, const uint8_t filler[12],
                            uint8_t out[16]) {
    DeriveStreamKey(ctx, password);
    uint8_t block[16];
    for (int i = 0; i < 4; i++) block[i] = PASSWORD_MAGIC[i];
    for (int i = 0; i < 12; i++) block[4 + i] = filler[i];
    AesEncryptBlock(ctx->roundKeys, STREAM_ROUNDS, block, out);
    WipeBytes(block, sizeof(block));
}
