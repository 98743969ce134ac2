// create -> extract / list / test on the host, and reproducible output.
#include <cstring>
#include <filesystem>
#include <map>

#include "tool_fixture.h"

namespace {

// Every node under `want` and `got` alike: kind, contents, write permission, last write to 100 ns.
void ExpectSameTree(const std::string& want, const std::string& got) {
    auto walk = [](const std::string& root) {  // throws when `root` is missing
        std::map<std::string, std::string> nodes;
        for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
            struct stat st;
            lstat(e.path().c_str(), &st);
            bool dir = S_ISDIR(st.st_mode);
            nodes[e.path().lexically_relative(root).string()] =
                std::string(dir ? "dir " : (st.st_mode & S_IWUSR) ? "rw " : "ro ") + std::to_string(st.st_mtim.tv_sec) +
                "." + std::to_string(st.st_mtim.tv_nsec / 100) + (dir ? "" : " " + ReadFileBytes(e.path().string()));
        }
        return nodes;
    };
    EXPECT_EQ(walk(want), walk(got));
    EXPECT_EQ(FactsOf(want).lastWrite, FactsOf(got).lastWrite);
}

struct PasswordCase {
    const char* label;
    Args create, open;  // password options for create, and for list, test and extract
};

void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.label; }

class RoundTrip : public ToolTest, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(RoundTrip, ExtractGivesTheSameTree) {
    MakeInputTree();
    WriteFileBytes(Path("pw.txt"), "from a file \xC3\xA9\n");
    const PasswordCase& c = GetParam();
    RunOk(dir, Create(Args{"-o", "out.exe", "in"} + c.create));
    EXPECT_CONTAINS(RunOk(dir, Args{"test", "out.exe"} + c.open), "8 entries intact");
    RunOk(dir, Args{"extract", "out.exe", "-o", "restored"} + c.open);
    ExpectSameTree(Path("in"), Path("restored/in"));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, RoundTrip,
    ::testing::Values(PasswordCase{"password", {"-p", PASSWORD}, {"-p", PASSWORD}},
                      PasswordCase{"none", {"--no-password"}, {"--no-password"}},
                      // An empty password is no password: the two open each other's archives.
                      PasswordCase{"empty", {"-p", ""}, {"--no-password"}},
                      PasswordCase{"file", {"--password-file", "pw.txt"}, {"-p", "from a file \xC3\xA9"}}),
    [](const ::testing::TestParamInfo<PasswordCase>& info) { return std::string(info.param.label); });

TEST_F(ToolTest, PasswordFileTakesTheFirstLineWithoutItsEnding) {
    MakeInputTree();
    WriteFileBytes(Path("pw.txt"), "from a file \xC3\xA9\r\nsecond line\n");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "--password-file", "pw.txt", "in"})).exitCode);
    EXPECT_EQ(0, RunLockbox(dir, {"test", "a.exe", "-p", "from a file \xC3\xA9"}).exitCode);
    EXPECT_EQ(1, RunLockbox(dir, {"test", "a.exe", "-p", "from a file \xC3\xA9\r"}).exitCode);
    // '-' is standard input, for create and for reading.
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "b.exe", "--password-file", "-", "in"}), "piped in\nrest\n").exitCode);
    EXPECT_EQ(0, RunLockbox(dir, {"test", "b.exe", "--password-file", "-"}, "piped in\n").exitCode);
    EXPECT_EQ(1, RunLockbox(dir, {"test", "b.exe", "--password-file", "-"}, "").exitCode);
}

