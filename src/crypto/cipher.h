// Password keys and the archive's stream cipher.
//
// The key is derived from the password by chained MD5 over its UTF-16LE
// code units: K1 = MD5(P), K2 = MD5(K1 || P), IV = MD5(K2 || P); the AES-256
// key is K1 || K2. Without a password (null) key and IV are all zero; an
// empty password is a password, whose chain runs over the empty message.
//
// Streams are AES-256 CFB-128, cut into pieces: every call of DecryptStream
// or EncryptStream is one piece. The block index restarts at 0 with each
// piece while the feedback register carries on, so the writer must cut
// pieces exactly where the reader does:
//
//   DeriveStreamKey        fresh key, register = IV
//   name piece (L bytes)   one call
//   data pieces            IO_CHUNK bytes each, last one shorter
//
// A piece ending k bytes into a block leaves the register holding k
// ciphertext bytes and 16 - k unused keystream bytes; the next piece starts
// by encrypting that mixed register.
#pragma once
#include <stdint.h>

struct CipherContext {
    uint32_t roundKeys[60];       // AES-256 schedule, form of the last derivation
    int roundCount;               // always 14 once derived
    uint8_t feedbackRegister[16]; // IV after derivation, then the CFB register
};

// Derives key and IV from `password` (zero-terminated 16-bit code units;
// null selects the all-zero key and IV of an archive without a password)
// and loads the encryption-form schedule and the IV into `ctx`. Returns 14.
int DeriveStreamKey(CipherContext* ctx, const char16_t* password);

// The same derivation, but loads the decryption-form schedule (for the
// password check). The register is set to the IV as well. Returns 14.
int DeriveCheckKey(CipherContext* ctx, const char16_t* password);

// Runs DeriveCheckKey, decrypts `checkBlock` (16 bytes) with one AES-256
// block decryption and returns true exactly when the result starts with the
// four bytes "LOCK". Leaves the decryption form in `ctx`: DeriveStreamKey
// must run before the next DecryptStream.
bool CheckPassword(CipherContext* ctx, const char16_t* password, const uint8_t checkBlock[16]);

// Decrypts one piece of `length` bytes from `in` to `out` (may be the same
// buffer). Needs the encryption-form schedule. Writes exactly `length`
// bytes, no terminator. Length 0 changes nothing. Where the processor has
// the x86 AES instructions, the piece's whole blocks go through them (see
// UseAesInstructions); the bytes are the same either way.
void DecryptStream(CipherContext* ctx, const void* in, void* out, uint32_t length);

// Allows (the default) or forbids the use of the AES instructions by
// DecryptStream and EncryptStream, so that tests can hold the table-driven
// loops against them. Not thread-safe: call before any thread uses the
// cipher.
void UseAesInstructions(bool allowed);

// The writer's counterpart of DecryptStream: encrypts one piece with the
// same piece rules (and the AES instructions where there are any), so
// EncryptStream followed by DecryptStream over the same piece lengths
// returns the plaintext. `in` and `out` may be the same buffer.
void EncryptStream(CipherContext* ctx, const void* in, void* out, uint32_t length);

// Builds the header's password check block: "LOCK" followed by the 12 bytes
// of `filler`, encrypted as one AES-256 block (no chaining) under the key
// derived from `password` as above. Uses `ctx` as scratch: it holds
// the encryption-form key and IV afterwards.
void MakePasswordCheckBlock(CipherContext* ctx, const char16_t* password, const uint8_t filler[12],
                            uint8_t out[16]);
