// Refusals: one line "lockbox: ...", the right exit code, no output file.
#include <algorithm>

#include "tool_fixture.h"

namespace {

// A run of the tool and how it must end: its exit code and a part of its message.
struct RunCase {
    Args args;
    int exitCode;
    const char* says;
};

TEST_F(ToolTest, CreateRefusalsLeaveNoOutput) {
    MakeInputTree();
    WriteFileBytes(Path("notabmp.bmp"), "hello, not a bitmap");
    WriteFileBytes(Path("notastub.exe"), "MZ but nothing else");
    WriteFileBytes(Path("empty.txt"), "");
    WriteFileBytes(Path("blank.txt"), "\r\nsecond line is not read\n");
    const std::string pw = PASSWORD;
    // Each after "create -q -o out.exe" (and "--stub stub.exe" unless given).
    const RunCase cases[] = {
        {{"-p", pw, "nope"}, 1, "nope"},  // missing input
        {{"-p", pw, "--run-after", "in/zzz.txt", "in"}, 2, "--run-after"},  // run-after not stored
        {{"-p", pw, "--run-after", "in/sub", "in"}, 2, "--run-after"},  // run-after names a directory
        {{"-p", pw, "--title", std::string(261, 't'), "in"}, 2, "--title"},  // title over 260
        {{"-p", pw, "--run-after", std::string(261, 'r'), "in"}, 2, "--run-after"},  // run-after over 260
        {{"in"}, 2, "not a terminal"},  // no password source
        {{"-p", pw, "--no-password", "in"}, 2, "exclude"},  // two password sources
        {{"--password-file", "nofile", "in"}, 1, "nofile"},  // missing password file
        // An empty password from a file would make an archive anyone opens.
        {{"--password-file", "empty.txt", "in"}, 1, "empty password"},  // empty password file
        {{"--password-file", "blank.txt", "in"}, 1, "empty password"},  // blank first line
        {{"--password-file", "/dev/null", "in"}, 1, "empty password"},  // password from nothing
        {{"-p", pw, "--stub", "nostub.exe", "in"}, 1, "nostub.exe"},  // missing stub
        {{"-p", pw, "--stub", "notastub.exe", "--background", "in/a.txt", "in"}, 1, ""},  // stub not a PE
        {{"-p", pw, "--background", "notabmp.bmp", "in"}, 1, "notabmp.bmp"},  // background not a bitmap
        {{"-p", pw, "--icon", "notabmp.bmp", "in"}, 1, "notabmp.bmp"},  // icon not an icon
        {{"-p", pw, "--layout", "middle", "in"}, 2, "layout"},  // bad layout
        {{"-p", pw, "-l", "13", "in"}, 2, "level"},  // bad level
        {{"-p", pw, "--codepage", "65001", "in"}, 2, "1252, 1250"},  // unknown code page
        {{"-p", pw, "--codepage", "932", "in"}, 2, "double-byte"},  // double-byte code page
        {{"-p", pw, "--frobnicate", "in"}, 2, "frobnicate"},  // unknown option
        {{"-p", pw, "--file-version", "1.70000", "in"}, 2, "--file-version"},  // bad file version
        {{"-p", pw, "--sign-cert", "in/a.txt", "in"}, 2, "--sign-key"},  // certificate without key
        {{"-p", pw, "--sign-pkcs12", "a.p12", "--sign-cert", "c", "--sign-key", "k", "in"}, 2, "--sign-pkcs12"},
        {{"-p", pw, "--sign-timestamp", "http://ts", "in"}, 2, "certificate"},  // timestamp without signing
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        bool ownStub = std::find(c.args.begin(), c.args.end(), "--stub") != c.args.end();
        Args args = Args{"create", "-q", "-o", "out.exe"} + (ownStub ? Args() : Args{"--stub", "stub.exe"}) + c.args;
        ExpectOneError(RunLockbox(dir, args), c.exitCode, c.says);
        EXPECT_NE(0, access(Path("out.exe").c_str(), F_OK)) << "output left behind";
    }
}

TEST_F(ToolTest, FailedCreateKeepsAnEarlierArchive) {
    MakeInputTree();
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "out.exe", "-p", PASSWORD, "in/a.txt"})).exitCode);
    std::string earlier = ReadFileBytes(Path("out.exe"));
    EXPECT_EQ(1, RunLockbox(dir, Create({"-o", "out.exe", "-p", PASSWORD, "in", "missing"})).exitCode);
    EXPECT_EQ(earlier, ReadFileBytes(Path("out.exe")));
}