TEST_F(ToolTest, ListShowsSettingsAndEveryEntryWithItsSize) {
    MakeInputTree();
    RunOk(dir, Create({"-o", "out.exe", "-p", PASSWORD, "--title", "Caf\xC3\xA9 files", "--run-after", "in/a.txt",
                       "--open-folder=3", "--layout", "top", "in"}));
    const std::string o = RunOk(dir, {"list", "out.exe", "-p", PASSWORD});
    EXPECT_CONTAINS(o, "title:       Caf\xC3\xA9 files");
    EXPECT_CONTAINS(o, "layout:      top");
    EXPECT_CONTAINS(o, "run after:   in/a.txt");
    EXPECT_CONTAINS(o, "open folder: yes, maximized");
    EXPECT_CONTAINS(o, "background:  none");
    struct Row {
        const char *type, *attr, *size, *name;
    } rows[] = {
        {"folder", "D----", "-", "in"},
        {"file", "----A", "6", "in/a.txt"},
        {"file", "----A", "400000", "in/big.bin"},
        {"file", "----A", "0", "in/empty.bin"},
        {"folder", "D----", "-", "in/sub"},
        {"folder", "D----", "-", "in/sub/deeper"},
        {"file", "-R--A", "13", "in/sub/deeper/readonly.txt"},
        {"folder", "D----", "-", "in/void"},
    };
    size_t at = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        char want[256];
        std::snprintf(want, sizeof want, "%-6s  %-5s  %12s", r.type, r.attr, r.size);
        size_t line = o.find(std::string("  ") + r.name + "\n", at);
        ASSERT_NE(std::string::npos, line) << o;  // entries appear in archive order
        size_t start = o.rfind('\n', line) + 1;
        EXPECT_EQ(0u, o.compare(start, std::strlen(want), want)) << o.substr(start, line - start);
        at = line + 1;
    }
}

// Also for a file over 8 MiB, which the workers share in 1 MiB pieces.
TEST_F(ToolTest, OutputDoesNotDependOnJobsOrRun) {
    MakeInputTree();
    for (int i = 0; i < 20; i++) WriteFileBytes(Path("in/sub/f" + std::to_string(i)), std::string(i * 5000, 'x' + i % 3));
    WriteFileBytes(Path("in/large.img"), MixedBytes((9u << 20) + 12345, 7));
    // The salt is random unless given: only then are archives comparable.
    const std::string salt = "000102030405060708090a0b0c0d0e0f";
    for (const char* jobs : {"1", "4", "2"})
        RunOk(dir, Create({"--title", "T", "-o", std::string("j") + jobs + ".exe", "-j", jobs, "-p", PASSWORD, "--salt",
                           salt, "in"}));
    ASSERT_EQ(0, RunLockbox(dir, Create({"--title", "T", "-o", "random.exe", "-p", PASSWORD, "in"})).exitCode);
    std::string one = ReadFileBytes(Path("j1.exe"));
    EXPECT_FALSE(one.empty());
    for (const char* other : {"j4.exe", "j2.exe"}) EXPECT_TRUE(one == ReadFileBytes(Path(other))) << other;
    EXPECT_FALSE(one == ReadFileBytes(Path("random.exe")));
    for (const char* jobs : {"1", "4"}) {
        std::string out = std::string("out") + jobs;
        ASSERT_EQ(0, RunLockbox(dir, {"extract", "-j", jobs, "-p", PASSWORD, "-o", out, "j4.exe"}).exitCode);
        ExpectSameTree(Path("in"), Path(out + "/in"));
    }
}

TEST_F(ToolTest, SeveralInputsAreStoredUnderTheirLastComponent) {
    MakeInputTree();
    WriteFileBytes(Path("loose.txt"), "loose\n");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "m.exe", "--no-password", "in/sub/", "loose.txt"})).exitCode);
    ToolRun list = RunLockbox(dir, {"list", "m.exe", "--no-password"});
    EXPECT_CONTAINS(list.out, "  sub/deeper/readonly.txt\n");
    EXPECT_CONTAINS(list.out, "  loose.txt\n");
    EXPECT_EQ(std::string::npos, list.out.find("in/")) << list.out;
}

