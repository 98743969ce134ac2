// What goes in (create --exclude, --files-from) and what comes out (names given to list, test, extract).
#include <chrono>

#include "tool_fixture.h"

namespace {

class Selection : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        MakeDirs({"p", "p/.git", "p/docs", "p/docs/old", "p/secrets"});
        for (const char* f : {"p/.git/HEAD", "p/a.tmp", "p/b.txt", "p/docs/r.txt", "p/docs/old/o.txt",
                              "p/secrets/key", "p/B.TMP"})
            WriteFileBytes(Path(f), f);
    }
    // The names `lockbox list` shows, one per entry.
    std::string Names(const std::vector<std::string>& args) {
        std::string out = RunOk(dir, args), names;
        for (size_t at = out.find("\n", out.find("name\n")) + 1; at < out.size();) {
            size_t end = out.find('\n', at);
            std::string row = out.substr(at, end - at);
            if (row.empty()) break;
            names += row.substr(row.rfind("  ") + 2) + " ";
            at = end + 1;
        }
        return names;
    }
};

TEST_F(Selection, ExcludeAndFilesFromChooseWhatGoesIn) {
    WriteFileBytes(Path("list.txt"), "p/docs\r\n\np/b.txt\n");
    struct Case {
        std::vector<std::string> options;
        std::string stdinText;
        const char* names;
        const char* summary;
    } cases[] = {
        {{"--exclude", ".git", "--exclude", "*.tmp", "--exclude", "secrets/*", "p"}, "",
         "p p/b.txt p/docs p/docs/old p/docs/old/o.txt p/docs/r.txt p/secrets ", "(4 files and folders excluded)"},
        // Listed paths keep their folders; a listed file in a listed folder is stored once.
        {{"--exclude", "docs", "--files-from", "list.txt"}, "", "p p/b.txt ", "(1 file or folder excluded)"},
        {{"--files-from", "-"}, "p/docs/old\n./p/docs/old/o.txt\np/b.txt\n", "p p/docs p/docs/old p/docs/old/o.txt p/b.txt ",
         "2 files, 3 folders"},
        {{"--files-from", "-"}, "q/one/readme.txt\nq/two/readme.txt\n", "q q/one q/one/readme.txt q/two q/two/readme.txt ",
         "2 files, 3 folders"},
    };
    MakeDirs({"q", "q/one", "q/two"});
    for (const char* f : {"q/one/readme.txt", "q/two/readme.txt"}) WriteFileBytes(Path(f), f);
    for (const Case& c : cases) {
        ToolRun made = RunLockbox(dir, Args{"create", "-o", "in.exe", "-p", PASSWORD} + c.options, c.stdinText);
        ASSERT_EQ(0, made.exitCode) << made.err;
        EXPECT_CONTAINS(made.out, c.summary);
        EXPECT_EQ(c.names, Names({"list", "in.exe", "-p", PASSWORD}));
    }
    EXPECT_EQ(2, RunLockbox(dir, {"create", "-o", "none.exe", "-p", PASSWORD, "--exclude", "p", "p"}).exitCode);
}

TEST_F(Selection, NamesChooseWhatComesOut) {
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "all.exe", "-p", PASSWORD, "p"})).exitCode);
    struct Case {
        std::vector<std::string> names;
        const char* listed;
    } cases[] = {
        {{"p/docs/old"}, "p p/docs p/docs/old p/docs/old/o.txt "},
        {{"*.tmp"}, "p p/B.TMP p/a.tmp "},
        {{"r.txt", "p/secrets/"}, "p p/docs p/docs/r.txt p/secrets p/secrets/key "},
        // '?' stays within one component; a pattern of four components matches a run of four.
        {{"?e?"}, "p p/secrets p/secrets/key "},
        {{"*/*/*/*"}, "p p/docs p/docs/old p/docs/old/o.txt "},
        {{"D?CS/*/o.*"}, "p p/docs p/docs/old p/docs/old/o.txt "},
    };
    for (const Case& c : cases) {
        Args args = Args{"list", "all.exe", "-p", PASSWORD} + c.names;
        EXPECT_EQ(c.listed, Names(args));
        args[0] = "test";
        EXPECT_EQ(0, RunLockbox(dir, args).exitCode);
    }
    ASSERT_EQ(0, RunLockbox(dir, {"extract", "all.exe", "-p", PASSWORD, "-o", "out", "p/docs/old", "b.txt"}).exitCode);
    EXPECT_EQ("p/docs/old/o.txt", ReadFileBytes(Path("out/p/docs/old/o.txt")));
    EXPECT_EQ("p/b.txt", ReadFileBytes(Path("out/p/b.txt")));
    EXPECT_NE(0, access(Path("out/p/docs/r.txt").c_str(), F_OK));
    EXPECT_NE(0, access(Path("out/p/secrets").c_str(), F_OK));
    ToolRun none = RunLockbox(dir, {"extract", "all.exe", "-p", PASSWORD, "-o", "out2", "nothing*"});
    EXPECT_EQ(1, none.exitCode);
    EXPECT_CONTAINS(none.err, "no entry of 'all.exe' matches 'nothing*'");
    // Names that choose nothing ('*' does not cross a separator) fail the run after the others are restored.
    ToolRun some = RunLockbox(dir, {"extract", "all.exe", "-p", PASSWORD, "-o", "out3", "p*.txt", "?e?", "out3/"});
    EXPECT_CONTAINS(ExpectOneError(some, 1, "matches 'p*.txt', 'out3/'"), "to extract into 'out3/', give it with -o");
    EXPECT_EQ("p/secrets/key", ReadFileBytes(Path("out3/p/secrets/key")));
    ExpectOneError(RunLockbox(dir, {"test", "all.exe", "-p", PASSWORD, "p*.txt", "?e?"}), 1, "matches 'p*.txt'");
}

// Ten stars against a name of 250 bytes take no time in create and list.
TEST_F(Selection, ManyStarsAgainstALongNameTakeNoTime) {
    MakeDirs({"long"});
    WriteFileBytes(Path("long/" + std::string(245, 'a')), "x");
    const std::string stars = "*a*a*a*a*a*a*a*a*a*a*b";  // ten stars, no match
    // No password: deriving the key would take most of the second.
    const std::vector<std::string> runs[] = {
        Create({"-o", "long.exe", "--no-password", "--exclude", stars, "--exclude", "*/" + stars, "long"}),
        {"list", "long.exe", "--no-password", stars, "l*/" + stars, "long"},
    };
    for (const std::vector<std::string>& args : runs) {
        auto start = std::chrono::steady_clock::now();
        ToolRun r = RunLockbox(dir, args);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(args[0] == "list" ? 1 : 0, r.exitCode) << r.err;  // list: two names choose nothing
        EXPECT_LT(took.count(), 1.0) << args[0];
    }
    EXPECT_EQ("long long/" + std::string(245, 'a') + " ", Names({"list", "long.exe", "--no-password"}));
}

}  // namespace
