// lockbox extract against destinations and archives made to trick it.
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>

#include <atomic>
#include <thread>

#include "support/sandbox.h"
#include "tool_fixture.h"

namespace {

// Nothing is written through a link in the destination, at any job count; the error names the link.
TEST_F(ToolTest, ExtractWritesNothingThroughALinkInTheDestination) {
    MakeDirs({"in", "in/link"});
    WriteFileBytes(Path("in/link/planted.txt"), "evil");
    WriteFileBytes(Path("in/link/victim.txt"), "evil");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "in"})).exitCode);
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("-j ") + jobs);
        const std::string outside = std::string("outside") + jobs, out = std::string("out") + jobs;
        MakeDirs({outside, out, out + "/in"});
        WriteFileBytes(Path(outside + "/victim.txt"), "mine");
        SetTimes(Path(outside), 1500000000, 0);
        ASSERT_EQ(0, symlink(Path(outside).c_str(), Path(out + "/in/link").c_str()));

        ToolRun r = RunLockbox(dir, {"extract", "a.exe", "-p", PASSWORD, "-o", out, "--overwrite",
                                     "always", "-j", jobs});
        EXPECT_CONTAINS(ExpectOneError(r, 1, "'in/link'"), "symbolic link");
        EXPECT_EQ("mine", ReadFileBytes(Path(outside + "/victim.txt")));
        EXPECT_NE(0, access(Path(outside + "/planted.txt").c_str(), F_OK));
        EXPECT_EQ(FiletimeOf(1500000000), FactsOf(Path(outside)).lastWrite);
    }
}

// "create -o X X" is refused and keeps X, also through a link.
TEST_F(ToolTest, CreateRefusesAnOutputThatIsAnInput) {
    WriteFileBytes(Path("precious.txt"), "only copy");
    ASSERT_EQ(0, symlink("precious.txt", Path("alias.txt").c_str()));
    for (const char* output : {"precious.txt", "alias.txt"}) {
        SCOPED_TRACE(output);
        ExpectOneError(RunLockbox(dir, Create({"-o", output, "-p", PASSWORD, "precious.txt"})), 2, "also the input");
        EXPECT_EQ("only copy", ReadFileBytes(Path("precious.txt")));
    }
}

// On Linux a backslash is part of a name: 'other\place' went to other/place, '..\..' two levels up.
TEST_F(ToolTest, ExtractTakesTheDestinationAsWritten) {
    WriteFileBytes(Path("a.txt"), "alpha");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "a.txt"})).exitCode);
    for (const std::string destination : {"other\\place", "..\\.."}) {
        SCOPED_TRACE(destination);
        RunOk(dir, {"extract", "a.exe", "-p", PASSWORD, "-o", destination});
        EXPECT_EQ("alpha", ReadFileBytes(dir.path() + "/" + destination + "/a.txt"));
    }
    EXPECT_NE(0, access(Path("other").c_str(), F_OK));
    EXPECT_NE(0, access((dir.path() + "/../../a.txt").c_str(), F_OK));
}

// Awkward inputs are judged early, and what is wrong is named.
TEST_F(ToolTest, CreateJudgesAwkwardInputsEarlyAndClearly) {
    MakeDirs({"in"});
    WriteFileBytes(Path("in/a.txt"), "alpha");
    WriteFileBytes(Path("secret.txt"), "outside");
    // No link inside the tree is followed, dangling or not; the summary counts them, -v names each.
    ASSERT_EQ(0, symlink("nowhere", Path("in/dangling").c_str()));
    ASSERT_EQ(0, symlink(Path("secret.txt").c_str(), Path("in/file-link").c_str()));
    ASSERT_EQ(0, symlink(dir.path().c_str(), Path("in/dir-link").c_str()));
    ToolRun r = RunLockbox(dir, {"create", "-v", "-o", "a.exe", "--stub", "stub.exe", "-p", PASSWORD, "in"});
    EXPECT_EQ(0, r.exitCode) << r.err;
    for (const char* link : {"dangling", "file-link", "dir-link"}) EXPECT_CONTAINS(r.err, "not followed: 'in/" + std::string(link));
    EXPECT_CONTAINS(r.out, "3 symbolic links not followed; --follow-links stores what they point to");
    EXPECT_EQ(std::string::npos, RunLockbox(dir, {"list", "a.exe", "-p", PASSWORD}).out.find("link"));
    // A directory as the output is refused before anything is read.
    MakeDirs({"outdir"});
    ExpectOneError(RunLockbox(dir, Create({"-o", "outdir", "-p", PASSWORD, "in"})), 2, "is a folder");
    // A backslash in a Linux name is named as what is wrong.
    WriteFileBytes(dir.path() + "/in/back\\slash.txt", "x");
    ExpectUnstorable(RunLockbox(dir, Create({"-o", "b.exe", "-p", PASSWORD, "in"})), {"folder separator"});
    std::remove((dir.path() + "/in/back\\slash.txt").c_str());
    // Names that Windows takes for one are refused with both named.
    WriteFileBytes(Path("in/\xC3\x84.txt"), "upper");  // Ä.txt
    WriteFileBytes(Path("in/\xC3\xA4.txt"), "lower");  // ä.txt
    ExpectUnstorable(RunLockbox(dir, Create({"-o", "c.exe", "-p", PASSWORD, "in"})),
                     {"'in/\xC3\xA4.txt': its name differs only in case from '\xC3\x84.txt'"});
}

