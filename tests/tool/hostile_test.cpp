// lockbox extract against destinations and archives made to trick it.
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include "tool_fixture.h"

namespace {

// The destination holds "link", a symbolic link to a folder elsewhere, and
// the archive writes below that name: nothing may change outside, with one
// worker or several, and the error names the entry and the link.
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
        EXPECT_EQ(1, r.exitCode);
        std::vector<std::string> lines = ErrorLines(r.err);
        ASSERT_EQ(1u, lines.size()) << r.err;
        EXPECT_CONTAINS(lines[0], "'in\\link'");
        EXPECT_CONTAINS(lines[0], "symbolic link");
        EXPECT_EQ("mine", ReadFileBytes(Path(outside + "/victim.txt")));
        EXPECT_NE(0, access(Path(outside + "/planted.txt").c_str(), F_OK));
        struct stat st;
        ASSERT_EQ(0, stat(Path(outside).c_str(), &st));
        EXPECT_EQ(1500000000, st.st_mtime);
    }
}

// "create -o X X" replaced its only input with an empty archive, exit 0.
TEST_F(ToolTest, CreateRefusesAnOutputThatIsAnInput) {
    WriteFileBytes(Path("precious.txt"), "only copy");
    ASSERT_EQ(0, symlink("precious.txt", Path("alias.txt").c_str()));
    for (const char* output : {"precious.txt", "alias.txt"}) {
        SCOPED_TRACE(output);
        ToolRun r = RunLockbox(dir, Create({"-o", output, "-p", PASSWORD, "precious.txt"}));
        EXPECT_EQ(2, r.exitCode);
        EXPECT_CONTAINS(r.err, "also the input");
        EXPECT_EQ("only copy", ReadFileBytes(Path("precious.txt")));
    }
}

// On Linux a backslash is part of a name: 'other\place' went to
// other/place, and '..\..' two levels up.
TEST_F(ToolTest, ExtractTakesTheDestinationAsWritten) {
    WriteFileBytes(Path("a.txt"), "alpha");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "a.txt"})).exitCode);
    for (const std::string destination : {"other\\place", "..\\.."}) {
        SCOPED_TRACE(destination);
        ToolRun r = RunLockbox(dir, {"extract", "a.exe", "-p", PASSWORD, "-o", destination});
        EXPECT_EQ(0, r.exitCode) << r.err;
        EXPECT_EQ("alpha", ReadFileBytes(dir.path() + "/" + destination + "/a.txt"));
    }
    EXPECT_NE(0, access(Path("other").c_str(), F_OK));
    EXPECT_NE(0, access((dir.path() + "/../../a.txt").c_str(), F_OK));
}

// Inputs that used to abort late or with a misleading message.
TEST_F(ToolTest, CreateJudgesAwkwardInputsEarlyAndClearly) {
    MakeDirs({"in"});
    WriteFileBytes(Path("in/a.txt"), "alpha");
    WriteFileBytes(Path("secret.txt"), "outside");
    // No link inside the tree is followed, dangling or not, to a file or a
    // folder; each is named, and the summary counts them.
    ASSERT_EQ(0, symlink("nowhere", Path("in/dangling").c_str()));
    ASSERT_EQ(0, symlink(Path("secret.txt").c_str(), Path("in/file-link").c_str()));
    ASSERT_EQ(0, symlink(dir.path().c_str(), Path("in/dir-link").c_str()));
    ToolRun r = RunLockbox(dir, {"create", "-o", "a.exe", "--stub", "stub.exe", "-p", PASSWORD, "in"});
    EXPECT_EQ(0, r.exitCode) << r.err;
    for (const char* link : {"dangling", "file-link", "dir-link"}) EXPECT_NE(std::string::npos, r.err.find(link));
    EXPECT_CONTAINS(r.out, "3 links and special files skipped");
    EXPECT_EQ(std::string::npos, RunLockbox(dir, {"list", "a.exe", "-p", PASSWORD}).out.find("link"));
    // A directory as the output is refused before anything is read.
    MakeDirs({"outdir"});
    r = RunLockbox(dir, Create({"-o", "outdir", "-p", PASSWORD, "in"}));
    EXPECT_EQ(2, r.exitCode);
    EXPECT_CONTAINS(r.err, "is a directory");
    // A backslash in a Linux name is named as what is wrong.
    WriteFileBytes(dir.path() + "/in/back\\slash.txt", "x");
    r = RunLockbox(dir, Create({"-o", "b.exe", "-p", PASSWORD, "in"}));
    EXPECT_EQ(1, r.exitCode);
    EXPECT_CONTAINS(r.err, "folder separator");
    std::remove((dir.path() + "/in/back\\slash.txt").c_str());
    // Names that Windows takes for one are refused with both named.
    WriteFileBytes(Path("in/\xC3\x84.txt"), "upper");  // Ä.txt
    WriteFileBytes(Path("in/\xC3\xA4.txt"), "lower");  // ä.txt
    r = RunLockbox(dir, Create({"-o", "c.exe", "-p", PASSWORD, "in"}));
    EXPECT_EQ(1, r.exitCode);
    EXPECT_CONTAINS(r.err, "'\xC3\x84.txt' and '\xC3\xA4.txt'");
}

