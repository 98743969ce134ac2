// The bytes the writer produces: reproducible for any number of workers,
// and laid out so that each stored stream is exactly StoredSize long.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "pack/entry_compress.h"
#include "pack_test_util.h"

namespace {

std::vector<uint8_t> WriteToMemory(const std::vector<WriterEntry>& entries, ArchiveSettings settings,
                                   int jobs) {
    settings.jobs = jobs;
    std::vector<uint8_t> out;
    WriteResult w = WriteArchiveToMemory(TestStub(), settings, entries, &out);
    EXPECT_TRUE(w.ok) << w.error;
    return out;
}

TEST(WriterLayoutTest, OutputDoesNotDependOnJobsOrRun) {
    ScratchDir sources, work;
    std::vector<WriterEntry> entries = RandomTree(7, sources);
    ArchiveSettings settings;
    settings.password = u"same";
    settings.title = "t";
    settings.runAfter = entries[0].name;
    std::vector<uint8_t> one = WriteToMemory(entries, settings, 1);
    ASSERT_FALSE(one.empty());
    EXPECT_TRUE(one == WriteToMemory(entries, settings, 4));
    EXPECT_TRUE(one == WriteToMemory(entries, settings, 1));
    EXPECT_TRUE(one == WriteToMemory(entries, settings, 0));  // taken as 1

    // Writing to a file gives the same bytes, also over an existing file.
    std::string archive = work.Native("out.exe");
    ASSERT_TRUE(WriteFileBytes(archive, "old contents"));
    settings.jobs = 3;
    WriteResult w = WriteArchive(TestStub(), settings, entries, archive);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_TRUE(one == ReadFileVector(archive));
}

// Stub bytes behind the payload position (an old payload, a symbol table)
// are dropped: the header begins at P.
TEST(WriterLayoutTest, StubIsCutAtThePayloadPosition) {
    std::vector<uint8_t> stub = TestStub();
    std::vector<uint8_t> longer = stub;
    longer.insert(longer.end(), 100, 0xAB);
    ArchiveSettings settings;
    settings.title = "abc";
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(WriteArchiveToMemory(stub, settings, {}, &a).ok);
    ASSERT_TRUE(WriteArchiveToMemory(longer, settings, {}, &b).ok);
    EXPECT_TRUE(a == b);
    ASSERT_EQ(stub.size() + HDR_FIXED_SIZE + 3, a.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), a.begin()));
    const uint8_t* h = a.data() + stub.size();
    EXPECT_EQ(3u, LoadLE32(h + HDR_TITLE_LEN));
    EXPECT_EQ(0, std::memcmp(h + HDR_TITLE, "abc", 3));
}

// Walks the entries of an archive by hand: decrypts each name and data in
// the reader's pieces and inflates the data, which must end exactly at
// StoredSize.
TEST(WriterLayoutTest, StoredSizeIsTheExactStreamLength) {
    std::vector<WriterEntry> entries(5);
    const char* names[] = {"d", "d\\five5", "d\\sixteen-bytes!", "empty", "x"};
    const size_t sizes[] = {0, 2 * IO_CHUNK + 3, IO_CHUNK, 0, 777};
    for (int i = 0; i < 5; i++) {
        entries[i].name = names[i];
        entries[i].data = i % 2 ? NoiseBytes(sizes[i], i) : Text(sizes[i], i);
    }
    entries[0].attributes = ATTR_DIRECTORY;
    ArchiveSettings settings;
    settings.password = u"k";
    settings.level = 0;  // stored blocks: the stream is longer than IO_CHUNK
    std::vector<uint8_t> bytes = WriteToMemory(entries, settings, 2);
    size_t at = TestStub().size() + HDR_FIXED_SIZE;
    const char16_t* pw = settings.password.c_str();
    for (const WriterEntry& e : entries) {
        SCOPED_TRACE(e.name);
        ASSERT_LE(at + ENTRY_HEADER_SIZE + 2, bytes.size());
        const uint8_t* h = bytes.data() + at;
        uint32_t stored = LoadLE32(h + ENT_STORED_SIZE);
        for (uint32_t i = 40; i < ENTRY_HEADER_SIZE; i++) EXPECT_EQ(0, h[i]);
        uint16_t length = LoadLE16(h + ENTRY_HEADER_SIZE);
        ASSERT_EQ(e.name.size(), length);
        at += ENTRY_HEADER_SIZE + 2;
        CipherContext ctx;
        DeriveStreamKey(&ctx, pw);
        std::string name(length, 0);
        DecryptStream(&ctx, bytes.data() + at, &name[0], length);
        EXPECT_EQ(e.name, name);
        at += length;
        if (e.attributes & ATTR_DIRECTORY) {
            EXPECT_EQ(0u, stored);
            continue;
        }
        EXPECT_EQ(e.data.size(), LoadLE64(h + ENT_ORIGINAL_SIZE));
        ASSERT_LE(stored, bytes.size() - at);
        std::vector<uint8_t> data(bytes.begin() + at, bytes.begin() + at + stored);
        for (uint32_t off = 0; off < stored; off += IO_CHUNK)
            DecryptStream(&ctx, data.data() + off, data.data() + off, std::min(IO_CHUNK, stored - off));
        z_stream zs{};
        ASSERT_EQ(Z_OK, inflateInit(&zs));
        std::string plain(e.data.size() + 16, 0);
        zs.next_in = data.data();
        zs.avail_in = stored;
        zs.next_out = (Bytef*)&plain[0];
        zs.avail_out = (uInt)plain.size();
        EXPECT_EQ(Z_STREAM_END, inflate(&zs, Z_FINISH));
        EXPECT_EQ(0u, zs.avail_in);  // the stream ends exactly at StoredSize
        plain.resize(zs.total_out);
        inflateEnd(&zs);
        EXPECT_TRUE(plain == e.data);
        at += stored;
    }
    EXPECT_EQ(bytes.size(), at);
}

