// Entry extraction: directories, files, sizes around IO_CHUNK, overwrite answers, times, test and list.
#include <gtest/gtest.h>

#include "archive_fixture.h"

namespace {

using EntryTest = ArchiveTest;

// The entries restored, then after a rewind restored again into a destination ending in a separator.
TEST_F(EntryTest, DestinationWithAndWithoutTrailingSeparator) {
    ASSERT_EQ(RESULT_OK, Open({TestDir("docs"), TestFile("docs\\a.txt", "alpha"), TestFile("b.txt", "beta")}));
    std::string second = scratch.Native("out2");
    ASSERT_TRUE(PlatformCreateDirectory(second.c_str()));
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_OK, RESULT_END}), RunAll(dest));
    ASSERT_EQ(RESULT_OK, RewindToFirstEntry(&reader));
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_OK, RESULT_END}), RunAll(second + PLATFORM_SEPARATOR));
    for (const std::string& root : {dest, second}) {
        EXPECT_TRUE(FactsOf(root + "/docs").directory);
        EXPECT_EQ("alpha", Contents(root + "/docs/a.txt"));
        EXPECT_EQ("beta", Contents(root + "/b.txt"));
        EXPECT_EQ(std::vector<std::string>({"b.txt", "docs"}), ListDir(root));
    }
}

// Stored stream sizes around the piece size: each piece decrypts alone, the next entry is still found.
TEST_F(EntryTest, StoredSizesAroundTheChunk) {
    const size_t sizes[] = {11, IO_CHUNK - 1, IO_CHUNK, IO_CHUNK + 1, 2 * IO_CHUNK + 17};
    for (size_t size : sizes) {
        std::string data;
        TestEntry big = TestFile("big" + std::to_string(size), "");
        big.stream = StoredStreamOfSize(size, &data, (uint32_t)size);
        ASSERT_EQ(size, big.stream.size());
        ASSERT_EQ(RESULT_OK, Open({big, TestFile("after.txt", "next entry")}));
        EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_END}), RunAll()) << size;
        EXPECT_TRUE(Contents(Out(big.name)) == data) << size;
        EXPECT_EQ("next entry", Contents(Out("after.txt"))) << size;
    }
}

// Output sizes around the output buffer: output that fills it exactly is written once, not twice.
TEST_F(EntryTest, OutputSizesAroundTheChunk) {
    const size_t sizes[] = {1, IO_CHUNK - 1, IO_CHUNK, IO_CHUNK + 1, 2 * IO_CHUNK, 1000000};
    std::vector<TestEntry> entries;
    for (size_t size : sizes) {
        TestEntry e = TestFile("f" + std::to_string(size), NoiseBytes(size, (uint32_t)size));
        e.level = size % 2 ? 9 : 1;
        entries.push_back(e);
    }
    entries.push_back(TestFile("text", std::string(3 * IO_CHUNK + 5, 'x')));  // tiny stream, much output
    ASSERT_EQ(RESULT_OK, Open(entries));
    EXPECT_EQ(entries.size() + 1, RunAll().size());
    for (const TestEntry& e : entries) {
        std::string got = Contents(Out(e.name));
        EXPECT_EQ(e.data.size(), got.size()) << e.name;
        EXPECT_TRUE(got == e.data) << e.name;
    }
}

TEST_F(EntryTest, StoredSizeZeroGivesAnEmptyFile) {
    TestEntry empty = TestFile("empty.txt", "");
    empty.noStream = true;
    empty.times = {FiletimeOf(1500000000), FiletimeOf(1500000100), FiletimeOf(1500000200)};
    ASSERT_TRUE(WriteFileBytes(Out("existing.txt"), "old"));
    TestEntry replacing = empty;
    replacing.name = "existing.txt";
    g_Script.answers = {ANSWER_YES};
    ASSERT_EQ(RESULT_OK, Open({empty, replacing, TestFile("c.txt", "c")}));
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_OK, RESULT_END}), RunAll());
    EXPECT_EQ("", Contents(Out("empty.txt")));
    EXPECT_EQ(FiletimeOf(1500000200), FactsOf(Out("empty.txt")).lastWrite);
    EXPECT_EQ("", Contents(Out("existing.txt")));
    EXPECT_EQ("c", Contents(Out("c.txt")));
}

