// What the writer refuses, and that a refusal leaves no file behind.
#include <gtest/gtest.h>

#include <functional>

#include "pack_test_util.h"

namespace {

WriterEntry Sourced(WriterEntry e, const std::string& source) {
    e.sourcePath = source;
    return e;
}

struct RefusalCase {
    const char* label;
    const char* mentions;                  // the error line must name this
    std::vector<WriterEntry> added;        // entries behind "d" and "d\\f.txt"
    std::function<void(ArchiveSettings*)> change = nullptr;
    std::vector<uint8_t> stub = TwoSectionStub();
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }

std::vector<RefusalCase> RefusalCases() {
    const std::string missing = ScratchDir().Native("gone.bin");  // removed again at once
    PeShape rom;
    rom.magic = 0x107;
    std::vector<uint8_t> cutStub = TwoSectionStub();
    cutStub.pop_back();
    return {
        {"title over 260", "title", {}, [](ArchiveSettings* s) { s->title.assign(261, 't'); }},
        {"run-after over 260", "run-after", {}, [](ArchiveSettings* s) { s->runAfter.assign(261, 'r'); }},
        {"unsafe run-after", "evil", {}, [](ArchiveSettings* s) { s->runAfter = "..\\evil.exe"; }},
        {"name over 260", "261", {WriterFile(std::string(261, 'n'))}},
        {"empty name", "entry 3", {WriterFile("")}},
        {"parent reference", "up", {WriterFile("d\\..\\..\\up")}},
        {"drive", "c:x", {WriterFile("c:x")}},
        {"device name", "device name", {WriterFile("Con.txt")}},
        {"leading separator", "abs", {WriterFile("\\abs")}},
        {"slash separator up", "d/../../x", {WriterFile("d/../../x")}},
        {"empty component", "component", {WriterFile("d\\\\x")}},
        {"trailing separator", "component", {WriterDir("d\\sub\\")}},
        {"NUL in name", "NUL", {WriterFile(std::string("a\0b", 3))}},
        {"parent missing", "nodir", {WriterFile("nodir\\f")}},
        {"parent listed later", "late", {WriterFile("late\\f"), WriterDir("late")}},
        {"parent is a file", "plain", {WriterFile("plain"), WriterFile("plain\\f")}},
        {"subdirectory without parent", "a\\b", {WriterDir("a\\b")}},
        {"directory with data", "full", {WriterFile("full", "x", ATTR_DIRECTORY)}},
        {"directory with source", "src", {Sourced(WriterDir("src"), "whatever")}},
        {"duplicate name", "same on Windows as \"d\\f.txt\"", {WriterFile("D\\F.TXT")}},
        {"missing source", "gone.bin", {Sourced(WriterFile("m"), missing)}},
        {"NUL in password", "password", {}, [](ArchiveSettings* s) { s->password = std::u16string(u"a\0b", 3); }},
        {"level 13", "level", {}, [](ArchiveSettings* s) { s->level = 13; }},
        {"stub of no PE kind (a ROM image)", "stub", {}, nullptr, MakePeImage(rom)},
        {"stub cut short", "stub", {}, nullptr, cutStub},
    };
}

class WriterRefusal : public ::testing::TestWithParam<RefusalCase> {};
TEST_P(WriterRefusal, RefusedBeforeWritingAndNothingLeftBehind) {
    const RefusalCase& c = GetParam();
    ArchiveSettings settings;
    std::vector<WriterEntry> entries = {WriterDir("d"), WriterFile("d\\f.txt")};
    entries.insert(entries.end(), c.added.begin(), c.added.end());
    if (c.change) c.change(&settings);
    for (int jobs : {1, 3}) {
        settings.jobs = jobs;
        ScratchDir work;
        WriteResult w = WriteArchive(c.stub, settings, entries, work.Native("out.exe"));
        EXPECT_FALSE(w.ok);
        EXPECT_NE(std::string::npos, w.error.find(c.mentions)) << w.error;
        EXPECT_EQ(std::string::npos, w.error.find('\n')) << w.error;
        EXPECT_TRUE(ListDir(work.path()).empty());
        std::vector<uint8_t> memory;
        EXPECT_FALSE(WriteArchiveToMemory(c.stub, settings, entries, &memory).ok);
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, WriterRefusal, ::testing::ValuesIn(RefusalCases()));

// A failure leaves an existing output file as it was.
TEST(WriterRefusalTest, FailureKeepsTheOldOutput) {
    ScratchDir work;
    std::string archive = work.Native("out.exe");
    ASSERT_TRUE(WriteFileBytes(archive, "previous archive"));
    EXPECT_FALSE(WriteArchive(TwoSectionStub(), ArchiveSettings(), {WriterFile("a\\b")}, archive).ok);
    EXPECT_EQ("previous archive", ReadFileBytes(archive));
    EXPECT_EQ(std::vector<std::string>{"out.exe"}, ListDir(work.path()));
}

TEST(WriterRefusalTest, MissingOutputDirectory) {
    ScratchDir work;
    std::string archive = work.Native("no\\such\\out.exe");
    WriteResult w = WriteArchive(TwoSectionStub(), ArchiveSettings(), {WriterFile("a")}, archive);
    EXPECT_FALSE(w.ok);
    EXPECT_NE(std::string::npos, w.error.find("out.exe")) << w.error;
}

// Input that opens but cannot be read fails while writing, named, leaving no archive and no spill file.
TEST(WriterRefusalTest, UnreadableInputWhileWriting) {
    ScratchDir work, sources;
    std::string unreadable = sources.path();  // a directory: opens on POSIX, reads fail
    std::vector<WriterEntry> entries = {WriterFile("big", NoiseBytes(9u << 20, 1)),
                                        Sourced(WriterFile("bad"), unreadable), WriterFile("after", "z")};
    ArchiveSettings settings;
    settings.level = 1;
    settings.jobs = 3;
    WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, work.Native("out.exe"));
    EXPECT_FALSE(w.ok);
    EXPECT_NE(std::string::npos, w.error.find(unreadable)) << w.error;
    EXPECT_TRUE(ListDir(work.path()).empty());
}

}  // namespace
