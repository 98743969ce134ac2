// What one password guess costs against an archive, on this machine, one
// core: the plain MD5 chain (derive the check key, decrypt the check
// block), the stretched key with N rounds (PBKDF2-HMAC-SHA256, then the
// chain over its hex), and, as a reference, a 2^19-round SHA-256 chain over
// salt, password and a counter. Prints one line per kind: name, seconds
// per guess, guesses per second.
//
//   key_cost [ROUNDS]     default: the tool's default rounds
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypto/cipher.h"
#include "crypto/key_stretch.h"

namespace {

const char16_t PASSWORD[] = u"bench-password-2024";

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs `guess` until at least `seconds` have passed; seconds per call.
template <typename Guess>
double PerGuess(double seconds, Guess guess) {
    long calls = 0;
    double start = Now(), elapsed = 0;
    do {
        guess();
        calls++;
        elapsed = Now() - start;
    } while (elapsed < seconds);
    return elapsed / (double)calls;
}

void Report(const char* name, double perGuess) {
    std::printf("%s\t%.9f\t%.1f\n", name, perGuess, 1.0 / perGuess);
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t rounds = argc > 1 ? (uint32_t)std::strtoul(argv[1], nullptr, 10) : DEFAULT_KEY_ROUNDS;
    CipherContext ctx;
    uint8_t block[16];
    const uint8_t filler[12] = {0};
    MakePasswordCheckBlock(&ctx, PASSWORD, filler, block);
    volatile bool sink = false;

    Report("plain MD5 chain", PerGuess(2.0, [&] { sink = CheckPassword(&ctx, PASSWORD, block); }));

    KeyStretch stretch;
    stretch.rounds = rounds;
    std::memset(stretch.salt, 0x5A, sizeof stretch.salt);
    Report("PBKDF2-HMAC-SHA256", PerGuess(3.0, [&] {
               char16_t stretched[STRETCHED_PASSWORD_UNITS + 1];
               if (!StretchPassword(PASSWORD, &stretch, stretched)) std::exit(1);
               sink = CheckPassword(&ctx, stretched, block);
           }));

    // 2^19 SHA-256 updates of salt, the password's UTF-16LE bytes and a
    // 64-bit counter, then one AES decryption of a check block.
    Report("2^19 SHA-256 chain", PerGuess(3.0, [&] {
               EVP_MD_CTX* sha = EVP_MD_CTX_new();
               EVP_DigestInit_ex(sha, EVP_sha256(), nullptr);
               uint8_t unit[8 + 2 * (sizeof PASSWORD / 2 - 1) + 8];
               std::memcpy(unit, stretch.salt, 8);
               for (size_t i = 0; i + 1 < sizeof PASSWORD / 2; i++) {
                   unit[8 + 2 * i] = (uint8_t)PASSWORD[i];
                   unit[9 + 2 * i] = (uint8_t)(PASSWORD[i] >> 8);
               }
               for (uint64_t round = 0; round < (1u << 19); round++) {
                   for (int b = 0; b < 8; b++) unit[sizeof unit - 8 + b] = (uint8_t)(round >> (8 * b));
                   EVP_DigestUpdate(sha, unit, sizeof unit);
               }
               uint8_t digest[32];
               unsigned int length = 0;
               EVP_DigestFinal_ex(sha, digest, &length);
               EVP_MD_CTX_free(sha);
               sink = CheckPassword(&ctx, PASSWORD, block);
           }));
    (void)sink;
    return 0;
}