struct OverwriteCase {
    const char* name;
    std::vector<ScriptedAnswer> answers;
    std::vector<std::string> asked;
    std::vector<int> results;
    std::vector<std::string> contents;  // a.txt, b.txt and c.txt afterwards
    bool ask = true;                    // false: no overwrite question at all
};
const std::vector<int> ALL_OK = {RESULT_OK, RESULT_OK, RESULT_OK, RESULT_OK, RESULT_OK, RESULT_END};
const OverwriteCase OVERWRITE[] = {
    {"YesNo", {ANSWER_YES, ANSWER_NO}, {"a.txt", "b.txt"}, ALL_OK, {"A2", "B1", "C2"}},
    {"NoYes", {ANSWER_NO, ANSWER_YES}, {"a.txt", "b.txt"}, ALL_OK, {"A1", "B2", "C2"}},
    {"YesToAll", {ANSWER_YES_ALL}, {"a.txt"}, ALL_OK, {"A2", "B2", "C2"}},
    {"NoToAllStillWritesNewFiles", {ANSWER_NO_ALL}, {"a.txt"}, ALL_OK, {"A1", "B1", "C2"}},
    {"CancelAtTheFirst", {ANSWER_CANCEL}, {"a.txt"}, {RESULT_CANCELLED}, {"A1", "B1", "<missing>"}},
    {"CancelAtTheSecond", {ANSWER_YES, ANSWER_CANCEL}, {"a.txt", "b.txt"}, {RESULT_OK, RESULT_CANCELLED},
     {"A2", "B1", "<missing>"}},
    {"WithoutAQuestionExistingFilesAreKept", {}, {}, ALL_OK, {"A1", "B1", "C2"}, false},
};

// a.txt and b.txt exist; the archive holds a.txt, b.txt, new c.txt, a directory and d.txt inside it.
class OverwriteAnswers : public ArchiveTest, public ::testing::WithParamInterface<OverwriteCase> {};
TEST_P(OverwriteAnswers, DecideWhatIsWritten) {
    const OverwriteCase& c = GetParam();
    g_Script.answers = c.answers;
    if (!c.ask) reader.askOverwrite = nullptr;
    ASSERT_TRUE(WriteFileBytes(Out("a.txt"), "A1"));
    ASSERT_TRUE(WriteFileBytes(Out("b.txt"), "B1"));
    ASSERT_EQ(RESULT_OK, Open({TestFile("a.txt", "A2"), TestFile("b.txt", "B2"), TestFile("c.txt", "C2"),
                               TestDir("d"), TestFile("d\\d.txt", "D2")}));
    EXPECT_EQ(c.results, RunAll());
    EXPECT_EQ(c.asked, g_Script.asked);
    EXPECT_EQ(c.contents, (std::vector<std::string>{Contents(Out("a.txt")), Contents(Out("b.txt")), Contents(Out("c.txt"))}));
    bool all = c.results.size() > 2;
    EXPECT_EQ(all ? "D2" : "<missing>", Contents(Out("d/d.txt")));
    EXPECT_EQ(all ? 4u : 2u, ListDir(dest).size());  // no temporary file left behind
}
INSTANTIATE_TEST_SUITE_P(Answers, OverwriteAnswers, ::testing::ValuesIn(OVERWRITE),
                         [](const ::testing::TestParamInfo<OverwriteCase>& p) { return std::string(p.param.name); });

TEST_F(EntryTest, CancelLeavesThePositionBehindTheName) {
    ASSERT_TRUE(WriteFileBytes(Out("a.txt"), "keep"));
    g_Script.answers = {ANSWER_CANCEL};
    header.title = "";
    ASSERT_EQ(RESULT_OK, Open({TestFile("a.txt", "new")}));
    EXPECT_EQ(RESULT_CANCELLED, Next());
    EXPECT_EQ(0x400 + 35 + 58 + 5, PlatformTell(reader.file));
    EXPECT_EQ("keep", Contents(Out("a.txt")));
}