// Starts `lockbox args...` in `dir`, waits until a file whose name holds
// `marker` appears in `watch`, sends `signal`, and returns the wait status.
int InterruptWhenSeen(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& watch,
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
    return seen ? status : -1;
}

// Ctrl-C or SIGTERM left OUT.exe.tmpN and ~lbXXXX.tmp files behind.
TEST_F(ToolTest, InterruptedRunsLeaveNoTemporaryFiles) {
    MakeDirs({"in"});
    RunShell("head -c 200000000 /dev/urandom > " + ShellQuote(Path("in/big.bin")));
    int status = InterruptWhenSeen(dir, Create({"-o", "a.exe", "-p", PASSWORD, "-j", "1", "in"}), dir.path(),
                                   "a.exe.", SIGTERM);
    ASSERT_NE(-1, status) << "no temporary file appeared";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(std::string::npos, RunShell("ls -a " + ShellQuote(dir.path())).find("a.exe")) << "left behind";

    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "-l", "0", "in"})).exitCode);
    MakeDirs({"out"});
    status = InterruptWhenSeen(dir, {"extract", "a.exe", "-p", PASSWORD, "-o", "out", "-j", "1"},
                               Path("out/in"), ".tmp", SIGINT);
    ASSERT_NE(-1, status) << "no temporary file appeared";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_EQ(std::string::npos, RunShell("ls -a " + ShellQuote(Path("out/in"))).find(".tmp")) << "left behind";
}

// A full disk was reported as "cannot create"; it is named as the cause,
// and nothing half-written stays. The small disk is a tmpfs mounted in a
// private user and mount namespace.
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
    EXPECT_CONTAINS(out, "no space left on the disk of 'small/out' while writing 'in\\big.bin'");
    EXPECT_CONTAINS(out, "extract=1");
    for (const char* leftover : {"b.exe", "~lb", ".spill", "big.bin"})
        EXPECT_EQ(std::string::npos, out.find(leftover, out.find("extract="))) << out;
}

// With -j 64 under a low open-file limit, extract failed half-way with
// "cannot create 'f0000.txt'"; it now runs as many jobs as the limit allows.
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

// Code page 1252 leaves 0x81 and 0x8D undefined, so stored names "d\x81"
// and "d\x8d" (850's "d\ü" and "d\ì", read as 1252) both become "d/<U+FFFD>".
// With four jobs the second was written over the first while the first was
// still in flight, and the summary said no existing file was kept.
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

// What a folder holds: names, and the contents of the files in it.
std::map<std::string, std::string> FolderContents(const std::string& path) {
    std::map<std::string, std::string> contents;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(path, ec))
        contents[e.path().filename()] = ReadFileBytes(e.path());
    return contents;
}

// A local user who can write into the destination exchanges dest/sub with
// a link to a folder elsewhere, again and again, while files are restored
// under sub: files, folders and temporary files appeared there, and an
// existing file was replaced even with --overwrite never. A run may fail
// (and says why); nothing outside may change. Runs in memory where there
// is a tmpfs: on a disk, creating a file costs more than the swap.
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
                const std::map<std::string, std::string> before = FolderContents(outside);
                mkdir((shm / "dest").c_str(), 0755);
                mkdir(sub.c_str(), 0755);
                ASSERT_EQ(0, symlink(outside.c_str(), swap.c_str()));
                // The link stays for a moment only, so that most swaps fall
                // between the tool's steps instead of stopping it at once.
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
                if (r.exitCode != 0) {
                    EXPECT_EQ(1, r.exitCode);
                    EXPECT_EQ(1u, ErrorLines(r.err).size()) << r.err;
                }
                struct stat st;
                if ((before != FolderContents(outside) || stat(outside.c_str(), &st) != 0 ||
                     st.st_mtime != 1500000000) &&
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
