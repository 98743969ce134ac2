// The writer's bytes: the same for any number of workers, each stored stream exactly StoredSize long.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "pack/entry_compress.h"
#include "pack/piece_stream.h"
#include "fuzz/archive_codec.h"
#include "pack_test_util.h"

namespace {

std::vector<uint8_t> WriteToMemory(const std::vector<WriterEntry>& entries, ArchiveSettings settings,
                                   int jobs) {
    settings.jobs = jobs;
    std::vector<uint8_t> out;
    WriteResult w = WriteArchiveToMemory(TwoSectionStub(), settings, entries, &out);
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
    for (int jobs : {4, 1, 0}) EXPECT_TRUE(one == WriteToMemory(entries, settings, jobs)) << jobs;  // 0: 1 job

    // Writing to a file gives the same bytes, also over an existing file.
    std::string archive = work.Native("out.exe");
    ASSERT_TRUE(WriteFileBytes(archive, "old contents"));
    settings.jobs = 3;
    WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, archive);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_TRUE(one == ToBytes(ReadFileBytes(archive)));
}

// Stub bytes behind the payload position (an old payload, a symbol table) are dropped; an archive
// without entries ends after its header.
TEST(WriterLayoutTest, StubIsCutAtThePayloadPosition) {
    std::vector<uint8_t> stub = TwoSectionStub();
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
    ASSERT_TRUE(WriteArchiveToMemory(stub, ArchiveSettings(), {}, &b).ok);
    EXPECT_EQ(stub.size() + HDR_FIXED_SIZE, b.size());
}

// Inflates a whole zlib stream, which must end exactly at its last byte.
std::string Inflated(const std::vector<uint8_t>& stream, size_t expectedSize) {
    z_stream zs{};
    EXPECT_EQ(Z_OK, inflateInit(&zs));
    std::string plain(expectedSize + 16, 0);
    zs.next_in = const_cast<Bytef*>(stream.data());
    zs.avail_in = (uInt)stream.size();
    zs.next_out = (Bytef*)&plain[0];
    zs.avail_out = (uInt)plain.size();
    EXPECT_EQ(Z_STREAM_END, inflate(&zs, Z_FINISH));
    EXPECT_EQ(0u, zs.avail_in);  // the stream ends exactly at StoredSize
    plain.resize(zs.total_out);
    inflateEnd(&zs);
    return plain;
}

// The entries of an archive of `entries` without title and run-after (password "k"), decrypted in the
// reader's pieces: they fill the file exactly, and each file's stream inflates to its data.
std::vector<PlainEntry> StoredStreams(const std::vector<uint8_t>& bytes, const std::vector<WriterEntry>& entries) {
    std::vector<uint8_t> area(bytes.begin() + TwoSectionStub().size() + HDR_FIXED_SIZE, bytes.end());
    std::vector<PlainEntry> out = PlainEntries(area, u"k");
    EXPECT_EQ(area.size(), out.empty() ? 0 : out.back().end) << "entries cut short or bytes behind them";
    EXPECT_EQ(entries.size(), out.size());
    for (size_t i = 0; i < entries.size() && i < out.size(); i++) {
        const WriterEntry& e = entries[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.name, out[i].name);
        if (e.attributes & ATTR_DIRECTORY) {
            EXPECT_EQ(0u, LoadLE32(&out[i].head[ENT_STORED_SIZE]));
            continue;
        }
        EXPECT_EQ(e.data.size(), LoadLE64(&out[i].head[ENT_ORIGINAL_SIZE]));
        EXPECT_TRUE(Inflated(out[i].data, e.data.size()) == e.data);
    }
    return out;
}

TEST(WriterLayoutTest, StoredSizeIsTheExactStreamLength) {
    std::vector<WriterEntry> entries = {WriterDir("d"), WriterFile("d\\five5", NoiseBytes(2 * IO_CHUNK + 3, 1)),
                                        WriterFile("d\\sixteen-bytes!", MixedBytes(IO_CHUNK, 2)),
                                        WriterFile("empty", ""), WriterFile("x", MixedBytes(777, 4))};
    ArchiveSettings settings;
    settings.password = u"k";
    settings.level = 0;  // stored blocks: the stream is longer than IO_CHUNK
    std::vector<PlainEntry> stored = StoredStreams(WriteToMemory(entries, settings, 2), entries);
    for (const PlainEntry& p : stored)
        for (uint32_t b = 40; b < ENTRY_HEADER_SIZE; b++) EXPECT_EQ(0, p.head[b]) << p.name;
}

