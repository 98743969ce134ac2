// Tables of the 32-bit table-driven AES (FIPS-197). They are built once, on
// the first key expansion, rather than stored: that keeps 10 KiB of constant
// data out of the extractor, whose size matters. Internal to the crypto
// module; exposed for tests.
#pragma once
#include <stdint.h>

struct AesTables {
    // Forward round tables: Te[0][x] holds the bytes (2s, s, s, 3s), most
    // significant first, for s = S(x); Te[1..3] are Te[0] rotated right by
    // 8, 16 and 24 bits.
    uint32_t Te[4][256];
    // S(x) repeated in all four bytes.
    uint32_t Se[256];
    // Inverse round tables: Td[0][x] holds (14t, 9t, 13t, 11t) for
    // t = InvS(x); Td[1..3] are its rotations right by 8, 16 and 24 bits.
    uint32_t Td[4][256];
    // InvS(x) repeated in all four bytes.
    uint32_t Sd[256];
    // Key expansion round constants 01, 02, ..., 1b, 36 in the top byte.
    uint32_t Rcon[10];
};

// The tables, built on first use (thread-safe: the tool expands keys on
// several threads). Every block operation runs on a schedule from
// AesExpandKey or AesExpandDecryptKey, which call this first.
const AesTables& AesGetTables();

// The tables; valid once AesGetTables has returned.
extern AesTables g_AesTables;
