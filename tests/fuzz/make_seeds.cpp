// Writes the seed corpora of the fuzz targets from archives made by the
// real writer: make_seeds OUTDIR creates OUTDIR/<target>/seed-N files.
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/archive_codec.h"
#include "fuzz/fuzz_common.h"
#include "support/archive_builder.h"

namespace {

namespace fs = std::filesystem;

void Put(const fs::path& dir, int n, const std::string& bytes) {
    fs::create_directories(dir);
    sandbox::WriteWhole(dir / ("seed-" + std::to_string(n)), bytes);
}

WriterEntry Entry(const std::string& name, uint32_t attributes, const std::string& data = "") {
    WriterEntry e = WriterFile(name, data, attributes, 130000000000000000ULL);
    e.lastAccessTime = 0;
    return e;
}

std::vector<std::vector<WriterEntry>> Trees() {
    std::string text;
    for (int i = 0; i < 200; i++) text += "line " + std::to_string(i) + " of some text\n";
    return {
        {},
        {Entry("keep.txt", ATTR_ARCHIVE, "new contents\n")},
        {Entry("sub", ATTR_DIRECTORY), Entry("sub\\a.txt", ATTR_ARCHIVE, text),
         Entry("sub\\empty", ATTR_ARCHIVE), Entry("keep.txt", ATTR_READONLY, "x")},
        {Entry("d\xe9j\xe0 vu", ATTR_DIRECTORY), Entry("d\xe9j\xe0 vu\\n. a.b", ATTR_HIDDEN, text + text)},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds OUTDIR\n");
        return 2;
    }
    fs::path out = argv[1];
    size_t prefix = fuzz::HeaderPrefix().size();
    int n = 0;
    for (auto& tree : Trees()) {
        for (int variant = 0; variant < 2; variant++) {
            ArchiveSettings s = fuzz::Settings();
            if (variant) {
                s.title = "A title";
                s.backgroundWidth = 400;
                s.backgroundHeight = 300;
                if (!tree.empty()) s.runAfter = tree.back().name;
            }
            std::vector<uint8_t> bytes;
            WriteResult r = WriteArchiveToMemory(fuzz::Stub(), s, tree, &bytes);
            if (!r.ok) {
                fprintf(stderr, "writer: %s\n", r.error.c_str());
                return 1;
            }
            Put(out / "header", n, std::string(bytes.begin(), bytes.end()));
            if (variant == 0) {
                // Entry area in plain form and as stored, with and without
                // the existing file and directory.
                std::vector<uint8_t> area(bytes.begin() + prefix, bytes.end());
                std::string stored(area.begin(), area.end());
                TransformEntryArea(area.data(), area.size(), fuzz::Password(),
                                   CODEC_DECRYPT);
                std::string plain(area.begin(), area.end());
                Put(out / "entries", n, std::string(1, '\x01') + plain);
                Put(out / "entries", n + 1, std::string(1, '\x09') + plain);
                Put(out / "entries", n + 2, std::string(1, '\x0c') + stored);
            }
            n += 3;
        }
    }
    std::vector<uint8_t> stub = fuzz::Stub();
    Put(out / "header", n++, std::string(stub.begin(), stub.end()));

    // Plain entry areas the writer refuses: a directory named after a
    // device, and a name length over the limit with stray bytes behind it.
    auto plainEntry = [](uint32_t attributes, uint16_t length, const std::string& name) {
        std::string e(ENTRY_HEADER_SIZE + 2, '\0');
        StoreLE32((uint8_t*)&e[ENT_ATTRIBUTES], attributes);
        StoreLE16((uint8_t*)&e[ENTRY_HEADER_SIZE], length);
        return e + name;
    };
    Put(out / "entries", n++, "\x01" + plainEntry(ATTR_DIRECTORY, 3, "NUL"));
    Put(out / "entries", n++, "\x01" + plainEntry(ATTR_DIRECTORY, 8000, std::string(300, 'x')));

    const char* lines[] = {"prog", "\"C:\\Program Files\\x.exe\" secret \"D:\\out dir\"",
                           "x.exe \"\" a\tb \"c\"d e\"f g", "\"unclosed path", "p \"open to the end"};
    n = 0;
    for (const char* line : lines) Put(out / "command_line", n++, line);
    std::string many = "p";
    for (int i = 0; i < 130; i++) many += " a" + std::to_string(i);
    Put(out / "command_line", n++, many);

    struct { int32_t cw, ch; uint32_t bw, bh; uint8_t mode; } layouts[] = {
        {260, 76, 400, 300, 2}, {260, 76, 100, 50, 1}, {260, 76, 0xFFFFFFFF, 7, 0}, {-5, 1 << 30, 267, 0, 255}};
    n = 0;
    for (auto& l : layouts) {
        uint8_t raw[17];
        StoreLE32(raw, (uint32_t)l.cw);
        StoreLE32(raw + 4, (uint32_t)l.ch);
        StoreLE32(raw + 8, l.bw);
        StoreLE32(raw + 12, l.bh);
        raw[16] = l.mode;
        Put(out / "layout", n++, std::string((const char*)raw, sizeof raw));
    }

    // Round trips: deterministic noise decodes into assorted trees.
    for (n = 0; n < 6; n++) Put(out / "roundtrip", n, NoiseBytes(64 + 48 * n, 0x12345 + n * 77));
    fuzz::RemoveBox();
    return 0;
}
