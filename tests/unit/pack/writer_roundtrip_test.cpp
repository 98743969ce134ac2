// Archives written by the writer and read back by the reader.
#include <gtest/gtest.h>

#include "pack/piece_stream.h"
#include "pack_test_util.h"

namespace {

struct PasswordCase {
    const char* label;
    bool usePassword;
    std::u16string password;
};
// The round trips run with the first three; the last is only tried.
const PasswordCase PASSWORDS[] = {{"Password", true, u"p\u00e4ssw\u00f6rd \U0001F511"},
                                  {"NoPassword", false, u""},
                                  {"EmptyPassword", true, u""},
                                  {"WrongPassword", true, u"wrong"}};

void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.label; }

ArchiveSettings SettingsOf(const PasswordCase& c) {
    ArchiveSettings settings;
    settings.usePassword = c.usePassword;
    settings.password = c.password;
    return settings;
}

class WriterRoundTrip : public ::testing::TestWithParam<PasswordCase> {};

void ExpectRestored(const std::vector<WriterEntry>& entries, const ScratchDir& out) {
    for (const WriterEntry& e : entries) {
        SCOPED_TRACE(e.name);
        std::string path = out.Native(e.name);
        FileFacts facts = FactsOf(path);
        ASSERT_TRUE(facts.exists);
        EXPECT_EQ((e.attributes & ATTR_DIRECTORY) != 0, facts.directory);
        if (e.attributes & ATTR_DIRECTORY) continue;  // its times change as its contents are restored
        EXPECT_TRUE(ReadFileBytes(path) == e.data) << "contents differ";
        EXPECT_EQ((e.attributes & ATTR_READONLY) != 0, facts.readOnly);
        EXPECT_EQ(e.lastWriteTime, facts.lastWrite);
        EXPECT_EQ(e.lastAccessTime, facts.lastAccess);
    }
}

TEST_P(WriterRoundTrip, RandomTreesComeBackIdentical) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        ScratchDir sources, work, out;
        std::vector<WriterEntry> entries = RandomTree(seed, sources);
        ArchiveSettings settings = SettingsOf(GetParam());
        settings.title = "Archive " + std::to_string(seed);
        settings.runAfter = entries[0].name;
        settings.openFolderShowCmd = 5;
        settings.layoutMode = 1;
        settings.backgroundWidth = 400;
        settings.backgroundHeight = 300;
        settings.jobs = (int)seed;
        std::string archive = work.Native("out.exe");
        WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, archive);
        ASSERT_TRUE(w.ok) << w.error;

        ReadBack rb = ReadArchiveBack(archive, settings, out.path());
        ASSERT_EQ(RESULT_OK, rb.headerResult);
        ASSERT_TRUE(rb.passwordOk);
        EXPECT_EQ(RESULT_END, rb.lastResult);
        ASSERT_EQ(entries.size(), rb.entries.size());
        EXPECT_EQ(settings.title, rb.title);
        EXPECT_EQ(settings.runAfter, rb.runAfter);
        EXPECT_EQ(5u, rb.showCmd);
        EXPECT_EQ(1, rb.layout);
        EXPECT_EQ(400u, rb.width);
        EXPECT_EQ(300u, rb.height);
        // The last entry ends exactly at the end of the file.
        EXPECT_EQ((int64_t)ReadFileBytes(archive).size(), rb.endOfLastEntry);
        for (size_t i = 0; i < entries.size(); i++) {
            EXPECT_EQ(entries[i].name, rb.entries[i].name);
            EXPECT_EQ(entries[i].attributes, rb.entries[i].attributes);
            EXPECT_EQ(entries[i].creationTime, rb.entries[i].times.creation);
            bool dir = entries[i].attributes & ATTR_DIRECTORY;
            EXPECT_EQ(dir ? 0 : entries[i].data.size(), rb.entries[i].originalSize);
        }
        ExpectRestored(entries, out);
        EXPECT_EQ(std::vector<std::string>{"out.exe"}, ListDir(work.path()));
    }
}

