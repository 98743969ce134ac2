// The real stub in unattended mode: password and destination from the
// command line, the restored tree, and the exit code.
#include <gtest/gtest.h>

#include "pack/piece_stream.h"
#include "support/dir_link.h"
#include "win/window_driver.h"

using namespace window_test;

namespace {

class Unattended : public ::testing::Test {
protected:
    void Make(const std::vector<WriterEntry>& entries, const ArchiveSettings& settings = Settings()) {
        ASSERT_EQ("", MakeArchive(settings, entries, archive_));
    }
    static ArchiveSettings Settings() { return BasicSettings("Test archive", "pw"); }
    int Run(const std::string& arguments, const std::string& directory) {
        return RunStub(archive_, arguments, directory);
    }
    // Runs with the right password into `out`, started in the scratch folder.
    int RunInto(const std::string& out, DWORD ms = WAIT_MS) {
        return RunStub(archive_, "pw " + Quote(out), scratch_.path(), ms);
    }
    std::string Quote(const std::string& s) { return "\"" + s + "\""; }

    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
};

const std::vector<WriterEntry> SMALL_TREE = {DirEntry("d"), FileEntry("d\\a.txt", "alpha"),
                                             FileEntry("b.txt", "beta")};
const Tree SMALL_TREE_ON_DISK = {{"d", "<dir>"}, {"d\\a.txt", "alpha"}, {"b.txt", "beta"}};

// A file with explicit attributes and three distinct times (2012, 2016, 2019).
WriterEntry TimedFile(const std::string& name, const std::string& data, uint32_t attributes) {
    WriterEntry e = WriterFile(name, data, attributes, 131000000000000000ull);
    e.creationTime = 130000000000000000ull;
    e.lastWriteTime = 132000000000000000ull;
    return e;
}

TEST_F(Unattended, RestoresContentAttributesAndTimes) {
    std::string big = MixedBytes(400000);  // spans several IO_CHUNK pieces
    std::vector<WriterEntry> entries = {
        DirEntry("docs"),
        TimedFile("docs\\a.txt", "alpha", FILE_ATTRIBUTE_ARCHIVE),
        TimedFile("docs\\ro.txt", "read only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
        TimedFile("hidden.bin", big, FILE_ATTRIBUTE_HIDDEN),
        TimedFile("empty.txt", "", FILE_ATTRIBUTE_ARCHIVE),
    };
    Make(entries);
    std::string out = scratch_ / "out";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL));

    EXPECT_EQ(RESULT_END, RunInto(out));

    // Times first: reading a file may move its last-access time.
    // Wine reports every file with the archive bit, so it tells nothing there.
    const DWORD CHECKED = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY |
                           (UnderWine() ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    for (const WriterEntry& e : entries) {
        const std::string path = out + "\\" + e.name;
        FileFacts facts = FactsOf(path);
        DWORD attributes = GetFileAttributesA(path.c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << e.name;
        EXPECT_EQ(e.attributes & CHECKED, attributes & CHECKED) << e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // later entries touch it
        EXPECT_EQ(e.lastWriteTime, facts.lastWrite) << e.name;
        EXPECT_EQ(e.lastAccessTime, facts.lastAccess) << e.name;
        // Wine keeps no settable creation time on Linux file systems.
        if (!UnderWine()) {
            EXPECT_EQ(e.creationTime, facts.creation) << e.name;
        }
    }
    Tree expected = {{"docs", "<dir>"}, {"docs\\a.txt", "alpha"}, {"docs\\ro.txt", "read only"},
                     {"hidden.bin", big}, {"empty.txt", ""}};
    EXPECT_TRUE(expected == ReadTree(out)) << "restored tree differs";
}

// Files around the piece size and WHOLE_FILE_LIMIT (above it: pieces joined into one stream).
TEST_F(Unattended, FilesAroundThePieceAndWholeFileBounds) {
    const uint64_t sizes[] = {0, 1, PIECE_SIZE + 1, WHOLE_FILE_LIMIT, WHOLE_FILE_LIMIT + 1,
                              WHOLE_FILE_LIMIT + PIECE_SIZE};
    std::vector<WriterEntry> entries;
    Tree expected;
    for (uint64_t size : sizes) {
        std::string name = "f" + std::to_string(size);
        entries.push_back(FileEntry(name, MixedBytes(size, (uint32_t)size)));
        expected[name] = entries.back().data;
    }
    ArchiveSettings settings = Settings();
    settings.jobs = 3;
    Make(entries, settings);
    std::string out = scratch_ / "out";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL));
    EXPECT_EQ(RESULT_END, RunInto(out));
    EXPECT_TRUE(expected == ReadTree(out)) << "restored tree differs";
}