// Each failure says what is really wrong.
TEST_F(ToolTest, MessagesNameTheRealCause) {
    MakeInputTree();
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "in"})).exitCode);
    MakeDirs({"blocked", "blocked/in"});
    WriteFileBytes(Path("blocked/in/sub"), "a file where the archive has a folder");
    const RunCase cases[] = {
        {Create({"-o", "nowhere/a.exe", "-p", PASSWORD, "in"}), 1, "the folder 'nowhere' of the output does not exist"},
        {{"list", "missing.exe", "-p", PASSWORD}, 1, "No such file or directory"},
        {{"extract", "a.exe", "-p", PASSWORD, "-o", "blocked"}, 1, "'in/sub' in 'blocked' is a file where the archive has a folder"},
    };
    for (const RunCase& c : cases) ExpectOneError(RunLockbox(dir, c.args), c.exitCode, c.says);
}

// Escape sequences in the names of inputs and outputs reach no warning, error or summary raw.
TEST_F(ToolTest, HostileNamesReachNoOutputRaw) {
    const std::string hostile = "\xC3\x84 esc\x1B[31m bel\x07 osc\x1B]0;owned\x07 del\x7F";
    const std::string shown = "esc?[31m bel? osc?]0;owned? del?";
    MakeDirs({"in"});
    WriteFileBytes(Path("in/a.txt"), "stored");
    ASSERT_EQ(0, symlink("nowhere", Path("in/link " + hostile).c_str()));
    const std::string output = "out\x1B[2J.exe";
    std::vector<ToolRun> runs = {RunLockbox(dir, {"create", "-v", "-o", output, "--stub", "stub.exe", "-p", PASSWORD, "in"})};
    ASSERT_EQ(0, runs[0].exitCode) << runs[0].err;
    EXPECT_CONTAINS(runs[0].err, "'in/link \xC3\x84 " + shown + "'");
    EXPECT_EQ(0u, runs[0].out.find("out?[2J.exe: 1 file")) << runs[0].out;
    runs.push_back(RunLockbox(dir, {"list", output, "-p", PASSWORD}));
    EXPECT_CONTAINS(runs.back().out, "archive:     out?[2J.exe\n");
    runs.push_back(RunLockbox(dir, {"list", output, "-p", PASSWORD, "--json"}));
    // The file itself, then one named with U+009B, which code page 1252 cannot store.
    for (const std::string& name : {hostile, std::string("c1 \xC2\x9B" "31m")}) {
        WriteFileBytes(Path("in/" + name), "x");
        runs.push_back(RunLockbox(dir, Create({"-o", "b.exe", "-p", PASSWORD, "in"})));
    }
    EXPECT_EQ(1, runs.back().exitCode);
    EXPECT_CONTAINS(runs.back().err, "'in/c1 ?31m': its name cannot be written");
    for (const ToolRun& r : runs) EXPECT_FALSE(HoldsControls(r.out + r.err)) << r.out << r.err;
}

// Only an archive is replaced without --force; the title defaults to the archive's name.
TEST_F(ToolTest, OutputIsReplacedOnlyWhenItIsAnArchiveOrForced) {
    MakeInputTree();
    WriteFileBytes(Path("notes.txt"), "my notes");
    ExpectOneError(RunLockbox(dir, Create({"-o", "notes.txt", "-p", PASSWORD, "in"})), 2, "not a Lockbox archive");
    EXPECT_EQ("my notes", ReadFileBytes(Path("notes.txt")));
    ToolRun forced = RunLockbox(dir, Create({"-o", "notes.txt", "--force", "-p", PASSWORD, "in"}));
    EXPECT_EQ(0, forced.exitCode) << forced.err;
    EXPECT_CONTAINS(forced.err, "does not end in .exe");
    for (int round = 0; round < 2; round++)  // made, then made again over itself
        ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "Report 2026.exe", "-p", PASSWORD, "in"})).exitCode);
    EXPECT_NE(std::string::npos, RunLockbox(dir, {"list", "Report 2026.exe", "-p", PASSWORD}).out.find("title:       Report 2026\n"));
}

TEST_F(ToolTest, NoStubBuiltInAndNoneGiven) {
    MakeInputTree();
    ToolRun r = RunLockbox(dir, {"create", "-o", "out.exe", "-p", PASSWORD, "in"});
    if (r.exitCode == 0) GTEST_SKIP() << "this lockbox has a stub built in";
    EXPECT_EQ(1, r.exitCode);
    EXPECT_CONTAINS(r.err, "--stub");
    EXPECT_NE(0, access(Path("out.exe").c_str(), F_OK));
}

