// Writer-to-reader round trips: the input becomes header settings and a valid tree, which is written,
// restored into the sandbox and compared (header, names in order, contents, a listing pass ending at
// the archive's end); three jobs must write the same bytes.
#include <fuzzer/FuzzedDataProvider.h>
#include <string.h>

#include <algorithm>

#include "fuzz/fuzz_common.h"
#include "pack/header_encoding.h"
#include "payload/name_key.h"
#include "support/archive_builder.h"

namespace {

// Name bytes: ASCII letters and digits, space, dot, '-', '_', and cp1252 letters (é ü Ä ß €).
const char ALPHABET[] = "abcXYZ019 .-_\xe9\xfc\xc4\xdf\x80";

std::string Component(FuzzedDataProvider& in) {
    size_t n = in.ConsumeIntegralInRange<size_t>(1, 12);
    std::string s;
    for (size_t i = 0; i < n; i++) s += ALPHABET[in.ConsumeIntegralInRange<size_t>(0, sizeof ALPHABET - 2)];
    // Only dots and spaces would climb up or vanish on Windows: make it a name.
    if (s.find_first_not_of(". ") == std::string::npos) s += 'n';
    return s;
}

std::string FileData(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeRandomLengthString(2048);
    case 1: {  // a long, compressible run across IO_CHUNK boundaries
        size_t n = in.ConsumeIntegralInRange<size_t>(0, 3 * IO_CHUNK + 17);
        std::string unit = in.ConsumeRandomLengthString(8);
        if (unit.empty()) unit = "x";
        std::string s;
        s.reserve(n);
        while (s.size() < n) s += unit;
        s.resize(n);
        return s;
    }
    case 2: {  // incompressible, so the stored stream itself crosses IO_CHUNK
        size_t n = in.ConsumeIntegralInRange<size_t>(IO_CHUNK - 64, IO_CHUNK + 64);
        return NoiseBytes(n, in.ConsumeIntegral<uint32_t>());
    }
    default: return std::string();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    ArchiveSettings settings;
    settings.openFolderShowCmd = in.ConsumeIntegral<uint32_t>();
    settings.layoutMode = in.ConsumeIntegral<uint8_t>();
    settings.backgroundWidth = in.ConsumeIntegral<uint32_t>();
    settings.backgroundHeight = in.ConsumeIntegral<uint32_t>();
    settings.level = in.ConsumeIntegralInRange<int>(-1, 9);
    settings.usePassword = in.ConsumeBool();
    size_t units = in.ConsumeIntegralInRange<size_t>(0, 6);
    for (size_t i = 0; i < units; i++) settings.password += (char16_t)in.ConsumeIntegralInRange<uint16_t>(1, 0xFFFF);
    settings.title = in.ConsumeRandomLengthString(40);
    std::replace(settings.title.begin(), settings.title.end(), '\0', '_');

    std::vector<WriterEntry> entries;
    std::vector<std::string> dirs = {""};
    std::vector<std::string> taken;
    size_t count = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t i = 0; i < count && in.remaining_bytes() > 0; i++) {
        const std::string& parent = dirs[in.ConsumeIntegralInRange<size_t>(0, dirs.size() - 1)];
        WriterEntry e;
        e.name = (parent.empty() ? "" : parent + "\\") + Component(in);
        if (e.name.size() > MAX_NAME || std::count(taken.begin(), taken.end(), NameKey(e.name))) continue;
        taken.push_back(NameKey(e.name));
        bool directory = in.ConsumeBool();
        e.attributes = directory ? ATTR_DIRECTORY : (in.ConsumeIntegral<uint8_t>() & 0x27);
        e.creationTime = in.ConsumeIntegral<uint64_t>();
        e.lastAccessTime = in.ConsumeIntegral<uint64_t>();
        e.lastWriteTime = in.ConsumeIntegral<uint64_t>();
        if (directory) {
            dirs.push_back(e.name);
        } else {
            e.data = FileData(in);
        }
        entries.push_back(e);
    }
    if (in.ConsumeBool() && !entries.empty())
        settings.runAfter = entries[in.ConsumeIntegralInRange<size_t>(0, entries.size() - 1)].name;

    std::vector<uint8_t> bytes;
    WriteResult w = WriteArchiveToMemory(fuzz::Stub(), settings, entries, &bytes);
    if (!w.ok) fuzz::Fail("writer refused a valid tree: " + w.error);
    if (in.ConsumeBool()) {
        ArchiveSettings parallel = settings;
        parallel.jobs = 3;
        std::vector<uint8_t> again;
        WriteResult w2 = WriteArchiveToMemory(fuzz::Stub(), parallel, entries, &again);
        if (!w2.ok || again != bytes) fuzz::Fail("three jobs wrote a different archive");
    }

    sandbox::Sandbox& box = fuzz::Box();
    sandbox::Clear(box.dest);
    if (!sandbox::WriteWhole(box.archive, std::string(bytes.begin(), bytes.end())))
        fuzz::Fail("cannot write the archive");
    std::string archive = box.archive.string();
    std::string dest = box.DestPath();
    const char16_t* pw = KeyPasswordOf(settings);

    OwnedReader reader;
    if (ReadArchiveHeaderFrom(&reader, archive.c_str()) != RESULT_OK) fuzz::Fail("header unreadable");
    if (reader.openFolderShowCmd != settings.openFolderShowCmd || reader.layoutMode != settings.layoutMode ||
        reader.backgroundWidth != settings.backgroundWidth || reader.backgroundHeight != settings.backgroundHeight ||
        std::string(reader.windowTitle) != settings.title || reader.runAfterLength != settings.runAfter.size())
        fuzz::Fail("header values differ");
    CipherContext ctx;
    if (!CheckPassword(&ctx, pw, reader.passwordCheckBlock)) fuzz::Fail("password rejected");
    if (reader.runAfterLength) {
        DeriveStreamKey(&ctx, pw);
        char name[MAX_NAME];
        DecryptStream(&ctx, reader.runAfterName, name, reader.runAfterLength);
        if (std::string(name, reader.runAfterLength) != settings.runAfter) fuzz::Fail("run-after name differs");
    }
    for (int pass = 0; pass < 2; pass++) {  // restore, then list
        if (RewindToFirstEntry(&reader) != RESULT_OK) fuzz::Fail("cannot rewind");
        for (size_t i = 0;; i++) {
            DeriveStreamKey(&ctx, pw);
            EntryInfo info;
            int r = pass == 0 ? ExtractOrTestEntry(&reader, &ctx, dest.c_str(), EXTRACT_WRITE, &info) : ReadEntrySkippingData(&reader, &ctx, &info);
            if (i == entries.size()) {
                if (r != RESULT_END) fuzz::Fail("no clean end behind the last entry");
                break;
            }
            if (r != RESULT_OK) fuzz::Fail("entry " + std::to_string(i) + ": result " + std::to_string(r));
            if (info.name != entries[i].name || info.attributes != entries[i].attributes)
                fuzz::Fail("entry " + std::to_string(i) + " read back differently");
        }
    }

    // What is on disk is exactly the tree.
    sandbox::Tree tree = sandbox::Snapshot(box.dest);
    if (tree.size() != entries.size()) fuzz::Fail("restored tree has a different number of entries");
    for (const WriterEntry& e : entries) {
        std::string relative = e.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        auto it = tree.find(relative);
        bool directory = (e.attributes & ATTR_DIRECTORY) != 0;
        if (it == tree.end() || it->second.directory != directory || (!directory && it->second.content != e.data))
            fuzz::Fail("restored entry differs: " + e.name);
    }
    sandbox::Clear(box.dest);
    return 0;
}