// Starts `lockbox args...` in `dir`, sends `signal` once a name in `watch` holds `marker`, and
// expects the tool to end by it.
void ExpectInterrupted(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& watch,
                      const std::string& marker, int signal) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        std::vector<char*> argv = {const_cast<char*>(LOCKBOX_TOOL)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "r", stdin);
        execv(LOCKBOX_TOOL, argv.data());
        _exit(127);
    }
    bool seen = false;
    for (int i = 0; i < 60000 && !seen; i++) {
        seen = RunShell("ls -a " + ShellQuote(watch)).find(marker) != std::string::npos;
        if (!seen) usleep(500);
    }
    if (seen) {
        usleep(20000);  // past the moment between creating the file and listing it
        kill(pid, signal);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(seen) << "no temporary file appeared";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
}

// Ctrl-C or SIGTERM leaves no OUT.exe.tmpN or ~lbXXXX.tmp behind.
TEST_F(ToolTest, InterruptedRunsLeaveNoTemporaryFiles) {
    MakeDirs({"in"});
    RunShell("head -c 200000000 /dev/urandom > " + ShellQuote(Path("in/big.bin")));
    ExpectInterrupted(dir, Create({"-o", "a.exe", "-p", PASSWORD, "-j", "1", "in"}), dir.path(), "a.exe.", SIGTERM);
    EXPECT_EQ(std::string::npos, RunShell("ls -a " + ShellQuote(dir.path())).find("a.exe")) << "left behind";

    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "-l", "0", "in"})).exitCode);
    MakeDirs({"out"});
    ExpectInterrupted(dir, {"extract", "a.exe", "-p", PASSWORD, "-o", "out", "-j", "1"}, Path("out/in"), ".tmp",
                      SIGINT);
    EXPECT_EQ(std::string::npos, RunShell("ls -a " + ShellQuote(Path("out/in"))).find(".tmp")) << "left behind";
}

// A full disk (a tmpfs in a private mount namespace) is named as the cause; nothing half-written stays.
TEST_F(ToolTest, FullDiskIsNamedAsTheCause) {
    MakeDirs({"in"});
    RunShell("head -c 3000000 /dev/urandom > " + ShellQuote(Path("in/big.bin")));
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "in"})).exitCode);
    MakeDirs({"small"});
    const std::string tool = TOOL, pw = ShellQuote(PASSWORD);
    std::string script = "mount -t tmpfs -o size=1m tmpfs small || exit 99; " + tool +
                         " create -q --stub stub.exe -o small/b.exe -p " + pw + " in 2>&1; echo create=$?; " +
                         tool + " extract -q a.exe -o small/out -p " + pw + " 2>&1; echo extract=$?; ls -A small small/out/in";
    int status = 0;
    std::string out = RunShellIn(dir, "unshare --user --map-root-user --mount sh -c " + ShellQuote(script), &status);
    if (out.find("create=") == std::string::npos) GTEST_SKIP() << "no private tmpfs here: " << out;
    EXPECT_CONTAINS(out, "no space left on the disk of 'small/b.exe'");
    EXPECT_CONTAINS(out, "create=1");
    EXPECT_CONTAINS(out, "no space left on the disk of 'small/out' while writing 'in/big.bin'");
    EXPECT_CONTAINS(out, "extract=1");
    for (const char* leftover : {"b.exe", "~lb", ".spill", "big.bin"})
        EXPECT_EQ(std::string::npos, out.find(leftover, out.find("extract="))) << out;
}

// With -j 64 under a low open-file limit, extract runs as many jobs as the limit allows.
TEST_F(ToolTest, ManyJobsUnderALowOpenFileLimit) {
    MakeDirs({"in"});
    RunShell("cd " + ShellQuote(Path("in")) + " && for i in $(seq 1000 1400); do echo $i > f$i.txt; done");
    const std::string tool = TOOL, pw = ShellQuote(PASSWORD);
    std::string out = RunShellIn(dir, "ulimit -n 64 && " + tool +
                               " create -q --stub stub.exe -j 64 -o a.exe -p " + pw + " in 2>&1; echo create=$?; " +
                               tool + " extract -q -j 64 a.exe -o out -p " + pw + " 2>&1; echo extract=$?");
    EXPECT_CONTAINS(out, "create=0");
    EXPECT_CONTAINS(out, "extract=0");
    EXPECT_CONTAINS(out, "open files");
    EXPECT_EQ("401\n", RunShell("ls " + ShellQuote(Path("out/in")) + " | wc -l"));
    EXPECT_EQ("1400\n", ReadFileBytes(Path("out/in/f1400.txt")));
}

