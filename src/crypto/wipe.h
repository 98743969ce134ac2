// Clearing of secret data (passwords, raw keys, digests, decoded message
// words): the one way every part of the code wipes a secret.
#pragma once
#include <stdint.h>

// Sets `length` bytes at `p` to zero through a volatile pointer, so the
// stores survive even when the buffer is dead afterwards (a plain loop or
// memset over a local that is about to go out of scope may be dropped by
// the optimiser).
inline void WipeBytes(void* p, uint32_t length) {
    volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
    while (length--) *b++ = 0;
}
