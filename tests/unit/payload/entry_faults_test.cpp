// Regression tests, each named after the extraction fault it guards against.
#include <gtest/gtest.h>

#include "archive_fixture.h"
#include "support/dir_link.h"

namespace {

using EntryFault = ArchiveTest;

// Names leading out of the destination are not used as they stand, when restoring or testing. A NUL
// byte cut "x\0\..\..\esc" short to "x"; device names open a device on Windows: the write goes there,
// or an unattended run waits forever.
TEST_F(EntryFault, NamesLeavingTheDestinationAreRefused) {
    const std::string names[] = {"..\\evil.txt", "../evil.txt", "a\\..\\..\\evil.txt", "\\evil.txt",
                                 "/evil.txt", "C:evil.txt", "...\\evil.txt", "", "NUL", "con.txt",
                                 "Com1 .log", "CONOUT$", ".", "tab\tname", "what?.txt",
                                 std::string("x\0\\..\\..\\esc", 12)};
    for (ExtractMode mode : {EXTRACT_WRITE, EXTRACT_TEST}) {
        for (bool directory : {false, true}) {
            for (const std::string& name : names) {
                TestEntry e = TestFile(name, "evil");
                if (directory) e.attributes = ATTR_DIRECTORY;
                ASSERT_EQ(RESULT_OK, Open({e}));
                EXPECT_EQ(RESULT_CORRUPT, Next(dest, mode)) << '"' << name << '"';
                EXPECT_TRUE(ListDir(dest).empty()) << name;
                EXPECT_EQ(std::vector<std::string>({"archive.exe", "out"}), ListDir(scratch.path())) << name;
            }
        }
    }
}

// A link below the destination led writes, replacements and directory times outside; the destination
// itself may be a link.
TEST_F(EntryFault, NothingIsWrittenThroughALinkBelowTheDestination) {
    TestEntry linkDir = TestDir("link");
    linkDir.times = {130000000000000000ull, 130000000000000000ull, 130000000000000000ull};
    const struct {
        const char* what;
        std::vector<TestEntry> entries;
        std::string link;  // made under the destination, pointing outside it
    } cases[] = {
        {"new file", {TestFile("link\\planted.txt", "evil")}, "link"},
        {"replaced file", {TestFile("link\\victim.txt", "evil")}, "link"},
        {"slash separator", {TestFile("link/victim.txt", "evil")}, "link"},
        {"directory entry that is the link", {linkDir}, "link"},
        {"link deeper down", {TestFile("d\\link\\planted.txt", "evil")}, "d\\link"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.what);
        reader.answers = {};
        const std::string outside = "outside" + std::to_string(i), out = "out" + std::to_string(i);
        const std::string viaLink = scratch.Native("via-link" + std::to_string(i));
        for (const std::string& dir : {outside, out, out + "\\d"})
            ASSERT_TRUE(PlatformCreateDirectory(scratch.Native(dir).c_str()));
        ASSERT_TRUE(WriteFileBytes(scratch.Native(outside + "\\victim.txt"), "mine"));
        const uint64_t before = FactsOf(scratch.Native(outside)).lastWrite;
        if (!MakeDirectoryLink(scratch.Native(outside), scratch.Native(out + "\\" + c.link)) ||
            !MakeDirectoryLink(scratch.Native(out), viaLink))
            GTEST_SKIP() << "this system does not let a test make directory links";
        reader.answers.yesToAll = 1;
        ASSERT_EQ(RESULT_OK, Open(c.entries));
        EXPECT_EQ(RESULT_CANNOT_CREATE, RunAll(viaLink).back());
        EXPECT_EQ(std::vector<std::string>({"victim.txt"}), ListDir(scratch.Native(outside)));
        EXPECT_EQ("mine", Contents(scratch.Native(outside + "\\victim.txt")));
        EXPECT_EQ(before, FactsOf(scratch.Native(outside)).lastWrite);
    }
}

// Stored data ending before its stream (a truncated download) or at a short StoredSize is damage, not a
// clean end with the partial file kept; stored bytes behind the stream are not read as the next entry.
struct StreamFaultCase {
    std::string name;
    TestEntry entry;
    bool followed;  // by another entry
};
void PrintTo(const StreamFaultCase& c, std::ostream* os) { *os << c.name; }
std::vector<StreamFaultCase> StreamFaults() {
    std::vector<StreamFaultCase> rows;
    TestEntry cut = TestFile("big.bin", NoiseBytes(3 * IO_CHUNK));
    cut.storedSize = (int64_t)ZlibCompress(cut.data).size();  // the file ends inside the stream
    for (uint32_t keep : {1u, 1000u, IO_CHUNK, IO_CHUNK + 10, 2 * IO_CHUNK + 1}) {
        cut.cutStream = (size_t)cut.storedSize - keep;
        rows.push_back({"FileEndsAfter" + std::to_string(keep) + "Bytes", cut, false});
    }
    TestEntry shorter = TestFile("a.txt", NoiseBytes(500));
    shorter.storedSize = (int64_t)ZlibCompress(shorter.data).size() - 3;
    rows.push_back({"StoredSizeShorterThanTheStream", shorter, false});
    const struct {
        const char* name;
        size_t trailing, dataSize;
    } behind[] = {{"BytesBehindInTheSamePiece", 3, 100},
                  {"AWholePieceBehind", IO_CHUNK + 5, 100},
                  {"BytesBehindAStreamOfExactlyOnePiece", 1, 0}};
    for (const auto& b : behind) {
        TestEntry e = TestFile("a.bin", NoiseBytes(b.dataSize));
        if (!b.dataSize) e.stream = StoredStreamOfSize(IO_CHUNK, &e.data);
        e.trailing = Bytes(b.trailing, 0);
        rows.push_back({b.name, e, true});
    }
    return rows;
}

class StreamFault : public ArchiveTest, public ::testing::WithParamInterface<StreamFaultCase> {};
TEST_P(StreamFault, IsCorruptAndLeavesNothing) {
    std::vector<TestEntry> entries = {GetParam().entry};
    if (GetParam().followed) entries.push_back(TestFile("b.txt", "b"));
    ASSERT_EQ(RESULT_OK, Open(entries));
    EXPECT_EQ(RESULT_CORRUPT, Next());
    EXPECT_TRUE(ListDir(dest).empty());
}
INSTANTIATE_TEST_SUITE_P(Streams, StreamFault, ::testing::ValuesIn(StreamFaults()),
                         [](const ::testing::TestParamInfo<StreamFaultCase>& p) { return p.param.name; });

// An existing a.txt, answered yes: replaced only by a good entry, never emptied before the replacement
// is known to be good (damaged, cut or padded data), and no temporary file stays.
struct ReplaceCase {
    std::string name;
    TestEntry entry;
    ScriptedAnswer answer;
    int result;
    uint32_t existingAttributes = 0;  // set on the existing file (Windows)
};
void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }
std::vector<ReplaceCase> ReplaceCases() {
    std::string data = NoiseBytes(2 * IO_CHUNK + 500);
    TestEntry damaged = TestFile("a.txt", data);
    damaged.flipByte = (int)ZlibCompress(data).size() - 2;  // Adler-32: after all output
    TestEntry cut = TestFile("a.txt", data);
    cut.cutStream = 100;
    TestEntry padded = TestFile("a.txt", data);
    padded.trailing = ToBytes("junk");
    TestEntry good = TestFile("a.txt", "new contents");
    good.attributes = ATTR_READONLY;
    good.times.lastWrite = FiletimeOf(1600000000, 42);
    std::vector<ReplaceCase> rows;
    for (ScriptedAnswer answer : {ANSWER_YES, ANSWER_YES_ALL}) {
        std::string all = answer == ANSWER_YES_ALL ? "YesToAll" : "";
        rows.push_back({"Damaged" + all, damaged, answer, RESULT_CORRUPT});
        rows.push_back({"Truncated" + all, cut, answer, RESULT_CORRUPT});
        rows.push_back({"Padded" + all, padded, answer, RESULT_CORRUPT});
    }
    rows.push_back({"GoodDataReplaces", good, ANSWER_YES, RESULT_OK});
#ifdef _WIN32
    rows.push_back({"HiddenExistingFile", TestFile("a.txt", "new"), ANSWER_YES, RESULT_OK, FILE_ATTRIBUTE_HIDDEN});
    rows.push_back({"ReadOnlyExistingFileIsKept", TestFile("a.txt", "new"), ANSWER_YES, RESULT_CANNOT_CREATE,
                    FILE_ATTRIBUTE_READONLY});
#endif
    return rows;
}

