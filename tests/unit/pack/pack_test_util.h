// The writer's tests' helpers: random entry trees, and archives read back through the real reader.
#pragma once
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "pack/header_encoding.h"
#include "pack/writer.h"
#include "payload/reader.h"
#include "support/archive_builder.h"
#include "support/scratch_dir.h"

struct ReadBack {
    int headerResult = RESULT_CORRUPT;
    bool passwordOk = false;
    int lastResult = RESULT_CORRUPT;        // what ended the entry loop
    std::vector<EntryInfo> entries;
    int64_t endOfLastEntry = -1;            // the reader's position after the last entry
    std::string title;
    std::string runAfter;                   // decrypted
    uint32_t showCmd = 0, width = 0, height = 0;
    uint8_t layout = 0;
};

// Opens `archive` with the reader, checks `password`, and extracts every
// entry under `destination` (or only tests them) until the loop ends.
inline ReadBack ReadArchiveBack(const std::string& archive, const ArchiveSettings& password,
                                const std::string& destination, ExtractMode mode = EXTRACT_WRITE) {
    ReadBack rb;
    OwnedReader reader;
    rb.headerResult = ReadArchiveHeaderFrom(&reader, archive.c_str());
    if (rb.headerResult != RESULT_OK) return rb;
    rb.title = reader.windowTitle ? reader.windowTitle : "";
    rb.showCmd = reader.openFolderShowCmd;
    rb.layout = reader.layoutMode;
    rb.width = reader.backgroundWidth;
    rb.height = reader.backgroundHeight;
    CipherContext ctx;
    const char16_t* pw = KeyPasswordOf(password);
    rb.passwordOk = CheckPassword(&ctx, pw, reader.passwordCheckBlock);
    if (!rb.passwordOk) return rb;
    if (reader.runAfterLength) {
        DeriveStreamKey(&ctx, pw);
        uint8_t name[260];
        DecryptStream(&ctx, reader.runAfterName, name, reader.runAfterLength);
        rb.runAfter.assign((const char*)name, reader.runAfterLength);
    }
    rb.endOfLastEntry = PlatformTell(reader.file);
    for (;;) {
        DeriveStreamKey(&ctx, pw);
        EntryInfo info;
        int r = ExtractOrTestEntry(&reader, &ctx, destination.c_str(), mode, &info);
        if (r != RESULT_OK) {
            rb.lastResult = r;
            break;
        }
        rb.entries.push_back(info);
        rb.endOfLastEntry = PlatformTell(reader.file);
    }
    return rb;
}

// A random tree of directories and files of awkward sizes, some in memory, some in files under `sources`.
inline std::vector<WriterEntry> RandomTree(uint32_t seed, const ScratchDir& sources) {
    static const size_t sizes[] = {0, 1, 15, 16, 17, 4096, IO_CHUNK - 1, IO_CHUNK, IO_CHUNK + 1,
                                   3 * IO_CHUNK + 7};
    std::mt19937 rng(seed);
    std::vector<WriterEntry> entries;
    std::vector<std::string> dirs = {""};
    for (int i = 0; i < 28; i++) {
        std::string parent = dirs[rng() % dirs.size()];
        std::string name = parent + (parent.empty() ? "" : "\\") + (i % 5 ? "n" : "") + std::to_string(i);
        WriterEntry e;
        e.name = name;
        e.lastAccessTime = FiletimeOf(1300000000 + rng() % 300000000, rng() % 10000000);
        e.lastWriteTime = FiletimeOf(1300000000 + rng() % 300000000, rng() % 10000000);
        e.creationTime = e.lastWriteTime - 1000;
        if (rng() % 4 == 0) {
            e.attributes = ATTR_DIRECTORY;
            dirs.push_back(name);
        } else {
            e.attributes = rng() % 3 == 0 ? ATTR_READONLY | ATTR_ARCHIVE : ATTR_ARCHIVE;
            size_t size = sizes[rng() % (sizeof sizes / sizeof sizes[0])];
            e.data = rng() % 2 ? NoiseBytes(size, rng()) : MixedBytes(size, rng());
            if (rng() % 2) {
                e.sourcePath = sources.Native("src" + std::to_string(i));
                WriteFileBytes(e.sourcePath, e.data);
            }
        }
        entries.push_back(e);
    }
    return entries;
}