TEST_F(Unattended, WrongPasswordCreatesNothing) {
    Make(SMALL_TREE);
    EXPECT_EQ(RESULT_BAD_PASSWORD, Run("PW " + Quote(scratch_ / "new\\"), scratch_.path()));
    EXPECT_FALSE(Exists(scratch_ / "new"));
}

// Which arguments name which destination; {S} is the scratch folder, the stub starts in {S}\cwd.
struct DestinationCase {
    const char* what;
    std::string arguments;
    int result;
    const char* restoredIn;   // relative to the scratch folder; null: nowhere
    const char* notCreated;   // relative path that must not exist afterwards
};

const DestinationCase DESTINATIONS[] = {
    {"one argument: the working directory", "pw", RESULT_END, "cwd", nullptr},
    {"empty destination: the working directory", "pw \"\"", RESULT_END, "cwd", nullptr},
    {"three arguments: the working directory", "pw \"{S}\\x\\\" third", RESULT_END, "cwd", "x"},
    {"130 arguments: the working directory", "pw" + [] {
         std::string s;
         for (int i = 0; i < 129; i++) s += " \"{S}\\y\\\"";
         return s;
     }(), RESULT_END, "cwd", "y"},
    {"dot", "pw .", RESULT_END, "cwd", nullptr},
    {"trailing backslash creates it with its ancestors", "pw \"{S}\\a b\\c\\new\\\"", RESULT_END,
     "a b\\c\\new", nullptr},
    {"no trailing backslash: the last level is not created", "pw \"{S}\\p\\new\"",
     RESULT_CANNOT_CREATE, nullptr, "p\\new"},
    {"tab-separated arguments", "pw\t\"{S}\\t\\\"", RESULT_END, "t", nullptr},
};

TEST_F(Unattended, DestinationFromTheCommandLine) {
    Make(SMALL_TREE);
    for (const DestinationCase& c : DESTINATIONS) {
        SCOPED_TRACE(c.what);
        RootScratchDir folder;
        std::string cwd = folder / "cwd";
        ASSERT_TRUE(CreateDirectoryA(cwd.c_str(), NULL));
        std::string arguments = c.arguments;
        for (size_t at; (at = arguments.find("{S}")) != std::string::npos;)
            arguments.replace(at, 3, folder.path());

        EXPECT_EQ(c.result, Run(arguments, cwd));
        std::string restoredIn = c.restoredIn != nullptr ? c.restoredIn : "";
        if (!restoredIn.empty()) {
            EXPECT_TRUE(SMALL_TREE_ON_DISK == ReadTree(folder / restoredIn));
        }
        if (c.notCreated != nullptr) {
            EXPECT_FALSE(Exists(folder / c.notCreated));
        }
        if (restoredIn != "cwd") {
            EXPECT_TRUE(ReadTree(cwd).empty());
        }
    }
}

// A destination beyond MAX_PATH works or fails with a result code; no crash, no hang.
TEST_F(Unattended, DestinationLongerThanMaxPath) {
    Make(SMALL_TREE);
    std::string out = scratch_.path() + "\\" + std::string(120, 'd') + "\\" + std::string(150, 'e') + "\\";
    ASSERT_GT(out.size(), static_cast<size_t>(MAX_PATH));

    int result = RunInto(out);
    RecordProperty("exit_code", result);
    EXPECT_TRUE(result == RESULT_END || result == RESULT_CANNOT_CREATE) << result;
    if (result == RESULT_END) {
        EXPECT_EQ("alpha", ReadFileBytes("\\\\?\\" + out + "d\\a.txt"));
    }
}