// 850's "d\ü" and "d\ì" both read as "d/<U+FFFD>" in 1252: the first is kept, at any job count.
TEST_F(ToolTest, NamesThatMeetInOnePathAreExtractedAsOneAtAnyJobCount) {
    MakeDirs({"d"});
    WriteFileBytes(Path("d/\xC3\xBC"), "u-umlaut");
    WriteFileBytes(Path("d/\xC3\xAC"), "i-grave");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "--no-password", "--codepage", "850", "d"})).exitCode);
    std::string first;
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("-j ") + jobs);
        ToolRun r = RunLockbox(dir, {"extract", "a.exe", "--no-password", "--codepage", "1252", "-o", "out",
                                     "--overwrite", "never", "-j", jobs});
        EXPECT_EQ(0, r.exitCode) << r.err;
        EXPECT_CONTAINS(r.out, "1 file and 1 folder restored in 'out', 1 existing file kept");
        std::string kept = ReadFileBytes(Path("out/d/\xEF\xBF\xBD"));
        if (first.empty()) first = kept;
        EXPECT_EQ(first, kept);
        RunShell("rm -rf " + ShellQuote(Path("out")));
    }
    EXPECT_TRUE(first == "u-umlaut" || first == "i-grave") << first;
}

// dest/sub keeps being swapped for a link elsewhere during extract: nothing outside changes (in a
// tmpfs where there is one, so that creating a file costs less than the swap).
TEST_F(ToolTest, ExtractWritesNothingElsewhereWhileAFolderIsSwappedForALink) {
    MakeDirs({"sub"});
    for (int i = 0; i < 300; i++) WriteFileBytes(Path("sub/f" + std::to_string(i)), "archived");
    for (int i = 0; i < 5; i++) mkdir(Path("sub/z" + std::to_string(i)).c_str(), 0755);
    // Few key rounds: the key is derived again in every run.
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "--key-rounds", "1000", "sub"})).exitCode);
    ScratchDir shm(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : dir.path());
    ASSERT_FALSE(shm.path().empty());
    const std::string outside = shm / "outside", sub = shm / "dest/sub", swap = shm / "dest/swap";
    int runs = 0, escapes = 0;
    std::string firstEscape;
    for (bool filesOutside : {false, true}) {
        for (const char* jobs : {"1", "4"}) {
            for (int round = 0; round < 10; round++) {
                RunShell("rm -rf " + ShellQuote(shm / "dest") + " " + ShellQuote(outside));
                mkdir(outside.c_str(), 0755);
                for (int i = 0; filesOutside && i < 300; i += 3)
                    WriteFileBytes(outside + "/f" + std::to_string(i), "mine");
                SetTimes(outside, 1500000000, 0);
                const sandbox::Tree before = sandbox::Snapshot(outside);
                mkdir((shm / "dest").c_str(), 0755);
                mkdir(sub.c_str(), 0755);
                ASSERT_EQ(0, symlink(outside.c_str(), swap.c_str()));
                // The link stays a moment only: most swaps fall between the tool's steps.
                std::atomic<bool> stop{false}, exchanged{true};
                std::thread swapper([&] {
                    while (!stop) {
                        if (renameat2(AT_FDCWD, sub.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE) != 0) {
                            exchanged = false;
                            return;
                        }
                        renameat2(AT_FDCWD, sub.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
                        usleep(300);
                    }
                });
                ToolRun r = RunLockbox(shm, {"extract", Path("a.exe"), "-p", PASSWORD, "-o", "dest", "--overwrite",
                                             filesOutside ? "never" : "always", "-j", jobs});
                stop = true;
                swapper.join();
                if (!exchanged) GTEST_SKIP() << "no RENAME_EXCHANGE on this file system";
                runs++;
                if (r.exitCode != 0) ExpectOneError(r, 1, "");
                if ((before != sandbox::Snapshot(outside) || FactsOf(outside).lastWrite != FiletimeOf(1500000000)) &&
                    escapes++ == 0)
                    firstEscape = std::string("-j ") + jobs + (filesOutside ? ", files outside: " : ": ") +
                                  RunShell("ls -A " + ShellQuote(outside) + " | head -3");
            }
        }
    }
    EXPECT_EQ(0, escapes) << escapes << " of " << runs << " runs changed the folder outside, first with "
                          << firstEscape;
}

}  // namespace
