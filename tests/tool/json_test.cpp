// --json output, read back by an independent parser (Python's json module):
// odd characters in the title and names survive, and damage is reported.
#include "tool_fixture.h"

namespace {

// Runs a Python expression over the JSON in `file` (bound to d), written to
// a script file so that no shell quoting comes between; its printed value,
// or "" when the JSON does not parse.
std::string Query(const ScratchDir& dir, const std::string& file, const std::string& expression) {
    WriteFileBytes(dir.Native("query.py"), "# -*- coding: utf-8 -*-\nimport json, sys\n"
                                           "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                                           "print(" + expression + ")\n");
    return RunShell("python3 " + ShellQuote(dir.Native("query.py")) + " " + ShellQuote(file));
}

class Json : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (!Succeeds("python3 -c 'import json'")) GTEST_SKIP() << "python3 is not installed";
    }
};

TEST_F(Json, OddNamesAndTitlesSurviveAndDamageIsReported) {
    MakeDirs({"d"});
    const std::string odd = "it's & 50% \xC3\xA9t\xC3\xA9.txt";  // it's & 50% été.txt
    WriteFileBytes(Path("d/" + odd), std::string(3000, 'z'));
    const std::string title = "say \"hi\"\tnow \xC3\xBC \\ end";
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "--title", title, "d"})).exitCode);

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string expression, expected;
    } cases[] = {
        {{"list", "a.exe", "--json", "-p", PASSWORD}, 0, R"(d["title"] == "say \"hi\"\tnow \u00fc \\ end")", "True"},
        {{"list", "a.exe", "--json", "-p", PASSWORD}, 0, R"(d["entries"][1]["name"].encode("utf-8").hex())", ""},
        {{"test", "a.exe", "--json", "-p", PASSWORD}, 0, R"([e["result"] for e in d["entries"]], d["result"])", "['ok', 'ok'] ok"},
        {{"extract", "a.exe", "--json", "-p", PASSWORD, "-o", "out"}, 0, R"([e["action"] for e in d["entries"]])", "['written', 'written']"},
        {{"list", "a.exe", "--json", "-p", "wrong password here"}, 1, R"(d["result"], d["entries"], d["error"][:14])", "failed [] wrong password"},
    };
    std::string hex;
    for (unsigned char c : "d\\" + odd) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    cases[1].expected = hex;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.expression);
        ToolRun r = RunLockbox(dir, c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << r.err;
        WriteFileBytes(Path("report.json"), r.out);
        EXPECT_EQ(c.expected + "\n", Query(dir, Path("report.json"), c.expression)) << r.out;
    }

    // One byte of the file's data changed: test reports the entry as damaged.
    std::string bytes = ReadFileBytes(Path("a.exe"));
    bytes[bytes.size() - 20] ^= 0x01;
    WriteFileBytes(Path("a.exe"), bytes);
    ToolRun damaged = RunLockbox(dir, {"test", "a.exe", "--json", "-p", PASSWORD});
    EXPECT_EQ(1, damaged.exitCode);
    WriteFileBytes(Path("report.json"), damaged.out);
    EXPECT_EQ("damaged damaged True\n",
              Query(dir, Path("report.json"), R"(d["result"], d["entries"][-1]["result"], "damaged" in d["error"])"));
}

}  // namespace
