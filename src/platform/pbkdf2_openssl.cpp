// PlatformPbkdf2Sha256 through OpenSSL's libcrypto, for the Linux tool and
// the host tests.
#include <openssl/evp.h>

#include "platform/platform.h"

bool PlatformPbkdf2Sha256(const uint8_t* password, uint32_t passwordSize, const uint8_t* salt, uint32_t saltSize,
                          uint32_t rounds, uint8_t* out, uint32_t outSize) {
    if (rounds > 0x7FFFFFFF || passwordSize > 0x7FFFFFFF || saltSize > 0x7FFFFFFF || outSize > 0x7FFFFFFF)
        return false;
    return PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password), (int)passwordSize, salt, (int)saltSize,
                             (int)rounds, EVP_sha256(), (int)outSize, out) == 1;
}
