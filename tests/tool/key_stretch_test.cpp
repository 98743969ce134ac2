// The stretched key: what list shows, the options, archives whose salt, rounds or resource changed.
#include <algorithm>

#include "tool_fixture.h"

namespace {

const char SALT[] = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";

TEST_F(ToolTest, ListShowsHowTheKeyIsMade) {
    MakeInputTree();
    struct Case {
        std::vector<std::string> create, open;
        const char* key;    // the line list prints
        const char* json;   // and the key's kind in --json
    } cases[] = {
        {{"-p", PASSWORD}, {"-p", PASSWORD}, "PBKDF2-HMAC-SHA256, 600,000 rounds, salted", "\"pbkdf2-hmac-sha256\""},
        {{"-p", PASSWORD, "--key-rounds", "1234", "--salt", SALT}, {"-p", PASSWORD},
         "PBKDF2-HMAC-SHA256, 1,234 rounds, salted", "\"salt\":\"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\""},
        {{"-p", PASSWORD, "--key-stretch", "none"}, {"-p", PASSWORD}, "plain MD5 chain, no salt (fast to guess)",
         "\"md5-chain\""},
        {{"--no-password"}, {"--no-password"}, "none (no password: anyone can open the archive)", "\"none\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ToolRun made = RunLockbox(dir, Create(Args{"-o", "k.exe", "-f", "in"} + c.create));
        ASSERT_EQ(0, made.exitCode) << made.err;
        // Only the plain chain draws the warning about fast guessing.
        EXPECT_EQ(std::string(c.key).find("fast") != std::string::npos,
                  made.err.find("fast to guess") != std::string::npos)
            << made.err;
        EXPECT_CONTAINS(RunLockbox(dir, Args{"list", "k.exe"} + c.open).out,
                        std::string("key:         ") + c.key + "\n");
        std::string report = RunLockbox(dir, Args{"list", "--json", "k.exe"} + c.open).out;
        report.erase(std::remove(report.begin(), report.end(), ' '), report.end());
        EXPECT_CONTAINS(report, c.json);
        EXPECT_EQ(0, RunLockbox(dir, Args{"extract", "k.exe", "-o", "out", "--overwrite", "always"} + c.open).exitCode);
        EXPECT_EQ("alpha\n", ReadFileBytes(Path("out/in/a.txt")));
    }
}

TEST_F(ToolTest, KeyOptionsAreChecked) {
    MakeInputTree();
    const std::vector<std::string> bad[] = {
        {"--salt", "a0a1"},
        {"--salt", std::string(SALT).replace(0, 1, "g")},
        {"--key-rounds", "0"},
        {"--key-rounds", "10000001"},
        {"--key-stretch", "md5"},
        {"--key-stretch", "none", "--salt", SALT},
        {"--key-stretch", "none", "--key-rounds", "1000"},
    };
    for (const auto& extra : bad) {
        ToolRun run = RunLockbox(dir, Create(Args{"-o", "bad.exe", "-p", PASSWORD, "in"} + extra));
        EXPECT_EQ(2, run.exitCode) << extra[0] << " " << extra[1] << ": " << run.err;
        EXPECT_NE(0, access(Path("bad.exe").c_str(), F_OK));
    }
}

// A plain archive made with a stretched archive as the stub keeps none of its salt and rounds.
TEST_F(ToolTest, StubTakenFromAStretchedArchiveLeavesNoKeyBehind) {
    MakeInputTree();
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "s.exe", "-p", PASSWORD, "--key-rounds", "1000", "in"})).exitCode);
    RunOk(dir, {"create", "-q", "--stub", "s.exe", "-o", "p.exe", "-p", PASSWORD, "--key-stretch", "none", "in"});
    EXPECT_CONTAINS(RunOk(dir, {"list", "p.exe", "-p", PASSWORD}), "plain MD5 chain");
}

// The resource's bytes as the writer stores them: version 1, the rounds, the salt.
std::string ResourceBytes(uint32_t rounds) {
    std::string bytes(8, '\0');
    Put32(bytes, 0, 1);
    Put32(bytes, 4, rounds);
    for (size_t i = 0; i < 16; i++) bytes += (char)(0xA0 + i);
    return bytes;
}

// A changed salt or round count is another key, refusing the password; one unreadable is damage.
TEST_F(ToolTest, ChangedKeyResourceRefusesThePassword) {
    MakeInputTree();
    RunOk(dir, Create({"-o", "k.exe", "-p", PASSWORD, "--key-rounds", "1000", "--salt", SALT, "in"}));
    const std::string archive = ReadFileBytes(Path("k.exe")), resource = ResourceBytes(1000);
    size_t at = archive.find(resource);
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(std::string::npos, archive.find(resource, at + 1));
    struct Case {
        size_t offset;
        uint32_t value;  // the 32-bit word put there
        const char* says;
    } cases[] = {
        {8, 0xA3A2A1A1, "wrong password"},       // the salt
        {4, 1001, "wrong password"},             // the rounds
        {4, 0, "damaged"},                       // no rounds
        {4, 10000001, "damaged"},                // beyond what a reader waits for
        {0, 2, "damaged"},                       // an unknown version
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        std::string changed = archive;
        Put32(changed, at + c.offset, c.value);
        WriteFileBytes(Path("changed.exe"), changed);
        const std::vector<std::string> commands[] = {{"list", "changed.exe", "-p", PASSWORD},
                                                     {"extract", "changed.exe", "-p", PASSWORD, "-o", "x"}};
        for (const auto& command : commands) {
            ToolRun run = RunLockbox(dir, command);
            EXPECT_EQ(1, run.exitCode) << command[0];
            EXPECT_NE(std::string::npos, run.err.find(c.says)) << command[0] << ": " << run.err;
        }
        EXPECT_NE(0, access(Path("x").c_str(), F_OK));
    }
}

}  // namespace