class Replacement : public ArchiveTest, public ::testing::WithParamInterface<ReplaceCase> {};
TEST_P(Replacement, OfAnExistingFile) {
    const ReplaceCase& c = GetParam();
    g_Script.answers = {c.answer};
    ASSERT_TRUE(WriteFileBytes(Out("a.txt"), "precious"));
#ifdef _WIN32
    if (c.existingAttributes) {
        ASSERT_TRUE(SetFileAttributesA(Out("a.txt").c_str(), c.existingAttributes));
    }
#endif
    ASSERT_EQ(RESULT_OK, Open({c.entry}));
    EXPECT_EQ(c.result, Next());
    EXPECT_EQ(c.result == RESULT_OK ? c.entry.data : "precious", Contents(Out("a.txt")));
    EXPECT_EQ(std::vector<std::string>({"a.txt"}), ListDir(dest));
    if (c.result == RESULT_OK && c.entry.times.lastWrite) {
        EXPECT_EQ(c.entry.times.lastWrite, FactsOf(Out("a.txt")).lastWrite);
    }
}
INSTANTIATE_TEST_SUITE_P(Entries, Replacement, ::testing::ValuesIn(ReplaceCases()),
                         [](const ::testing::TestParamInfo<ReplaceCase>& p) { return p.param.name; });

}  // namespace