TEST_F(ToolTest, ExtractOverwriteModes) {
    MakeInputTree();
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "out.exe", "--no-password", "in"})).exitCode);
    MakeDirs({"dest", "dest/in"});
    WriteFileBytes(Path("dest/in/a.txt"), "mine\n");
    // Without a terminal "ask" keeps what exists, like "never"; new files are still written.
    for (const char* mode : {"ask", "never"}) {
        RunOk(dir, {"extract", "out.exe", "--no-password", "-o", "dest", "--overwrite", mode});
        EXPECT_EQ("mine\n", ReadFileBytes(Path("dest/in/a.txt"))) << mode;
        EXPECT_EQ(400000u, ReadFileBytes(Path("dest/in/big.bin")).size()) << mode;
    }
    RunOk(dir, {"extract", "out.exe", "--no-password", "-o", "dest", "--overwrite", "always"});
    EXPECT_EQ("alpha\n", ReadFileBytes(Path("dest/in/a.txt")));
}

TEST_F(ToolTest, CodepageNamesAreConvertedAndShown) {
    MakeDirs({"d"});
    WriteFileBytes(Path("d/na\xC3\xAFve \xE2\x82\xAC.txt"), "x");  // "naïve €.txt"
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "w.exe", "--no-password", "d"})).exitCode);
    EXPECT_CONTAINS(RunLockbox(dir, {"list", "w.exe", "--no-password"}).out, "d/na\xC3\xAFve \xE2\x82\xAC.txt");
    // The euro sign has no place in code page 850.
    ExpectUnstorable(RunLockbox(dir, Create({"-o", "w850.exe", "--no-password", "--codepage", "850", "d"})),
                     {"code page 850"});

    // The archive records its code page; a given one still wins.
    std::remove(Path("d/na\xC3\xAFve \xE2\x82\xAC.txt").c_str());  // 850 has no euro sign
    WriteFileBytes(Path("d/R\xC3\xA9sum\xC3\xA9.txt"), "x");  // "Résumé.txt"
    RunOk(dir, Create({"-o", "w850.exe", "--no-password", "--codepage", "850", "--title", "B\xC3\xBCro", "d"}));
    struct Case {
        std::vector<std::string> extra;
        const char* says;
    } cases[] = {
        {{}, "code page:   850 (recorded in the archive)"},
        {{}, "title:       B\xC3\xBCro\n"},
        {{}, "d/R\xC3\xA9sum\xC3\xA9.txt"},
        {{"--codepage", "1252"}, "code page:   1252 (given)"},
        {{"--codepage", "1252"}, "d/R\xE2\x80\x9Asum\xE2\x80\x9A.txt"},  // 850's é read as 1252
    };
    for (const Case& c : cases)
        EXPECT_CONTAINS(RunLockbox(dir, Args{"list", "w850.exe", "--no-password"} + c.extra).out, c.says);
    ASSERT_EQ(0, RunLockbox(dir, {"extract", "w850.exe", "--no-password", "-o", "out850"}).exitCode);
    EXPECT_EQ("x", ReadFileBytes(Path("out850/d/R\xC3\xA9sum\xC3\xA9.txt")));
}