// Files whose paths just fit MAX_PATH are restored: the temporary name beside each fits too.
TEST_F(Unattended, FilesWhosePathsJustFitMaxPath) {
    for (std::string name : {"f", "long.txt"}) {
        Make({FileEntry(name, "x")});
        std::string out = scratch_ / name.substr(0, 1);
        ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL));
        size_t room = MAX_PATH - 1 - name.size() - 1 - out.size();  // for two folders and their '\\'s
        for (size_t part : {room / 2 - 1, room - room / 2 - 1}) {
            out += "\\" + std::string(part, 'd');
            ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL)) << out.size();
        }
        std::string file = out + "\\" + name;
        ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), file.size());
        EXPECT_EQ(RESULT_END, RunInto(out)) << name;
        EXPECT_EQ("x", ReadFileBytes(file)) << name;
    }
}

// A damaged entry ends the run with -4; the entries before it stay, nothing of it is
// left, and the run-after file is still opened.
TEST_F(Unattended, DamagedThirdEntry) {
    std::string marker = scratch_ / "ran.txt";
    std::string data(50000, 'z');
    ArchiveSettings settings = Settings();
    settings.runAfter = "d\\go.cmd";
    Make({DirEntry("d"), FileEntry("d\\go.cmd", MarkerScript(marker)), FileEntry("d\\big.bin", data)},
         settings);
    std::string bytes = ReadFileBytes(archive_);
    bytes.back() ^= 0x01;  // inside the last entry's Adler-32 trailer
    WriteFileBytes(archive_, bytes);
    std::string out = scratch_ / "out\\";

    EXPECT_EQ(RESULT_CORRUPT, RunInto(out));
    EXPECT_TRUE(Tree({{"d", "<dir>"}, {"d\\go.cmd", MarkerScript(marker)}}) == ReadTree(out))
        << "only the first two entries may be there";
    EXPECT_TRUE(WaitForFile(marker, WAIT_MS)) << "run-after file not opened";
}

// Entries below "link", a link in the destination to a folder elsewhere, are refused (-3).
TEST_F(Unattended, NothingIsWrittenThroughALinkInTheDestination) {
    const std::string outside = scratch_ / "outside", out = scratch_ / "out";
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), NULL) && CreateDirectoryA(out.c_str(), NULL));
    WriteFileBytes(outside + "\\victim.txt", "mine");
    if (!MakeDirectoryLink(outside, out + "\\link"))
        GTEST_SKIP() << "this system does not let a test make directory links";
    Make({FileEntry("a.txt", "alpha"), DirEntry("link"), FileEntry("link\\victim.txt", "evil"),
          FileEntry("link\\planted.txt", "evil")});
    EXPECT_EQ(RESULT_CANNOT_CREATE, RunInto(out));
    EXPECT_TRUE(Tree({{"victim.txt", "mine"}}) == ReadTree(outside));
    EXPECT_EQ("alpha", ReadFileBytes(out + "\\a.txt"));
}

// A device name is refused like ".." (-4), not opened (NUL would "exist" and ask forever).
TEST_F(Unattended, DeviceNamesAreRefused) {
    const std::string devices[] = {"NUL", "con.txt", "Com1 .log", "CONOUT$"};
    for (const std::string& device : devices) {
        SCOPED_TRACE(device);
        Make({FileEntry("a.txt", "alpha"), DirEntry(std::string(device.size(), 'x'))});
        ASSERT_TRUE(PatchLastDirectoryName(archive_, "pw", device));
        std::string out = scratch_ / ("out-" + std::to_string(&device - devices) + "\\");
        EXPECT_EQ(RESULT_CORRUPT, RunInto(out, 20000));
        EXPECT_TRUE(Tree({{"a.txt", "alpha"}}) == ReadTree(out));
    }
}

// Without a payload the stub exits with -4 at once: no message box waits for a click.
TEST_F(Unattended, NothingAppended) {
    std::string bare = scratch_ / "bare.exe";
    ASSERT_FALSE(StubImage().empty());
    WriteFileBytes(bare, StubImage());
    EXPECT_EQ(RESULT_CORRUPT, RunStub(bare, "pw", scratch_.path(), 10000));
    EXPECT_EQ(RESULT_CORRUPT, RunStub(bare, "\"\" .", scratch_.path(), 10000));
}

TEST_F(Unattended, CommandLineThatCannotBeSplit) {
    Make(SMALL_TREE);
    // The program path opens a quote that never closes: -5, nothing read.
    EXPECT_EQ(RESULT_NO_MEMORY, RunStub(archive_, StubProcess::WholeLine{"\"" + archive_ + " pw ."}, scratch_.path()));
    EXPECT_FALSE(Exists(scratch_ / "d"));
}

}  // namespace