// 260 bytes of name are accepted (in test mode: Windows' narrow calls take no longer path), 261 are not.
TEST_F(EntryTest, NameLengthLimit) {
    for (size_t length : {260, 261}) {
        TestEntry e = TestFile(std::string(100, 'd') + "\\" + std::string(length - 101, 'f'), "x");
        ASSERT_EQ(RESULT_OK, Open({e}));
        EntryInfo info;
        EXPECT_EQ(length == 260 ? RESULT_OK : RESULT_CORRUPT, Next(dest, EXTRACT_TEST, &info)) << length;
        if (length == 260) {
            EXPECT_EQ(e.name, info.name);
        }
    }
#ifndef _WIN32
    std::string dir(100, 'd');
    TestEntry e = TestFile(dir + "\\" + std::string(159, 'f'), "long");
    ASSERT_EQ(RESULT_OK, Open({TestDir(dir), e}));
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_END}), RunAll());
    EXPECT_EQ("long", Contents(Out(e.name)));
#endif
}

TEST_F(EntryTest, MissingDirectoryCannotBeCreated) {
    ASSERT_EQ(RESULT_OK, Open({TestFile("nodir\\a.txt", "a")}));
    EXPECT_EQ(RESULT_CANNOT_CREATE, Next());
    EXPECT_TRUE(ListDir(dest).empty());
}

TEST_F(EntryTest, DirectoryEntries) {
    ASSERT_TRUE(PlatformCreateDirectory(Out("exists").c_str()));
    ASSERT_TRUE(WriteFileBytes(Out("afile"), "x"));
    TestEntry timed = TestDir("timed");
    timed.times = {FiletimeOf(1400000000), FiletimeOf(1400000001), FiletimeOf(1400000002, 1234)};
    ASSERT_EQ(RESULT_OK,
              Open({TestDir("exists"), timed, TestDir("other"), TestDir("other\\sub"), TestDir("afile")}));
    // A directory that exists is fine; a file in the way is not.
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_OK, RESULT_OK, RESULT_CANNOT_CREATE}), RunAll());
    EXPECT_TRUE(FactsOf(Out("other\\sub")).directory);
    EXPECT_EQ("x", Contents(Out("afile")));
    EXPECT_TRUE(g_Script.asked.empty());
    ExpectTimes(Out("timed"), timed.times);
}

// Times go through exactly, also before 1970 and with odd 100-ns parts.
TEST_F(EntryTest, TimesAndAttributes) {
    const struct {
        const char* what;
        uint64_t filetime;
    } cases[] = {
        {"Unix epoch", FiletimeOf(0)},
        {"1960 and one tick", FiletimeOf(-315619200, 1)},
        {"1969, last tick before the epoch", FiletimeOf(-1, 9999999)},
        {"2001 with 100-ns parts", FiletimeOf(1000000000, 1234567)},
        {"2100", FiletimeOf(4102444800LL, 5)},
    };
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        TestEntry e = TestFile("t" + std::to_string(i), "data");
        e.times = {cases[i].filetime + 7, cases[i].filetime + 3, cases[i].filetime};
        e.attributes = ATTR_ARCHIVE | (i % 2 ? ATTR_READONLY : 0);
        entries.push_back(e);
    }
    ASSERT_EQ(RESULT_OK, Open(entries));
    EXPECT_EQ(entries.size() + 1, RunAll().size());
    for (size_t i = 0; i < entries.size(); i++) {
        SCOPED_TRACE(cases[i].what);
        std::string path = Out(entries[i].name);
        ExpectTimes(path, entries[i].times);
        EXPECT_EQ((entries[i].attributes & ATTR_READONLY) != 0, FactsOf(path).readOnly);
#ifdef _WIN32
        DWORD a = GetFileAttributesA(path.c_str());
        EXPECT_EQ((DWORD)entries[i].attributes, a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
#endif
    }
}