TEST_F(ToolTest, HelpVersionAndUsage) {
    const RunCase cases[] = {
        {{"--help"}, 0, "create"},
        {{"create", "--help"}, 0, "--run-after"},
        {{"extract", "--help"}, 0, "--overwrite"},
        {{"--version"}, 0, "lockbox"},
        {{}, 2, "no command given"},
        {{"frob"}, 2, "'frob' is not a lockbox command"},
        {{"crate"}, 2, "did you mean 'create'?"},
        {{"help"}, 0, "extract"},
        {{"help", "extract"}, 0, "Usage: lockbox extract"},
        {{"help", "frob"}, 2, "'frob' is not a lockbox command"},
        {{"list"}, 2, "see 'lockbox list --help'"},
        {{"create", "-o", "x.exe", "--open-folder=sideways", "in"}, 2, "normal, maximized or minimized"},
        {{"create", "--help"}, 0, "--layout WHERE"},  // no parser syntax in the help
    };
    for (const RunCase& c : cases) {
        ToolRun r = RunLockbox(dir, c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << r.err;
        EXPECT_NE(std::string::npos, (r.out + r.err).find(c.says)) << r.out << r.err;
        // Help shows plain words, not the parser's notation.
        for (const char* syntax : {":{", "INT in [", "{1}"}) EXPECT_EQ(std::string::npos, r.out.find(syntax)) << r.out;
    }
}

TEST_F(ToolTest, WeakPasswordsDrawWarningsNotRefusals) {
    MakeInputTree();
    ToolRun r = RunLockbox(dir, Create({"-o", "w.exe", "-p", "sh\xC3\xB6rt", "in"}));
    EXPECT_EQ(0, r.exitCode);
    EXPECT_CONTAINS(r.err, "shorter than 8");
    EXPECT_EQ(std::string::npos, r.err.find("code page")) << r.err;  // 1252 holds the letter
    EXPECT_EQ(0, RunLockbox(dir, {"test", "w.exe", "-p", "sh\xC3\xB6rt"}).exitCode);
    // A letter outside the archive's code page may not be typed the same way there.
    EXPECT_CONTAINS(RunLockbox(dir, Create({"-o", "w.exe", "-f", "-p", "\xC5\x82odz-2026-pass", "in"})).err,
                    "code page 1252 cannot represent");
    // A stretched key buys a few characters; the plain chain does not, nor do few rounds.
    struct {
        std::vector<std::string> key;
        bool warned;
    } cases[] = {{{}, false}, {{"--key-stretch", "none"}, true}, {{"--key-rounds", "1000"}, true}};
    for (const auto& c : cases) {
        ToolRun ten = RunLockbox(dir, Create(Args{"-o", "ten.exe", "-f", "-p", "ten chars!", "in"} + c.key));
        EXPECT_EQ(0, ten.exitCode);
        EXPECT_EQ(c.warned, ten.err.find("shorter than 12") != std::string::npos) << ten.err;
    }
}

}  // namespace

namespace {

// Hints name the stored file or option meant, errors carry the system's reason, and a path after
// --open-folder stays a path.
TEST_F(ToolTest, HintsAndReasonsNameTheRealThing) {
    MakeInputTree();
    const RunCase cases[] = {
        {Create({"-o", "x.exe", "--no-password", "--run-after", "A.TXT", "in"}), 2, "did you mean 'in/a.txt'?"},
        {Create({"-o", "x.exe", "--no-password", "--run-after", "zzz", "in"}), 2, "e.g. 'in/a.txt'"},
        {Create({"-o", "x.exe", "--pasword-file", "pw", "in"}), 2, "unknown option '--pasword-file' (did you mean '--password-file'?)"},
        {Create({"-o", "x.exe", "--no-password", "--background", "/nonexistent.bmp", "in"}), 1,
         "cannot open '/nonexistent.bmp': No such file or directory"},
        {Create({"-o", "x.exe", "--no-password", "-l", "13", "in"}), 2, "--level takes a whole number from 0 to 12, not '13'"},
        {{"list", "missing.exe"}, 1, "No such file or directory"},
        {Create({"-o", "x.exe", "--no-password", "--open-folder", "in"}), 0, ""},
    };
    for (const RunCase& c : cases) {
        ToolRun r = RunLockbox(dir, c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << r.err;
        EXPECT_CONTAINS(r.out + r.err, c.says);
    }
    const std::string listed = RunOk(dir, {"list", "x.exe"});
    EXPECT_CONTAINS(listed, "open folder: yes, in a normal window");
    EXPECT_CONTAINS(listed, "  in/a.txt\n");

    // A destination the user may not write to: the system says why.
    std::string prefix = geteuid() == 0 ? "unshare --user " : "";
    if (!prefix.empty() && !Succeeds("unshare --user true")) GTEST_SKIP() << "no user namespace to lose root's rights";
    MakeDirs({"locked"});
    chmod(dir.path().c_str(), 0777);
    chmod(Path("locked").c_str(), 0555);
    for (std::string run : {"extract -q x.exe -o locked", "extract -q x.exe -o locked/deeper",
                            "create -q --stub stub.exe --no-password -o locked/y.exe in"}) {
        int code = 0;
        std::string said = RunShellIn(dir, "(" + prefix + TOOL + " " + run + " 2>&1)", &code);
        EXPECT_EQ(1, code) << said;
        EXPECT_CONTAINS(said, "Permission denied");
    }
}

}  // namespace