// Every ANSI code page holds its script; a name it lacks is refused, and case folds beyond Latin.
TEST_F(ToolTest, NamesInEveryAnsiCodepage) {
    struct Case {
        const char* codepage;
        const char* name;
    } cases[] = {
        {"1250", u8"Zażółć.txt"}, {"1251", u8"данные.txt"}, {"1253", u8"Αρχείο.txt"},
        {"1254", u8"Şişli.txt"},  {"1255", u8"קובץ.txt"},    {"1256", u8"ملف.txt"},
        {"1257", u8"Šķē.txt"},    {"1258", u8"Đà.txt"},      {"874", u8"ไฟล.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codepage);
        std::string d = std::string("cp") + c.codepage;
        MakeDirs({d});
        WriteFileBytes(Path(d + "/" + c.name), c.codepage);
        ASSERT_EQ(0, RunLockbox(dir, Create({"-o", d + ".exe", "--no-password", "--codepage", c.codepage, d})).exitCode);
        EXPECT_CONTAINS(RunLockbox(dir, {"list", d + ".exe", "--no-password"}).out, d + "/" + c.name);
        ASSERT_EQ(0, RunLockbox(dir, {"extract", d + ".exe", "--no-password", "-o", "out"}).exitCode);
        EXPECT_EQ(c.codepage, ReadFileBytes(Path("out/" + d + "/" + c.name)));
    }
    ExpectUnstorable(RunLockbox(dir, Create({"-o", "g.exe", "--no-password", "--codepage", "1251", "cp1253"})),
                     {u8"Αρχείο.txt"});
    EXPECT_NE(0, access(Path("g.exe").c_str(), F_OK));
    WriteFileBytes(Path(u8"cp1251/ДАННЫЕ.txt"), "upper");
    ExpectUnstorable(RunLockbox(dir, Create({"-o", "c.exe", "--no-password", "--codepage", "1251", "cp1251"})),
                     {u8"ДАННЫЕ.txt"});
}

// Names come back in UTF-8: a file under the code-page name is neither renamed nor replaced.
TEST_F(ToolTest, CodepageNamesComeBackAsUtf8) {
    const std::string cafe = "d/caf\xC3\xA9", naive = cafe + "/na\xC3\xAFve \xE2\x82\xAC.txt";  // café, naïve €
    MakeDirs({"d", cafe});
    WriteFileBytes(Path(naive), "x");
    WriteFileBytes(Path("d/plain.txt"), "p");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "w.exe", "--no-password", "d"})).exitCode);
    RunOk(dir, {"extract", "w.exe", "--no-password", "-o", "out"});
    ExpectSameTree(Path("d"), Path("out/d"));

    WriteFileBytes(Path("out/" + naive), "old");
    WriteFileBytes(Path("out/d/caf\xE9.txt"), "mine");  // the code-page bytes of "café.txt"
    WriteFileBytes(Path("d/caf\xC3\xA9.txt"), "new");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "w.exe", "--no-password", "d"})).exitCode);
    for (const char* mode : {"never", "always"}) {
        RunOk(dir, {"extract", "w.exe", "--no-password", "-o", "out", "--overwrite", mode});
        EXPECT_EQ(mode[0] == 'n' ? "old" : "x", ReadFileBytes(Path("out/" + naive))) << mode;
        EXPECT_EQ("new", ReadFileBytes(Path("out/d/caf\xC3\xA9.txt"))) << mode;
        EXPECT_EQ("mine", ReadFileBytes(Path("out/d/caf\xE9.txt"))) << mode;
        EXPECT_NE(0, access(Path("out/d/caf\xE9").c_str(), F_OK)) << mode;
    }
}

TEST_F(ToolTest, ArchiveWrittenIntoItsInputDoesNotStoreItself) {
    MakeInputTree();
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "in/self.exe", "--no-password", "in"})).exitCode);
    ToolRun again = RunLockbox(dir, Create({"-o", "in/self.exe", "--no-password", "in"}));
    ASSERT_EQ(0, again.exitCode) << again.err;
    EXPECT_CONTAINS(again.err, "skipped");
    ToolRun list = RunLockbox(dir, {"list", "in/self.exe", "--no-password"});
    EXPECT_EQ(std::string::npos, list.out.find("in/self.exe", list.out.find("name\n"))) << list.out;
}

}  // namespace

namespace {

// An archive made without a password opens without options; one with a password still asks for it.
TEST_F(ToolTest, NoPasswordArchivesOpenWithoutOptions) {
    MakeInputTree();
    RunOk(dir, Create({"-o", "open.exe", "--no-password", "in"}));
    RunOk(dir, Create({"-o", "locked.exe", "-p", PASSWORD, "in"}));
    EXPECT_CONTAINS(RunOk(dir, {"list", "open.exe"}), "in/a.txt");
    RunOk(dir, {"test", "open.exe"});
    RunOk(dir, {"extract", "open.exe", "-o", "out"});
    EXPECT_EQ("alpha\n", ReadFileBytes(Path("out/in/a.txt")));
    ExpectOneError(RunLockbox(dir, {"list", "locked.exe"}), 2, "not a terminal");
}

}  // namespace