#ifdef _WIN32
TEST_F(EntryTest, WindowsAttributesOnFilesAndDirectories) {
    TestEntry hidden = TestFile("hidden.txt", "h");
    hidden.attributes = ATTR_HIDDEN | ATTR_ARCHIVE;
    TestEntry dir = TestDir("secret", ATTR_HIDDEN);
    dir.times = {FiletimeOf(1300000000, 11), FiletimeOf(1300000001, 22), FiletimeOf(1300000002, 33)};
    ASSERT_EQ(RESULT_OK, Open({hidden, dir}));
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_END}), RunAll());
    EXPECT_TRUE(GetFileAttributesA(Out("hidden.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    DWORD a = GetFileAttributesA(Out("secret").c_str());
    EXPECT_TRUE(a & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(a & FILE_ATTRIBUTE_DIRECTORY);
    ExpectTimes(Out("secret"), dir.times);
}
#endif

TEST_F(EntryTest, TestModeCreatesNothing) {
    TestEntry bad = TestFile("bad.txt", NoiseBytes(5000));
    bad.flipByte = 100;
    ASSERT_EQ(RESULT_OK, Open({TestDir("d"), TestFile("d\\a.txt", "a"), TestFile("b.txt", ""), bad}));
    EXPECT_EQ(Results({RESULT_OK, RESULT_OK, RESULT_OK, RESULT_CORRUPT}), RunAll(dest, EXTRACT_TEST));
    EXPECT_TRUE(ListDir(dest).empty());
}

// Listing gives names, sizes and times and creates nothing; a cut entry is corrupt also when listed.
TEST_F(EntryTest, ListingSkipsTheData) {
    TestEntry big = TestFile("big.bin", NoiseBytes(IO_CHUNK + 99));
    big.times.lastWrite = FiletimeOf(1234567890);
    ASSERT_EQ(RESULT_OK, Open({TestDir("d"), big, TestFile("d\\e.txt", "e")}));
    EntryInfo info;
    for (const char* name : {"d", "big.bin", "d\\e.txt"}) {
        ASSERT_EQ(RESULT_OK, List(&info));
        EXPECT_STREQ(name, info.name);
        if (std::string(name) == "big.bin") {
            EXPECT_EQ(IO_CHUNK + 99, info.originalSize);
            EXPECT_EQ(FiletimeOf(1234567890), info.times.lastWrite);
        }
    }
    EXPECT_EQ(RESULT_END, List(&info));
    EXPECT_TRUE(ListDir(dest).empty());

    Bytes archive = BuildArchive(header, {TestFile("a.bin", NoiseBytes(1000))});
    archive.pop_back();
    ASSERT_EQ(RESULT_OK, OpenBytes(archive));
    EXPECT_EQ(RESULT_CORRUPT, List(&info));
}

// An entry cut inside its header, name length or name.
TEST_F(EntryTest, ShortEntryHeadersAndNames) {
    Bytes payload = BuildHeader(header);
    const size_t headerSize = payload.size();
    Append(payload, BuildEntry(header.password, TestFile("name.txt", "data")));
    for (size_t cut = 1; cut < ENTRY_HEADER_SIZE + 2 + 8; cut++) {
        ASSERT_EQ(RESULT_OK, OpenPayload(payload, headerSize + cut));
        EXPECT_EQ(RESULT_CORRUPT, Next()) << "cut at " << cut;
    }
    EXPECT_TRUE(ListDir(dest).empty());
}

TEST_F(EntryTest, DamagedDataIsCorruptAlsoWhenSkipped) {
    TestEntry bad = TestFile("a.txt", "some text that compresses, some text that compresses");
    bad.flipByte = 4;
    for (bool exists : {false, true}) {
        if (exists) {
            ASSERT_TRUE(WriteFileBytes(Out("a.txt"), "old"));
        }
        g_Script.answers = {ANSWER_NO};
        ASSERT_EQ(RESULT_OK, Open({bad}));
        EXPECT_EQ(RESULT_CORRUPT, Next());
        EXPECT_EQ(exists ? "old" : "<missing>", Contents(Out("a.txt")));
        EXPECT_EQ(exists ? 1u : 0u, ListDir(dest).size());
    }
}

}  // namespace
