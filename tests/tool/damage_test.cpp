// lockbox test and list on damaged archives and with wrong passwords.
#include "payload/format.h"
#include "tool_fixture.h"

namespace {

// "f.txt" (shorter than a cipher block), no title: header (35, check at 17) | entry (56) | L (2) | name | data
class Damage : public ToolTest {
protected:
    size_t payload = 0;
    std::string archive;

    void SetUp() override {
        ToolTest::SetUp();
        WriteFileBytes(Path("f.txt"), std::string(5000, 'q') + "tail\n");
        ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "good.exe", "--title", "", "-p", PASSWORD, "f.txt"})).exitCode);
        archive = ReadFileBytes(Path("good.exe"));
        payload = PayloadOffset(archive);
        ASSERT_GT(archive.size(), payload + HDR_FIXED_SIZE + ENTRY_HEADER_SIZE + 2 + 5);
    }

    ToolRun TestWithFlip(size_t at) {
        std::string bad = archive;
        bad[at] ^= 0x40;
        WriteFileBytes(Path("bad.exe"), bad);
        return RunLockbox(dir, {"test", "bad.exe", "-p", PASSWORD});
    }
};

TEST_F(Damage, IntactArchivePasses) {
    EXPECT_CONTAINS(RunOk(dir, {"test", "good.exe", "-p", PASSWORD}), "OK");
}

TEST_F(Damage, FlippedBytesAreReportedWithTheEntry) {
    size_t entry = payload + HDR_FIXED_SIZE, name = entry + ENTRY_HEADER_SIZE + 2;
    struct Case {
        const char* label;
        size_t at;
        const char* expect;
    } cases[] = {
        {"check block", payload + HDR_TITLE, "wrong password"},
        {"name", name + 1, "entry 1"},
        {"data start", name + 5, "entry 1 'f.txt'"},
        {"data end", archive.size() - 2, "entry 1 'f.txt'"},
        {"stored size", entry + ENT_STORED_SIZE, "entry 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ExpectOneError(TestWithFlip(c.at), 1, c.expect);
    }
}

// `test` goes on past a damaged file (its stored size leads to the next) and names every damaged one.
TEST_F(Damage, TestReportsEveryDamagedFile) {
    MakeDirs({"five"});
    for (int i = 1; i <= 5; i++) WriteFileBytes(Path("five/f" + std::to_string(i) + ".txt"), std::string(2000 + i, 'a' + i));
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "five.exe", "--title", "", "-p", PASSWORD, "five"})).exitCode);
    std::string bytes = ReadFileBytes(Path("five.exe"));
    // Walk the entries by their headers: flip a data byte of f2 and f4.
    size_t at = PayloadOffset(bytes) + HDR_FIXED_SIZE;
    for (int entry = 0; entry <= 5; entry++) {
        size_t nameLength = (uint8_t)bytes[at + ENTRY_HEADER_SIZE] | (uint8_t)bytes[at + ENTRY_HEADER_SIZE + 1] << 8;
        size_t data = at + ENTRY_HEADER_SIZE + 2 + nameLength;
        uint32_t stored = entry == 0 ? 0 : Get32(bytes, at + ENT_STORED_SIZE);
        if (entry == 2 || entry == 4) bytes[data + stored / 2] ^= 0x10;
        at = data + stored;
    }
    ASSERT_EQ(bytes.size(), at);
    WriteFileBytes(Path("five.exe"), bytes);
    ToolRun r = RunLockbox(dir, {"test", "five.exe", "-p", PASSWORD});
    EXPECT_EQ(1, r.exitCode);
    std::vector<std::string> lines = ErrorLines(r.err);
    ASSERT_EQ(2u, lines.size()) << r.err;
    EXPECT_CONTAINS(lines[0], "entry 3 'five/f2.txt'");
    EXPECT_NE(std::string::npos, lines[1].find("entry 5 'five/f4.txt' (2 damaged entries;")) << lines[1];
}

TEST_F(Damage, WrongPasswordIsNamedByEveryCommand) {
    const std::vector<std::vector<std::string>> commands = {
        {"list", "good.exe", "-p", "not the password at all"},
        {"test", "good.exe", "-p", "not the password at all"},
        {"extract", "good.exe", "-p", "not the password at all", "-o", "out"},
        {"test", "good.exe", "--no-password"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0] + " " + args.back());
        ToolRun r = RunLockbox(dir, args);
        EXPECT_EQ(1, r.exitCode);
        EXPECT_EQ(0u, r.err.rfind("lockbox: wrong password", 0)) << r.err;
    }
    EXPECT_NE(0, access(Path("out/f.txt").c_str(), F_OK));
}

// Stray bytes behind the last entry read as a name length over 260: the message stays short.
TEST_F(Damage, OverlongNameLengthGivesABoundedMessage) {
    const std::vector<std::vector<std::string>> commands = {
        {"list", "bad.exe", "-p", PASSWORD},
        {"test", "bad.exe", "-p", PASSWORD},
        {"extract", "bad.exe", "-p", PASSWORD, "-o", "out", "-j", "1"},
        {"extract", "bad.exe", "-p", PASSWORD, "-o", "out", "-j", "4"},
    };
    for (uint16_t length : {261, 3000, 8000, 16000, 65535}) {
        const char lengthLE[] = {(char)(length & 0xFF), (char)(length >> 8)};
        WriteFileBytes(Path("bad.exe"), archive + std::string(ENTRY_HEADER_SIZE, '\0') + std::string(lengthLE, 2) +
                                            std::string(300, 'x'));
        for (const auto& args : commands) {
            SCOPED_TRACE(args[0] + " " + args.back() + ", length " + std::to_string(length));
            std::string line = ExpectOneError(RunLockbox(dir, args), 1, "damaged at entry 2");
            EXPECT_LT(line.size(), 200u) << line;
        }
    }
}

TEST_F(Damage, NotAnArchive) {
    ExpectOneError(RunLockbox(dir, {"list", "stub.exe", "-p", PASSWORD}), 1, "not a Lockbox archive");
}

// Reading a FIFO blocked every command forever; a directory is refused too.
TEST_F(Damage, NotARegularFileIsRefusedAtOnce) {
    ASSERT_EQ(0, mkfifo(Path("fifo.exe").c_str(), 0600));
    MakeDirs({"folder.exe"});
    const char* says[][2] = {{"fifo.exe", "not a regular file"}, {"folder.exe", "is a folder"}};
    for (auto& [archive, message] : says) {
        for (const char* command : {"list", "test", "extract"}) {
            SCOPED_TRACE(std::string(command) + " " + archive);
            int code = 0;
            std::string said = RunShellIn(dir, "{ timeout 10 " + TOOL + " " + command + " " + archive +
                                                   " -p pw </dev/null 2>&1; }", &code);
            EXPECT_EQ(1, code);
            EXPECT_CONTAINS(said, message);
        }
    }
}

}  // namespace
