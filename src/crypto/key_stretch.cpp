#include "crypto/key_stretch.h"

#include "crypto/wipe.h"
#include "platform/little_endian.h"
#include "platform/platform.h"

bool ParseKeyStretch(const uint8_t* bytes, uint32_t size, KeyStretch* stretch) {
    if (bytes == nullptr || size != KEY_STRETCH_SIZE) return false;
    uint32_t rounds = LoadLE32(bytes + 4);
    if (LoadLE32(bytes) != KEY_STRETCH_VERSION || rounds == 0 || rounds > MAX_KEY_ROUNDS) return false;
    stretch->rounds = rounds;
    for (uint32_t i = 0; i < KEY_SALT_SIZE; i++) stretch->salt[i] = bytes[8 + i];
    return true;
}

void EncodeKeyStretch(const KeyStretch* stretch, uint8_t out[KEY_STRETCH_SIZE]) {
    StoreLE32(out, KEY_STRETCH_VERSION);
    StoreLE32(out + 4, stretch->rounds);
    for (uint32_t i = 0; i < KEY_SALT_SIZE; i++) out[8 + i] = stretch->salt[i];
}

bool StretchPassword(const char16_t* password, const KeyStretch* stretch,
                     char16_t out[STRETCHED_PASSWORD_UNITS + 1]) {
    out[0] = 0;
    uint32_t units = 0;
    while (password[units] != 0) units++;
    // The password as UTF-16LE bytes, whatever the host's byte order.
    uint8_t* bytes = static_cast<uint8_t*>(PlatformAlloc((size_t)units * 2 + 1));
    if (bytes == nullptr) return false;
    for (uint32_t i = 0; i < units; i++) StoreLE16(bytes + 2 * i, (uint16_t)password[i]);
    uint8_t digest[32];
    bool derived = PlatformPbkdf2Sha256(bytes, units * 2, stretch->salt, KEY_SALT_SIZE, stretch->rounds,
                                        digest, sizeof digest);
    WipeBytes(bytes, units * 2);
    PlatformFree(bytes);
    if (!derived) return false;
    static const char HEX[] = "0123456789abcdef";
    for (uint32_t i = 0; i < sizeof digest; i++) {
        out[2 * i] = (char16_t)HEX[digest[i] >> 4];
        out[2 * i + 1] = (char16_t)HEX[digest[i] & 15];
    }
    out[STRETCHED_PASSWORD_UNITS] = 0;
    WipeBytes(digest, sizeof digest);
    return true;
}