// Only the archive's own password opens it.
TEST_P(WriterRoundTrip, OtherPasswordsAreRefused) {
    ScratchDir work, out;
    std::string archive = work.Native("out.exe");
    ASSERT_TRUE(WriteArchive(TwoSectionStub(), SettingsOf(GetParam()), {WriterFile("a.txt", "hello")}, archive).ok);
    for (const PasswordCase& other : PASSWORDS) {
        ReadBack rb = ReadArchiveBack(archive, SettingsOf(other), out.path());
        ASSERT_EQ(RESULT_OK, rb.headerResult);
        EXPECT_EQ(std::string(other.label) == GetParam().label, rb.passwordOk) << other.label;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, WriterRoundTrip, ::testing::ValuesIn(PASSWORDS, PASSWORDS + 3),
    [](const ::testing::TestParamInfo<PasswordCase>& info) { return std::string(info.param.label); });

// Names of 1 and 260 bytes, and of 15, 16 and 32: the data then starts a byte short of, on and past a block.
TEST(WriterRoundTripTest, NamesOfOneAnd260Bytes) {
    std::string dir(120, 'd');
    std::string file(260 - dir.size() - 1, 'f');
    std::vector<WriterEntry> entries = {WriterFile("x", "one"), WriterDir(dir),
                                        WriterFile(dir + "\\" + file, MixedBytes(1000, 4))};
    ASSERT_EQ(260u, entries[2].name.size());
    for (size_t length : {15, 16, 32})
        entries.push_back(WriterFile(std::string(length, (char)('a' + entries.size())),
                                     MixedBytes(IO_CHUNK + length, (uint32_t)length)));
    ArchiveSettings settings;
    settings.password = u"pw";
    settings.title = std::string(260, 'T');
    settings.runAfter = entries[2].name;
    ScratchDir work, out;
    std::string archive = work.Native("out.exe");
    WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, archive);
    ASSERT_TRUE(w.ok) << w.error;
    // Windows paths are limited to 260 bytes in all, so only test there.
#ifdef _WIN32
    ExtractMode mode = EXTRACT_TEST;
#else
    ExtractMode mode = EXTRACT_WRITE;
#endif
    ReadBack rb = ReadArchiveBack(archive, settings, out.path(), mode);
    ASSERT_TRUE(rb.passwordOk);
    EXPECT_EQ(RESULT_END, rb.lastResult);
    ASSERT_EQ(entries.size(), rb.entries.size());
    EXPECT_EQ(entries[0].name, rb.entries[0].name);
    EXPECT_EQ(entries[2].name, rb.entries[2].name);
    EXPECT_EQ(settings.title, rb.title);
    EXPECT_EQ(settings.runAfter, rb.runAfter);
    if (mode == EXTRACT_WRITE) {
        for (size_t i : {2, 3, 4, 5}) EXPECT_TRUE(ReadFileBytes(out.Native(entries[i].name)) == entries[i].data) << i;
    }
}

// An entry that outgrows the in-memory spill goes through a temporary file, gone afterwards.
TEST(WriterRoundTripTest, LargeEntryPassesThroughATemporaryFile) {
    std::vector<WriterEntry> entries = {WriterFile("big.bin", NoiseBytes(9u << 20, 11)),
                                        WriterFile("small.txt", MixedBytes(50000, 2))};
    ArchiveSettings settings;
    settings.password = u"secret";
    settings.level = 1;
    settings.jobs = 2;
    ScratchDir work, out;
    std::string archive = work.Native("out.exe");
    WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, archive);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(std::vector<std::string>{"out.exe"}, ListDir(work.path()));
    ReadBack rb = ReadArchiveBack(archive, settings, out.path());
    EXPECT_EQ(RESULT_END, rb.lastResult);
    EXPECT_TRUE(ReadFileBytes(out.Native("big.bin")) == entries[0].data);
    EXPECT_TRUE(ReadFileBytes(out.Native("small.txt")) == entries[1].data);
}

// Files that change between being measured and read: the archive holds what was read and reads back whole.
TEST(WriterRoundTripTest, FilesThatChangeWhileTheArchiveIsWritten) {
    struct Change {
        const char* name;
        uint64_t measured, read;
    };
    const Change changes[] = {
        {"pieces-shrink", WHOLE_FILE_LIMIT + PIECE_SIZE + 5, 100},
        {"pieces-grow", WHOLE_FILE_LIMIT + 1, WHOLE_FILE_LIMIT + 2 * PIECE_SIZE + 7},
        {"whole-grows-past-the-limit", 1000, WHOLE_FILE_LIMIT + 3},
        {"whole-shrinks-to-nothing", 5000, 0},
    };
    ScratchDir sources, work, out;
    std::vector<WriterEntry> entries;
    for (const Change& c : changes) {
        entries.push_back(WriterFile(c.name, ""));
        entries.back().sourcePath = sources.Native(c.name);
        ASSERT_TRUE(WriteFileBytes(entries.back().sourcePath, MixedBytes(c.measured, 1)));
    }
    // The first progress report comes after every file was measured and before any is read.
    struct Hook {
        const Change* changes;
        const std::vector<WriterEntry>* entries;
        bool done = false;
    } hook{changes, &entries};
    ProgressFn rewrite = [](uint64_t, uint64_t, void* user) {
        Hook* h = static_cast<Hook*>(user);
        if (h->done) return;
        h->done = true;
        for (size_t i = 0; i < h->entries->size(); i++)
            WriteFileBytes((*h->entries)[i].sourcePath, MixedBytes(h->changes[i].read, 2));
    };
    ArchiveSettings settings;
    settings.password = u"pw";
    settings.level = 1;
    settings.jobs = 3;
    std::string archive = work.Native("out.exe");
    WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, archive, rewrite, &hook);
    ASSERT_TRUE(w.ok) << w.error;
    ReadBack rb = ReadArchiveBack(archive, settings, out.path());
    EXPECT_EQ(RESULT_END, rb.lastResult);
    for (const Change& c : changes)
        EXPECT_TRUE(ReadFileBytes(out.Native(c.name)) == MixedBytes(c.read, 2)) << c.name;
}

}  // namespace