// Files up to WHOLE_FILE_LIMIT are deflated whole, larger ones in PIECE_SIZE pieces: around both bounds
// the streams are ordinary zlib streams, the same for any number of workers, that another inflater takes.
TEST(WriterLayoutTest, StreamsAroundThePieceAndWholeFileBounds) {
    const uint64_t sizes[] = {0, 1, PIECE_SIZE - 1, PIECE_SIZE, PIECE_SIZE + 1, WHOLE_FILE_LIMIT,
                              WHOLE_FILE_LIMIT + 1, WHOLE_FILE_LIMIT + PIECE_SIZE - 1, WHOLE_FILE_LIMIT + PIECE_SIZE};
    std::vector<WriterEntry> entries;
    for (uint64_t size : sizes) entries.push_back(WriterFile("f" + std::to_string(size), MixedBytes(size, (uint32_t)size)));
    // Bytes that do not shrink are stored, whole and in pieces.
    for (uint64_t size : {(uint64_t)PIECE_SIZE, WHOLE_FILE_LIMIT + 2 * PIECE_SIZE + 3})
        entries.push_back(WriterFile("noise" + std::to_string(size), NoiseBytes(size, (uint32_t)size)));
    ArchiveSettings settings;
    settings.password = u"k";
    std::vector<uint8_t> one = WriteToMemory(entries, settings, 1);
    EXPECT_TRUE(one == WriteToMemory(entries, settings, 4));
    std::vector<PlainEntry> stored = StoredStreams(one, entries);
    ASSERT_EQ(entries.size(), stored.size());
#ifndef _WIN32
    // Python's zlib module as the other inflater.
    if (std::system("python3 -c 'import zlib' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is not installed";
    ScratchDir work;
    for (size_t i = 0; i < entries.size(); i++) {
        ASSERT_TRUE(WriteFileBytes(work.Native(entries[i].name + ".z"),
                                   std::string(stored[i].data.begin(), stored[i].data.end())));
        ASSERT_TRUE(WriteFileBytes(work.Native(entries[i].name), entries[i].data));
    }
    std::string check = "cd '" + work.path() + "' && python3 -c 'import sys, zlib\n"
                        "for n in sys.argv[1:]:\n"
                        "    assert zlib.decompress(open(n + \".z\", \"rb\").read()) == open(n, \"rb\").read(), n\n'";
    for (const WriterEntry& e : entries) check += " " + e.name;
    EXPECT_EQ(0, std::system(check.c_str()));
#endif
}

// Pieces deflated on their own join into one zlib stream whatever bit each one's last block ends on:
// text pieces of a few hundred lengths end on every bit offset, noise is stored in two blocks and ends
// on a byte, and a file that fills its last piece ends with an empty one.
TEST(PieceStreamTest, PiecesJoinIntoOneZlibStream) {
    struct Case {
        int level;
        bool emptyLast;
    };
    for (Case c : {Case{7, false}, Case{1, true}, Case{12, true}, Case{0, false}}) {
        SCOPED_TRACE(c.level);
        WholeFileDeflater deflater;
        std::vector<std::string> pieces;
        for (uint32_t i = 0; i < 200; i++) pieces.push_back(i % 40 == 3 ? NoiseBytes(70000, i) : MixedBytes(40 + 31 * i, i));
        if (c.emptyLast) pieces.push_back("");
        Bytes stream = {0x78, 0x01}, data;
        for (size_t i = 0; i < pieces.size(); i++) {
            Piece piece;
            piece.input = ToBytes(pieces[i]);
            piece.last = i + 1 == pieces.size();
            DeflatePiece(c.level, &deflater, &piece);
            ASSERT_EQ("", piece.error);
            Append(stream, piece.output);
            Append(data, ToBytes(pieces[i]));
        }
        uint32_t adler = (uint32_t)adler32(1, data.data(), (uInt)data.size());
        for (int shift = 24; shift >= 0; shift -= 8) stream.push_back((uint8_t)(adler >> shift));
        Bytes back(data.size());
        uLongf size = (uLongf)back.size();
        uLong used = (uLong)stream.size();
        ASSERT_EQ(Z_OK, uncompress2(back.data(), &size, stream.data(), &used));
        EXPECT_EQ(stream.size(), used);
        EXPECT_TRUE(back == data);
    }
}

TEST(CompressEntryTest, StreamOverTheLimitIsRefused) {
    WriterEntry e = WriterFile("big", NoiseBytes(5000, 3));
    CompressOptions options;
    options.storedLimit = 4000;
    WholeFileDeflater deflater;
    CompressedEntry out;
    CompressEntry(e, options, &deflater, &out);
    EXPECT_FALSE(out.ok);
    EXPECT_NE(std::string::npos, out.error.find("big")) << out.error;
    SpillRemove(&out.spill);

    options.storedLimit = 6000;
    CompressedEntry fits;
    CompressEntry(e, options, &deflater, &fits);
    EXPECT_TRUE(fits.ok) << fits.error;
    SpillRemove(&fits.spill);
}

// A spill outgrowing its memory limit moves to a temporary file, reads back the same, and is removed.
TEST(CompressEntryTest, SpillMovesToATemporaryFile) {
    ScratchDir work;
    WriterEntry e = WriterFile("n", NoiseBytes(3 * IO_CHUNK + 100, 9));
    CompressOptions options;
    options.key = u"pw";
    WholeFileDeflater deflater;
    CompressedEntry inMemory, inFile;
    CompressEntry(e, options, &deflater, &inMemory);
    options.place.filePrefix = work.Native("spill");
    options.place.memoryLimit = IO_CHUNK;
    CompressEntry(e, options, &deflater, &inFile);
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

TEST(WriterLayoutTest, ProgressRisesToTheTotal) {
    std::vector<WriterEntry> entries = {WriterFile("a", MixedBytes(3 * IO_CHUNK, 1)),
                                        WriterFile("b", NoiseBytes(1000, 2)), WriterDir("c")};
    ScratchDir work;
    std::vector<std::pair<uint64_t, uint64_t>> seen;
    ArchiveSettings settings;
    settings.jobs = 2;
    ProgressFn record = [](uint64_t done, uint64_t total, void* user) {
        static_cast<std::vector<std::pair<uint64_t, uint64_t>>*>(user)->push_back({done, total});
    };
    ASSERT_TRUE(WriteArchive(TwoSectionStub(), settings, entries, work.Native("o.exe"), record, &seen).ok);
    ASSERT_FALSE(seen.empty());
    uint64_t total = 3 * IO_CHUNK + 1000;
    for (size_t i = 0; i < seen.size(); i++) {
        EXPECT_EQ(total, seen[i].second);
        EXPECT_GE(seen[i].first, i ? seen[i - 1].first : 0);
    }
    EXPECT_EQ(total, seen.back().first);
}

}  // namespace