TEST(CompressEntryTest, StreamOverTheLimitIsRefused) {
    WriterEntry e;
    e.name = "big";
    e.data = NoiseBytes(5000, 3);
    CompressOptions options;
    options.storedLimit = 4000;
    CompressedEntry out;
    CompressEntry(e, options, &out);
    EXPECT_FALSE(out.ok);
    EXPECT_NE(std::string::npos, out.error.find("big")) << out.error;
    SpillRemove(&out.spill);

    options.storedLimit = 6000;
    CompressedEntry fits;
    CompressEntry(e, options, &fits);
    EXPECT_TRUE(fits.ok) << fits.error;
    SpillRemove(&fits.spill);
}

// A spill that outgrows its memory limit moves to a temporary file, reads
// back the same bytes as one kept in memory, and is deleted by SpillRemove.
TEST(CompressEntryTest, SpillMovesToATemporaryFile) {
    ScratchDir work;
    WriterEntry e;
    e.name = "n";
    e.data = NoiseBytes(3 * IO_CHUNK + 100, 9);
    CompressOptions options;
    options.key = u"pw";
    CompressedEntry inMemory, inFile;
    CompressEntry(e, options, &inMemory);
    options.place.filePrefix = work.Native("spill");
    options.place.memoryLimit = IO_CHUNK;
    CompressEntry(e, options, &inFile);
    ASSERT_TRUE(inMemory.ok && inFile.ok) << inFile.error;
    EXPECT_FALSE(inFile.spill.path.empty());
    EXPECT_EQ(1u, ListDir(work.path()).size());
    EXPECT_EQ(inMemory.storedSize, inFile.storedSize);
    std::vector<uint8_t> a, b;
    OutputSink sa, sb;
    sa.memory = &a;
    sb.memory = &b;
    std::string error;
    ASSERT_TRUE(SpillCopyTo(&inMemory.spill, &sa, &error));
    ASSERT_TRUE(SpillCopyTo(&inFile.spill, &sb, &error)) << error;
    EXPECT_TRUE(a == b);
    EXPECT_EQ(inMemory.storedSize, a.size());
    SpillRemove(&inFile.spill);
    EXPECT_TRUE(ListDir(work.path()).empty());
}

void CountProgress(uint64_t done, uint64_t total, void* user) {
    auto* seen = static_cast<std::vector<std::pair<uint64_t, uint64_t>>*>(user);
    seen->push_back({done, total});
}

TEST(WriterLayoutTest, ProgressRisesToTheTotal) {
    std::vector<WriterEntry> entries(3);
    entries[0].name = "a";
    entries[0].data = Text(3 * IO_CHUNK, 1);
    entries[1].name = "b";
    entries[1].data = NoiseBytes(1000, 2);
    entries[2].name = "c";
    entries[2].attributes = ATTR_DIRECTORY;
    ScratchDir work;
    std::vector<std::pair<uint64_t, uint64_t>> seen;
    ArchiveSettings settings;
    settings.jobs = 2;
    ASSERT_TRUE(WriteArchive(TestStub(), settings, entries, work.Native("o.exe"), CountProgress, &seen).ok);
    ASSERT_FALSE(seen.empty());
    uint64_t total = 3 * IO_CHUNK + 1000;
    for (size_t i = 0; i < seen.size(); i++) {
        EXPECT_EQ(total, seen[i].second);
        if (i) {
            EXPECT_GE(seen[i].first, seen[i - 1].first);
        }
    }
    EXPECT_EQ(total, seen.back().first);
}

}  // namespace
