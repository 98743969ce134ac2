// Processors without the x86 AES instructions: the AES-NI path is never
// available, and its entry points fall back to the word path.
#include "crypto/fast/stream_fast.h"

bool AesniSupported() { return false; }

void EncryptStreamAesni(CipherContext* ctx, const void* in, void* out, uint32_t length) {
    EncryptStreamWords(ctx, in, out, length);
}
