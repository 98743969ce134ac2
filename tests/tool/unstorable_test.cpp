// create names every input it cannot store in one pass, and handles links as asked.
#include "support/sandbox.h"
#include "tool_fixture.h"

namespace {

// Everything that cannot be stored is named in one run that writes nothing; excluding exactly those
// paths, or --skip-unstorable, stores all the rest.
TEST_F(ToolTest, UnstorableInputsAreNamedInOnePass) {
    const std::string deep = "in/a/" + std::string(200, 'n'), tooLong = deep + "/" + std::string(55, 'm');
    MakeDirs({"in", "in/a", "in/b", "in/b/Docs", "in/b/docs", deep});
    for (std::string f : {"in/a/Read.txt", "in/a/read.txt", "in/b/Docs/x", "in/b/docs/y", "in/a/c:d.txt",
                          "in/ok.txt", "in/unreadable.txt", tooLong.c_str()})
        WriteFileBytes(Path(f), f);
    chmod(Path("in/unreadable.txt").c_str(), 0);
    // Root reads any file; in a user namespace of its own it reads only what others may.
    std::string prefix = geteuid() == 0 ? "unshare --user " : "";
    if (!prefix.empty() && !Succeeds("unshare --user true")) GTEST_SKIP() << "no user namespace for an unreadable file";
    chmod(dir.path().c_str(), 0777);
    auto create = [&](const std::string& options) {
        ToolRun r;
        r.err = RunShellIn(dir, "(" + prefix + TOOL + " create -q --stub stub.exe -p " + ShellQuote(PASSWORD) + " " +
                                    options + " in 2>&1 >/dev/null)", &r.exitCode);
        return r;
    };
    const std::vector<std::string> named = {"in/a/c:d.txt", tooLong, "in/a/read.txt", "in/b/docs", "in/unreadable.txt"};
    ExpectUnstorable(create("-o a.exe"), {"'in/a/c:d.txt': its name holds ':'", "is 261 bytes long",
                                          "differs only in case from 'Read.txt'", "differs only in case from 'Docs'",
                                          "'in/unreadable.txt': the file cannot be opened"});
    EXPECT_NE(0, access(Path("a.exe").c_str(), F_OK));
    std::string excludes;
    for (const std::string& n : named) excludes += " --exclude " + ShellQuote(n);
    ToolRun excluded = create("-o a.exe" + excludes), skipped = create("-o b.exe --skip-unstorable");
    EXPECT_EQ(0, excluded.exitCode) << excluded.err;
    EXPECT_EQ(0, skipped.exitCode) << skipped.err;
    for (const std::string& n : named) EXPECT_CONTAINS(skipped.err, "left out '" + n + "'");
    EXPECT_CONTAINS(skipped.err, "'in/a/Read.txt' is stored");
    sandbox::Tree expected = sandbox::Snapshot(Path("in"));
    for (auto it = expected.begin(); it != expected.end();) {
        bool gone = false;
        for (const std::string& n : named) gone |= (it->first + "/").rfind(n.substr(3) + "/", 0) == 0;
        it = gone ? expected.erase(it) : std::next(it);
    }
    for (const char* archive : {"a.exe", "b.exe"}) {
        RunOk(dir, {"extract", archive, "-p", PASSWORD, "-o", std::string("out-") + archive});
        EXPECT_TRUE(expected == sandbox::Snapshot(Path(std::string("out-") + archive + "/in"))) << archive;
    }
}

// Links are counted in the summary, not listed; -L stores what they point to and names the links that
// lead nowhere or round in a loop.
TEST_F(ToolTest, LinksAreCountedOrFollowed) {
    MakeDirs({"in", "in/d", "elsewhere", "elsewhere/sub"});
    WriteFileBytes(Path("elsewhere/f.txt"), "a file behind a link");
    WriteFileBytes(Path("elsewhere/sub/g.txt"), "a folder behind a link");
    for (int i = 0; i < 19; i++) ASSERT_EQ(0, symlink("../elsewhere/f.txt", Path("in/l" + std::to_string(i)).c_str()));
    ASSERT_EQ(0, symlink("../../elsewhere", Path("in/d/folder").c_str()));
    ToolRun plain = RunLockbox(dir, {"create", "--stub", "stub.exe", "-o", "a.exe", "-p", PASSWORD, "in"});
    EXPECT_EQ(0, plain.exitCode);
    EXPECT_EQ(std::string::npos, plain.err.find("link")) << plain.err;
    EXPECT_CONTAINS(plain.out, "(20 symbolic links not followed; --follow-links stores what they point to)");

    const std::pair<const char*, const char*> bad[] = {
        {"in/d/up", ".."}, {"in/dangling", "nowhere"}, {"in/loop1", "loop2"}, {"in/loop2", "loop1"}};
    for (const auto& link : bad) ASSERT_EQ(0, symlink(link.second, Path(link.first).c_str()));
    ExpectUnstorable(RunLockbox(dir, Create({"-L", "-o", "b.exe", "-p", PASSWORD, "in"})),
                     {"'in/d/up': it is a symbolic link to a folder that holds it", "'in/dangling': it is a broken",
                      "'in/loop1': it is a broken", "'in/loop2': it is a broken"});
    RunOk(dir, Create({"-L", "--skip-unstorable", "-o", "b.exe", "-p", PASSWORD, "in"}));
    RunOk(dir, {"extract", "b.exe", "-p", PASSWORD, "-o", "out"});
    EXPECT_EQ("a file behind a link", ReadFileBytes(Path("out/in/l18")));
    EXPECT_EQ("a folder behind a link", ReadFileBytes(Path("out/in/d/folder/sub/g.txt")));
    EXPECT_FALSE(FactsOf(Path("out/in/d/up")).exists);
}

}  // namespace
