// The real stub in unattended mode: password and destination from the
// command line, the restored tree, and the exit code.
#include <gtest/gtest.h>

#include "pack/piece_stream.h"
#include "support/archive_builder.h"
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
    std::string Quote(const std::string& s) { return "\"" + s + "\""; }

    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
};

const std::vector<WriterEntry> SMALL_TREE = {
    DirEntry("d"),
    FileEntry("d\\a.txt", "alpha"),
    FileEntry("b.txt", "beta"),
};
const std::map<std::string, std::string> SMALL_TREE_ON_DISK = {
    {"d", "<dir>"}, {"d\\a.txt", "alpha"}, {"b.txt", "beta"}};

TEST_F(Unattended, RestoresContentAttributesAndTimes) {
    std::string big(400000, '\0');  // spans several IO_CHUNK pieces
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>((i * 7919) >> 5);
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

    EXPECT_EQ(RESULT_END, Run("pw " + Quote(out), scratch_.path()));

    // Times first: reading a file may move its last-access time.
    // Wine reports every file with the archive bit, so it tells nothing there.
    const DWORD CHECKED = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY |
                           (UnderWine() ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    for (const WriterEntry& e : entries) {
        Stamp s = StampOf(out + "\\" + e.name);
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, s.attributes) << e.name;
        EXPECT_EQ(e.attributes & CHECKED, s.attributes & CHECKED) << e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // later entries touch it
        EXPECT_EQ(e.lastWriteTime, s.lastWrite) << e.name;
        EXPECT_EQ(e.lastAccessTime, s.lastAccess) << e.name;
        // Wine keeps no settable creation time on Linux file systems.
        if (!UnderWine()) {
            EXPECT_EQ(e.creationTime, s.creation) << e.name;
        }
    }
    std::map<std::string, std::string> expected = {{"docs", "<dir>"},
                                                   {"docs\\a.txt", "alpha"},
                                                   {"docs\\ro.txt", "read only"},
                                                   {"hidden.bin", big},
                                                   {"empty.txt", ""}};
    EXPECT_TRUE(expected == ReadTree(out)) << "restored tree differs";
}

// Small files are compressed whole; those over WHOLE_FILE_LIMIT in pieces
// joined into one stream. Around both bounds the extractor restores them.
TEST_F(Unattended, FilesAroundThePieceAndWholeFileBounds) {
    const uint64_t sizes[] = {0, 1, PIECE_SIZE + 1, WHOLE_FILE_LIMIT, WHOLE_FILE_LIMIT + 1,
                              WHOLE_FILE_LIMIT + PIECE_SIZE};
    std::vector<WriterEntry> entries;
    std::map<std::string, std::string> expected;
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
    EXPECT_EQ(RESULT_END, Run("pw " + Quote(out), scratch_.path()));
    EXPECT_TRUE(expected == ReadTree(out)) << "restored tree differs";
}

TEST_F(Unattended, WrongPasswordCreatesNothing) {
    Make(SMALL_TREE);
    EXPECT_EQ(RESULT_BAD_PASSWORD, Run("PW " + Quote(scratch_ / "new\\"), scratch_.path()));
    EXPECT_FALSE(Exists(scratch_ / "new"));
}

// Which arguments name which destination. {S} stands for the scratch folder;
// the stub starts in {S}\cwd.
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

// A destination beyond MAX_PATH either works or fails with a result code;
// it neither crashes nor hangs the stub.
TEST_F(Unattended, DestinationLongerThanMaxPath) {
    Make(SMALL_TREE);
    std::string long1(120, 'd'), long2(150, 'e');
    std::string out = scratch_.path() + "\\" + long1 + "\\" + long2 + "\\";
    ASSERT_GT(out.size(), static_cast<size_t>(MAX_PATH));

    int result = Run("pw " + Quote(out), scratch_.path());
    RecordProperty("exit_code", result);
    EXPECT_TRUE(result == RESULT_END || result == RESULT_CANNOT_CREATE) << result;
    if (result == RESULT_END) {
        EXPECT_EQ("alpha", ReadFileBytes("\\\\?\\" + out + "d\\a.txt"));
    }
}

// Files whose final paths just fit MAX_PATH are restored: the temporary
// name beside each is no longer than the room there is.
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
        EXPECT_EQ(RESULT_END, Run("pw " + Quote(out), scratch_.path())) << name;
        EXPECT_EQ("x", ReadFileBytes(file)) << name;
    }
}

// A damaged entry ends the run with -4; the entries before it stay, no
// partial file of the damaged one is left, and the run-after file is still
// opened.
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

    EXPECT_EQ(RESULT_CORRUPT, Run("pw " + Quote(out), scratch_.path()));
    std::map<std::string, std::string> expected = {{"d", "<dir>"},
                                                   {"d\\go.cmd", MarkerScript(marker)}};
    EXPECT_TRUE(expected == ReadTree(out)) << "only the first two entries may be there";
    EXPECT_TRUE(WaitForFile(marker, WAIT_MS)) << "run-after file not opened";
}

// The destination holds "link", a link to a folder elsewhere: the entries
// below it are refused (-3), and nothing outside changes.
TEST_F(Unattended, NothingIsWrittenThroughALinkInTheDestination) {
    const std::string outside = scratch_ / "outside", out = scratch_ / "out";
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), NULL) && CreateDirectoryA(out.c_str(), NULL));
    WriteFileBytes(outside + "\\victim.txt", "mine");
    if (!MakeDirectoryLink(outside, out + "\\link"))
        GTEST_SKIP() << "this system does not let a test make directory links";
    Make({FileEntry("a.txt", "alpha"), DirEntry("link"), FileEntry("link\\victim.txt", "evil"),
          FileEntry("link\\planted.txt", "evil")});
    EXPECT_EQ(RESULT_CANNOT_CREATE, Run("pw " + Quote(out), scratch_.path()));
    std::map<std::string, std::string> expected = {{"victim.txt", "mine"}};
    EXPECT_TRUE(expected == ReadTree(outside));
    EXPECT_EQ("alpha", ReadFileBytes(out + "\\a.txt"));
}

// A device name is refused like ".." (-4), not opened: a file named NUL
// "existed" and the run waited for an overwrite answer forever.
TEST_F(Unattended, DeviceNamesAreRefused) {
    const std::string devices[] = {"NUL", "con.txt", "Com1 .log", "CONOUT$"};
    for (const std::string& device : devices) {
        SCOPED_TRACE(device);
        Make({FileEntry("a.txt", "alpha"), DirEntry(std::string(device.size(), 'x'))});
        ASSERT_TRUE(PatchLastDirectoryName(archive_, "pw", device));
        std::string out = scratch_ / ("out-" + std::to_string(&device - devices) + "\\");
        EXPECT_EQ(RESULT_CORRUPT, RunStub(archive_, "pw " + Quote(out), scratch_.path(), 20000));
        std::map<std::string, std::string> expected = {{"a.txt", "alpha"}};
        EXPECT_TRUE(expected == ReadTree(out));
    }
}

// Without a payload the stub exits with -4 at once: no message box waits
// for a click in unattended mode.
TEST_F(Unattended, NothingAppended) {
    std::string bare = scratch_ / "bare.exe";
    std::vector<uint8_t> stub = StubImage();
    ASSERT_FALSE(stub.empty());
    WriteFileBytes(bare, std::string(stub.begin(), stub.end()));
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
