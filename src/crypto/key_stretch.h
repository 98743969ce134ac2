// Key stretching: a salted, slow derivation in front of the archive's key
// chain (cipher.h). An archive whose extractor image carries the
// key-stretch resource (payload/format.h: where it is) is keyed
// not by the typed password but by the 64 lowercase hexadecimal digits of
//
//   S = PBKDF2-HMAC-SHA256(password as UTF-16LE, salt, rounds, 32 bytes)
//
// taken as the chain's password (64 16-bit units, then a zero unit). Every
// guess at the password then costs `rounds` HMAC pairs instead of three
// MD5s, and the salt makes each archive's keys its own. An archive without
// the resource is keyed by the password itself.
#pragma once
#include <stdint.h>

// The resource: u32 version (KEY_STRETCH_VERSION) | u32 rounds | 16 salt bytes.
const uint32_t KEY_STRETCH_SIZE = 24;
const uint32_t KEY_STRETCH_VERSION = 1;
const uint32_t KEY_SALT_SIZE = 16;

struct KeyStretch {
    uint32_t rounds;               // 1..MAX_KEY_ROUNDS
    uint8_t salt[KEY_SALT_SIZE];
};

// The round count the tool writes unless told otherwise, and the largest
// any reader accepts (about 10 s of waiting for the recipient): a resource
// beyond it is damage, not a key.
const uint32_t DEFAULT_KEY_ROUNDS = 600000;
const uint32_t MAX_KEY_ROUNDS = 10000000;

// Hexadecimal digits of S, the stretched password's length in code units.
const uint32_t STRETCHED_PASSWORD_UNITS = 64;

// Reads the resource's `size` bytes at `bytes` into `stretch`. False, with
// `stretch` unchanged, when the resource is not exactly KEY_STRETCH_SIZE
// bytes, has another version than KEY_STRETCH_VERSION, or a round count of
// 0 or above MAX_KEY_ROUNDS.
bool ParseKeyStretch(const uint8_t* bytes, uint32_t size, KeyStretch* stretch);

// The resource's KEY_STRETCH_SIZE bytes for `stretch`.
void EncodeKeyStretch(const KeyStretch* stretch, uint8_t out[KEY_STRETCH_SIZE]);

// Derives the stretched password of `password` (zero-terminated 16-bit code
// units, not empty) into `out`: STRETCHED_PASSWORD_UNITS lowercase hex
// digits and a zero unit. False when the system offers no PBKDF2 (the
// extractor on a Windows without bcrypt's PBKDF2) or memory runs out; `out`
// is then an empty string. Intermediate copies of the password are wiped.
bool StretchPassword(const char16_t* password, const KeyStretch* stretch,
                     char16_t out[STRETCHED_PASSWORD_UNITS + 1]);
