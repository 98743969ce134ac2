// Archives restored with data inflated on worker threads: the tree, the order of reports and the stop
// at a damaged entry are those of extracting one entry after the other.
#include <gtest/gtest.h>

#include "extract/parallel_extract.h"
#include "unit/pack/pack_test_util.h"

namespace {

struct Restore {
    ExtractOutcome outcome;
    std::vector<std::string> reported;  // names in the order they were reported
};

Restore ExtractWithJobs(const std::string& archive, const char16_t* password,
                        const std::string& destination, int jobs, OverwriteQuestion ask = nullptr) {
    Restore r;
    OwnedReader reader;
    reader.askOverwrite = ask;
    ExtractRun run;
    if (ReadArchiveHeaderFrom(&reader, archive.c_str()) != RESULT_OK ||
        !CheckPassword(&run.key, password, reader.passwordCheckBlock)) {
        r.outcome.result = RESULT_BAD_PASSWORD;
        return r;
    }
    DeriveStreamKey(&run.key, password);
    run.reader = &reader;
    run.archivePath = archive.c_str();
    run.destination = destination.c_str();
    run.jobs = jobs;
    run.restored = [&](const EntryInfo& e) { r.reported.push_back(e.name); };
    r.outcome = ExtractAll(run);
    return r;
}

// Everything under `dir`, relative, with '\' separators; temporary files too.
std::vector<std::string> TreeOf(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        std::string name = std::filesystem::relative(e.path(), dir).string();
        std::replace(name.begin(), name.end(), '/', '\\');
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ParallelExtract : public ::testing::TestWithParam<int> {};

TEST_P(ParallelExtract, RandomTreesComeBackWholeAndParentsAreReportedFirst) {
    for (uint32_t seed : {11u, 12u, 13u}) {
        SCOPED_TRACE(seed);
        ScratchDir sources, work, out;
        std::vector<WriterEntry> entries = RandomTree(seed, sources);
        ArchiveSettings settings;
        settings.password = u"parallel";
        std::string archive = work.Native("a.exe");
        ASSERT_TRUE(WriteArchive(TwoSectionStub(), settings, entries, archive).ok);

        Restore r = ExtractWithJobs(archive, KeyPasswordOf(settings), out.path(), GetParam());
        EXPECT_EQ(RESULT_END, r.outcome.result);
        EXPECT_EQ(0, r.outcome.entry.nameLength) << "the end is no entry";
        ASSERT_EQ(entries.size(), r.reported.size());
        for (size_t i = 0; i < r.reported.size(); i++) {
            size_t slash = r.reported[i].rfind('\\');
            if (slash == std::string::npos) continue;
            std::string parent = r.reported[i].substr(0, slash);
            auto before = r.reported.begin() + i;
            EXPECT_NE(before, std::find(r.reported.begin(), before, parent))
                << r.reported[i] << " came before its directory";
        }
        for (const WriterEntry& e : entries) {
            SCOPED_TRACE(e.name);
            if (e.attributes & ATTR_DIRECTORY) continue;
            EXPECT_TRUE(ReadFileBytes(out.Native(e.name)) == e.data);
            EXPECT_EQ(e.lastWriteTime, FactsOf(out.Native(e.name)).lastWrite);
        }
        EXPECT_EQ(entries.size(), TreeOf(out.path()).size()) << "stray files in the destination";
    }
}

// Ten entries, some larger than a piece, the eighth a directory (made at once, not by a worker, yet
// after the files before it); `damage` changes entry `at` (0-based).
std::vector<TestEntry> TenFiles() {
    std::vector<TestEntry> entries;
    for (int i = 0; i < 10; i++)
        entries.push_back(i == 7 ? TestDir("f7")
                                 : TestFile("f" + std::to_string(i), i % 3 ? MixedBytes(1000 + 97 * i, i)
                                                                           : NoiseBytes(2 * IO_CHUNK + 100 * i, i)));
    return entries;
}

struct DamageCase {
    const char* label;
    int at;                                  // entry that fails (0-based)
    int result;
    void (*damage)(TestEntry* e);
};

const DamageCase DAMAGE[] = {
    {"flipped data byte", 4, RESULT_CORRUPT, [](TestEntry* e) { e->flipByte = 40; }},
    {"bytes behind the stream", 6, RESULT_CORRUPT, [](TestEntry* e) { e->trailing = {1, 2, 3}; }},
    {"data cut at the end of the file", 9, RESULT_CORRUPT, [](TestEntry* e) { e->storedSize = 1 << 20; }},
    {"name leaving the destination", 3, RESULT_CORRUPT, [](TestEntry* e) { e->name = "..\\evil"; }},
    {"file where a directory must go", 5, RESULT_CANNOT_CREATE, [](TestEntry* e) { e->name = "f1\\inside"; }},
};

TEST_P(ParallelExtract, TheFirstDamagedEntryStopsTheRunWithEverythingBeforeItInPlace) {
    for (const DamageCase& c : DAMAGE) {
        SCOPED_TRACE(c.label);
        ScratchDir work, out;
        TestHeader header;
        std::vector<TestEntry> entries = TenFiles();
        c.damage(&entries[c.at]);
        std::string archive = work.Native("a.exe");
        ASSERT_TRUE(WriteFileBytes(archive, BuildArchive(header, entries)));

        Restore r = ExtractWithJobs(archive, KeyOf(header.password), out.path(), GetParam());
        EXPECT_EQ(c.result, r.outcome.result);
        EXPECT_EQ(c.at + 1, r.outcome.index);
        std::vector<std::string> expected;
        for (int i = 0; i < c.at; i++) {
            expected.push_back(entries[i].name);
            if (entries[i].attributes & ATTR_DIRECTORY) continue;
            EXPECT_TRUE(ReadFileBytes(out.Native(entries[i].name)) == entries[i].data) << entries[i].name;
        }
        EXPECT_EQ(expected, r.reported);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, TreeOf(out.path())) << "later entries or temporary files were left";
    }
}

int g_Questions;
int KeepAndCount(void*, const char*) {
    g_Questions++;
    return 0;
}

// A crafted archive's second copy of a name does not slip past the overwrite question.
TEST_P(ParallelExtract, ANameRepeatedInTheArchiveIsAskedAbout) {
    ScratchDir work, out;
    TestHeader header;
    std::vector<TestEntry> entries = TenFiles();
    entries[8].name = entries[2].name;
    std::string archive = work.Native("a.exe");
    ASSERT_TRUE(WriteFileBytes(archive, BuildArchive(header, entries)));

    g_Questions = 0;
    Restore r = ExtractWithJobs(archive, KeyOf(header.password), out.path(), GetParam(), KeepAndCount);
    EXPECT_EQ(RESULT_END, r.outcome.result);
    EXPECT_EQ(1, g_Questions);
    EXPECT_TRUE(ReadFileBytes(out.Native(entries[2].name)) == entries[2].data);
}

INSTANTIATE_TEST_SUITE_P(Jobs, ParallelExtract, ::testing::Values(1, 2, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return "j" + std::to_string(p.param); });

}  // namespace
