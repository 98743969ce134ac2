// --json output read back by Python's json module: odd titles and names survive, damage is reported.
#include "tool_fixture.h"

namespace {

// What a Python expression over `json` (as d) prints, "" if it does not parse; no shell quoting between.
std::string Query(const ScratchDir& dir, const std::string& json, const std::string& expression) {
    WriteFileBytes(dir.Native("report.json"), json);
    WriteFileBytes(dir.Native("query.py"), "# -*- coding: utf-8 -*-\nimport json, sys\n"
                                           "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                                           "print(" + expression + ")\n");
    return RunShell("python3 " + ShellQuote(dir.Native("query.py")) + " " + ShellQuote(dir.Native("report.json")));
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
        {{"list", "a.exe", "--json", "-p", PASSWORD}, 0, R"(d["entries"][1]["name"] == "d\\)" + odd + "\"", "True"},
        {{"test", "a.exe", "--json", "-p", PASSWORD}, 0, R"([e["result"] for e in d["entries"]], d["result"])", "['ok', 'ok'] ok"},
        {{"extract", "a.exe", "--json", "-p", PASSWORD, "-o", "out"}, 0, R"([e["action"] for e in d["entries"]])", "['written', 'written']"},
        {{"list", "a.exe", "--json", "-p", "wrong password here"}, 1, R"(d["result"], d["entries"], d["error"][:14])", "failed [] wrong password"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.expression);
        ToolRun r = RunLockbox(dir, c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << r.err;
        EXPECT_EQ(c.expected + "\n", Query(dir, r.out, c.expression)) << r.out;
    }

    // One byte of the file's data changed: test reports the entry as damaged.
    std::string bytes = ReadFileBytes(Path("a.exe"));
    bytes[bytes.size() - 20] ^= 0x01;
    WriteFileBytes(Path("a.exe"), bytes);
    ToolRun damaged = RunLockbox(dir, {"test", "a.exe", "--json", "-p", PASSWORD});
    EXPECT_EQ(1, damaged.exitCode);
    EXPECT_EQ("damaged damaged True\n",
              Query(dir, damaged.out, R"(d["result"], d["entries"][-1]["result"], "damaged" in d["error"])"));
}

}  // namespace
