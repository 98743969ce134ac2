// Byte-string helpers shared by the crypto tests.
#pragma once
#include <ctype.h>
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "crypto/md5.h"
#include "support/files.h"

// "00ff10" -> {0x00, 0xff, 0x10}; anything but hex digits is skipped.
inline Bytes FromHex(const std::string& hex) {
    std::string digits;
    for (char c : hex)
        if (isxdigit((unsigned char)c)) digits += c;
    Bytes out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back((uint8_t)std::stoul(digits.substr(i, 2), nullptr, 16));
    return out;
}

inline std::string ToHex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) s += {digits[p[i] >> 4], digits[p[i] & 15]};
    return s;
}

inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

// MD5 of `a` followed by `b`.
inline Bytes Md5Of(const Bytes& a, const Bytes& b = {}) {
    Md5Context ctx;
    Md5Init(&ctx);
    Md5Update(&ctx, a.data(), (uint32_t)a.size());
    Md5Update(&ctx, b.data(), (uint32_t)b.size());
    Bytes digest(16);
    Md5Final(digest.data(), &ctx);
    return digest;
}

// Deterministic pseudo-random bytes (fixed seeds keep failures reproducible).
inline Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = (uint8_t)rng();
    return b;
}
