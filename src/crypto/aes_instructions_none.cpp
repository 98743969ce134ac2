// Targets without the x86 AES instructions: the byte loops do every block.
#include "crypto/aes_instructions.h"

bool AesInstructionsAvailable() { return false; }
uint32_t DecryptWholeBlocks(CipherContext*, const uint8_t*, uint8_t*, uint32_t) { return 0; }
uint32_t EncryptWholeBlocks(CipherContext*, const uint8_t*, uint8_t*, uint32_t) { return 0; }
