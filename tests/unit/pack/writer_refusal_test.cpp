// What the writer refuses, and that a refusal leaves no file behind.
#include <gtest/gtest.h>

#include <functional>

#include "pack_test_util.h"

namespace {

struct RefusalCase {
    const char* label;
    std::function<void(ArchiveSettings*, std::vector<WriterEntry>*, std::vector<uint8_t>* stub)> change;
    const char* mentions;  // the error line must name this
};

TEST(WriterRefusalTest, RefusedBeforeWritingAndNothingLeftBehind) {
    const std::string missing = ScratchDir().Native("gone.bin");  // removed again at once
    const RefusalCase cases[] = {
        {"title over 260", [](ArchiveSettings* s, auto*, auto*) { s->title.assign(261, 't'); }, "title"},
        {"run-after over 260",
         [](ArchiveSettings* s, auto*, auto*) { s->runAfter.assign(261, 'r'); }, "run-after"},
        {"unsafe run-after", [](ArchiveSettings* s, auto*, auto*) { s->runAfter = "..\\evil.exe"; }, "evil"},
        {"name over 260", [](auto*, auto* e, auto*) { e->push_back(WriterFile(std::string(261, 'n'))); }, "261"},
        {"empty name", [](auto*, auto* e, auto*) { e->push_back(WriterFile("")); }, "entry 3"},
        {"parent reference", [](auto*, auto* e, auto*) { e->push_back(WriterFile("d\\..\\..\\up")); }, "up"},
        {"drive", [](auto*, auto* e, auto*) { e->push_back(WriterFile("c:x")); }, "c:x"},
        {"device name", [](auto*, auto* e, auto*) { e->push_back(WriterFile("Con.txt")); }, "device name"},
        {"leading separator", [](auto*, auto* e, auto*) { e->push_back(WriterFile("\\abs")); }, "abs"},
        {"slash separator up", [](auto*, auto* e, auto*) { e->push_back(WriterFile("d/../../x")); }, "d/../../x"},
        {"empty component", [](auto*, auto* e, auto*) { e->push_back(WriterFile("d\\\\x")); }, "component"},
        {"trailing separator", [](auto*, auto* e, auto*) { e->push_back(WriterDir("d\\sub\\")); }, "component"},
        {"NUL in name",
         [](auto*, auto* e, auto*) { e->push_back(WriterFile(std::string("a\0b", 3))); }, "NUL"},
        {"parent missing", [](auto*, auto* e, auto*) { e->push_back(WriterFile("nodir\\f")); }, "nodir"},
        {"parent listed later",
         [](auto*, auto* e, auto*) {
             e->push_back(WriterFile("late\\f"));
             e->push_back(WriterDir("late"));
         },
         "late"},
        {"parent is a file",
         [](auto*, auto* e, auto*) {
             e->push_back(WriterFile("plain"));
             e->push_back(WriterFile("plain\\f"));
         },
         "plain"},
        {"subdirectory without parent", [](auto*, auto* e, auto*) { e->push_back(WriterDir("a\\b")); }, "a\\b"},
        {"directory with data",
         [](auto*, auto* e, auto*) {
             e->push_back(WriterDir("full"));
             e->back().data = "x";
         },
         "full"},
        {"directory with source",
         [](auto*, auto* e, auto*) {
             e->push_back(WriterDir("src"));
             e->back().sourcePath = "whatever";
         },
         "src"},
        {"duplicate name", [](auto*, auto* e, auto*) { e->push_back(WriterFile("D\\F.TXT")); },
         "same on Windows as \"d\\f.txt\""},
        {"missing source",
         [&](auto*, auto* e, auto*) {
             e->push_back(WriterFile("m"));
             e->back().sourcePath = missing;
         },
         "gone.bin"},
        {"NUL in password",
         [](ArchiveSettings* s, auto*, auto*) { s->password = std::u16string(u"a\0b", 3); }, "password"},
        {"level 13", [](ArchiveSettings* s, auto*, auto*) { s->level = 13; }, "level"},
        {"stub of no PE kind (a ROM image)",
         [](auto*, auto*, std::vector<uint8_t>* stub) {
             PeShape shape;
             shape.magic = 0x107;
             *stub = MakePeImage(shape);
         },
         "stub"},
        {"stub cut short", [](auto*, auto*, std::vector<uint8_t>* stub) { stub->resize(stub->size() - 1); },
         "stub"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.label);
        ArchiveSettings settings;
        std::vector<WriterEntry> entries = {WriterDir("d"), WriterFile("d\\f.txt")};
        std::vector<uint8_t> stub = TwoSectionStub();
        c.change(&settings, &entries, &stub);
        for (int jobs : {1, 3}) {
            settings.jobs = jobs;
            ScratchDir work;
            WriteResult w = WriteArchive(stub, settings, entries, work.Native("out.exe"));
            EXPECT_FALSE(w.ok);
            EXPECT_NE(std::string::npos, w.error.find(c.mentions)) << w.error;
            EXPECT_EQ(std::string::npos, w.error.find('\n')) << w.error;
            EXPECT_TRUE(ListDir(work.path()).empty());
            std::vector<uint8_t> memory;
            EXPECT_FALSE(WriteArchiveToMemory(stub, settings, entries, &memory).ok);
        }
    }
}

// A failure leaves an existing output file as it was.
TEST(WriterRefusalTest, FailureKeepsTheOldOutput) {
    ScratchDir work;
    std::string archive = work.Native("out.exe");
    ASSERT_TRUE(WriteFileBytes(archive, "previous archive"));
    WriteResult w = WriteArchive(TwoSectionStub(), ArchiveSettings(), {WriterFile("a\\b")}, archive);
    EXPECT_FALSE(w.ok);
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

// Input that opens but cannot be read fails while writing; the error names
// the file, and neither the archive nor a spill file stays behind, also
// while other entries are being compressed.
TEST(WriterRefusalTest, UnreadableInputWhileWriting) {
    ScratchDir work, sources;
    std::string unreadable = sources.path();  // a directory: opens on POSIX, reads fail
    std::vector<WriterEntry> entries = {WriterFile("big", NoiseBytes(9u << 20, 1)), WriterFile("bad"), WriterFile("after", "z")};
    entries[1].sourcePath = unreadable;
    ArchiveSettings settings;
    settings.level = 1;
    settings.jobs = 3;
    WriteResult w = WriteArchive(TwoSectionStub(), settings, entries, work.Native("out.exe"));
    EXPECT_FALSE(w.ok);
    EXPECT_NE(std::string::npos, w.error.find(unreadable)) << w.error;
    EXPECT_TRUE(ListDir(work.path()).empty());
}

}  // namespace
