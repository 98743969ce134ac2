#include "pack/header_encoding.h"

#include <cstring>
#include "payload/format.h"

const char16_t* KeyPasswordOf(const ArchiveSettings& settings) {
    return settings.usePassword ? settings.password.c_str() : nullptr;
}

std::vector<uint8_t> EncryptNamePiece(CipherContext* ctx, const char16_t* password,
                                      const std::string& name) {
    DeriveStreamKey(ctx, password);
    std::vector<uint8_t> out(name.begin(), name.end());
    EncryptStream(ctx, out.data(), out.data(), (uint32_t)out.size());
    return out;
}

std::vector<uint8_t> BuildArchiveHeader(const ArchiveSettings& settings) {
    const char16_t* key = KeyPasswordOf(settings);
    std::vector<uint8_t> out(HDR_FIXED_SIZE + settings.title.size() + settings.runAfter.size());
    uint8_t* p = out.data();
    StoreLE32(p + HDR_SHOW_CMD, settings.openFolderShowCmd);
    p[HDR_LAYOUT] = settings.layoutMode;
    StoreLE32(p + HDR_BG_WIDTH, settings.backgroundWidth);
    StoreLE32(p + HDR_BG_HEIGHT, settings.backgroundHeight);
    StoreLE32(p + HDR_TITLE_LEN, (uint32_t)settings.title.size());
    if (!settings.title.empty()) std::memcpy(p + HDR_TITLE, settings.title.data(), settings.title.size());
    p += HDR_TITLE + settings.title.size();

    CipherContext ctx;
    const uint8_t filler[12] = {0};
    MakePasswordCheckBlock(&ctx, key, filler, p);
    p += CHECK_BLOCK_SIZE;

    StoreLE16(p, (uint16_t)settings.runAfter.size());
    p += 2;
    if (!settings.runAfter.empty()) {
        std::vector<uint8_t> name = EncryptNamePiece(&ctx, key, settings.runAfter);
        std::memcpy(p, name.data(), name.size());
    }
    return out;
}

void BuildEntryPrefix(const WriterEntry& entry, uint32_t storedSize, uint64_t originalSize, uint16_t codepage,
                      uint8_t out[ENTRY_PREFIX_SIZE]) {
    std::memset(out, 0, ENTRY_PREFIX_SIZE);
    StoreLE32(out + ENT_STORED_SIZE, storedSize);
    StoreLE64(out + ENT_ORIGINAL_SIZE, originalSize);
    StoreLE32(out + ENT_ATTRIBUTES, entry.attributes);
    StoreLE64(out + ENT_CREATION, entry.creationTime);
    StoreLE64(out + ENT_LAST_ACCESS, entry.lastAccessTime);
    StoreLE64(out + ENT_LAST_WRITE, entry.lastWriteTime);
    StoreLE16(out + ENT_CODEPAGE, codepage);
    StoreLE16(out + ENTRY_HEADER_SIZE, (uint16_t)entry.name.size());
}
