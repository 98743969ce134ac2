// Byte-string helpers shared by the crypto tests.
#pragma once
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "00ff10" -> {0x00, 0xff, 0x10}; spaces are skipped.
inline Bytes FromHex(const std::string& hex) {
    Bytes out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back((uint8_t)(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline std::string ToHex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

inline Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic pseudo-random bytes (fixed seeds keep failures reproducible).
inline Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = (uint8_t)rng();
    return b;
}
