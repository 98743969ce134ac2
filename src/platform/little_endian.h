// Little-endian integers in byte arrays, as every format here stores them.
#pragma once
#include <stdint.h>

// Reads little-endian integers from a byte array the caller has bounds-checked.
inline uint16_t LoadLE16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t LoadLE32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint64_t LoadLE64(const uint8_t* p) {
    return (uint64_t)LoadLE32(p) | ((uint64_t)LoadLE32(p + 4) << 32);
}
inline void StoreLE16(uint8_t* p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void StoreLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = (uint8_t)(v >> (8 * i));
}
