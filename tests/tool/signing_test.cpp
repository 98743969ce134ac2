// Archives signed by `create` or by osslsigncode (the reference) with the built-in stub (a real PE
// image) and a throw-away certificate verify, list their signer, test and extract; changes are caught.
#include <unistd.h>

#include "tool_fixture.h"

namespace {

// Where the certificate table's directory entry lies in the PE32 image `exe`.
size_t CertificateEntry(const std::string& exe) { return Get32(exe, 60) + 24 + 96 + 4 * 8; }

class Signing : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (!Succeeds("command -v osslsigncode && command -v openssl"))
            GTEST_SKIP() << "osslsigncode or openssl is not installed";
        ASSERT_TRUE(Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
                          " -subj '/CN=Lockbox Test Signer/O=Example' && echo 'p12 secret' > p12pass.txt"
                          " && openssl pkcs12 -export -in cert.pem -inkey key.pem -out both.p12"
                          " -passout file:p12pass.txt"))
            << "openssl could not make the test certificate";
        MakeInputTree();
    }

    // True when the shell command line `cmd` succeeds in the scratch directory.
    bool Shell(const std::string& cmd) { return Succeeds("cd " + ShellQuote(dir.path()) + " && " + cmd); }
    // True when osslsigncode accepts the signature of `exe` with the test certificate as the root.
    bool Verifies(const std::string& exe) { return Shell("osslsigncode verify -CAfile cert.pem -in " + exe); }
};

TEST_F(Signing, SignedArchivesVerifyListTestAndExtract) {
    struct Case {
        const char* exe;
        std::vector<std::string> create;  // extra options of create
        bool signAfterwards;
    } cases[] = {
        {"pem.exe", {"--sign-cert", "cert.pem", "--sign-key", "key.pem"}, false},
        {"p12.exe", {"--sign-pkcs12", "both.p12", "--sign-password-file", "p12pass.txt"}, false},
        {"after.exe", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe);
        RunOk(dir, Args{"create", "-q", "-o", c.exe, "-p", PASSWORD, "in"} + c.create);
        ASSERT_TRUE(!c.signAfterwards || Shell(std::string("osslsigncode sign -certs cert.pem -key key.pem -in ") +
                                               c.exe + " -out signed.tmp && mv signed.tmp " + c.exe));
        EXPECT_TRUE(Verifies(c.exe));
        EXPECT_CONTAINS(RunOk(dir, {"list", c.exe, "-p", PASSWORD}),
                        "signed by CN = Lockbox Test Signer, O = Example; the file is as signed");
        EXPECT_CONTAINS(RunOk(dir, {"test", c.exe, "-p", PASSWORD}), "8 entries intact, signature matches");
        std::string into = std::string("out-") + c.exe;
        EXPECT_CONTAINS(RunOk(dir, {"extract", c.exe, "-p", PASSWORD, "-o", into, "--json"}), "\"present\": true");
        EXPECT_TRUE(Shell("diff -r in " + into + "/in"));

        // A byte of the last entry's head (a time, which no check of the entry sees) changed: the signature catches it.
        std::string bytes = ReadFileBytes(Path(c.exe));
        std::string changed = std::string("changed-") + c.exe;
        uint32_t table = Get32(bytes, CertificateEntry(bytes));
        bytes[table - 40] ^= 0x20;
        WriteFileBytes(Path(changed), bytes);
        EXPECT_FALSE(Verifies(changed));
        EXPECT_EQ(1, RunLockbox(dir, {"test", changed, "-p", PASSWORD}).exitCode);
        // A byte in the middle, in big.bin's data: test reports the signature, then the entry the change damaged.
        bytes[bytes.size() / 2] ^= 0x20;
        WriteFileBytes(Path(changed), bytes);
        ToolRun broken = RunLockbox(dir, {"test", changed, "-p", PASSWORD}),
                json = RunLockbox(dir, {"test", changed, "-p", PASSWORD, "--json"});
        EXPECT_EQ(1, broken.exitCode);
        std::vector<std::string> lines = ErrorLines(broken.err);
        ASSERT_EQ(2u, lines.size()) << broken.err;
        EXPECT_CONTAINS(lines[0], "changed after it was signed");
        EXPECT_CONTAINS(lines[1], "is damaged at entry 3 'in/big.bin'");
        EXPECT_CONTAINS(json.out, "\"result\": \"damaged\"");
        EXPECT_EQ(std::string::npos, json.out.find("\"entries\": []")) << json.out;
        // A byte of the DOS stub changed: every entry reads, yet extract restores nothing unless told to.
        bytes = ReadFileBytes(Path(c.exe));
        bytes[0x4E] ^= 0x20;
        WriteFileBytes(Path(changed), bytes);
        std::string refused = std::string("refused-") + c.exe, anyway = std::string("anyway-") + c.exe;
        std::string line = ExpectOneError(RunLockbox(dir, {"extract", changed, "-p", PASSWORD, "-o", refused}), 1,
                                          "changed after it was signed");
        EXPECT_CONTAINS(line, "nothing was extracted (ask the sender for a new copy, or extract it anyway with "
                              "--ignore-signature)");
        EXPECT_TRUE(ListDir(Path(refused)).empty());
        ToolRun ignored = RunLockbox(dir, {"extract", changed, "-p", PASSWORD, "-o", anyway, "--ignore-signature"});
        EXPECT_EQ(0, ignored.exitCode) << ignored.err;
        EXPECT_CONTAINS(ignored.err, "warning: '" + changed + "' is signed, but");
        EXPECT_TRUE(Shell("diff -r in " + anyway + "/in"));
    }
}

TEST_F(Signing, FailedSigningLeavesNothingAndKeepsAnEarlierFile) {
    WriteFileBytes(Path("out.exe"), "earlier");
    ToolRun r = RunLockbox(dir, {"create", "-q", "-o", "out.exe", "--force", "-p", PASSWORD, "in", "--sign-cert",
                                 "cert.pem", "--sign-key", "cert.pem"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_CONTAINS(r.err, "signing failed: ");
    EXPECT_EQ("earlier", ReadFileBytes(Path("out.exe")));
    EXPECT_EQ("", RunShellIn(dir, "ls | grep -v -e '^in$' -e pem -e p12 -e '^out.exe$' -e '^stub.exe$'"));
}

// The signer's name is shown without controls, C1 ones (U+009B starts a command) included.
TEST_F(Signing, TheSignerIsShownWithoutControls) {
    ASSERT_TRUE(Shell("openssl req -x509 -new -key key.pem -out odd.pem -days 2 -utf8 -subj " +
                      ShellQuote("/CN=Odd \xC2\x9B" "2J \x1B]0;x\x07 \x7F/O=\xC3\x84xample")));
    RunOk(dir, Create({"-o", "odd.exe", "-p", PASSWORD, "in", "--sign-cert", "odd.pem", "--sign-key", "key.pem"}));
    for (const Args& json : {Args(), Args{"--json"}}) {
        ToolRun list = RunLockbox(dir, Args{"list", "odd.exe", "-p", PASSWORD} + json);
        EXPECT_EQ(0, list.exitCode) << list.err;
        for (const char* shown : {"Odd ?2J \\", "O = \xC3\x84xample"}) EXPECT_CONTAINS(list.out, shown);
        EXPECT_FALSE(HoldsControls(list.out + list.err)) << list.out;
    }
}

TEST_F(Signing, UnsignedArchivesSaySo) {
    ASSERT_EQ(0, RunLockbox(dir, {"create", "-q", "-o", "plain.exe", "-p", PASSWORD, "in"}).exitCode);
    EXPECT_NE(std::string::npos, RunLockbox(dir, {"list", "plain.exe", "-p", PASSWORD}).out.find("signature:   none"));
    EXPECT_EQ(std::string::npos, RunOk(dir, {"test", "plain.exe", "-p", PASSWORD}).find("signature"));
}

// A certificate table claiming 3.75 GiB is refused as damaged unread, within 500 MB, by list and test.
TEST_F(ToolTest, OversizedSignatureTableIsRefusedUnread) {
    WriteFileBytes(Path("f.txt"), "file\n");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "f.txt"})).exitCode);
    std::string bytes = ReadFileBytes(Path("a.exe"));
    const uint32_t at = (uint32_t)(bytes.size() + 7) / 8 * 8, size = 0xF0000000u;
    Put32(bytes, CertificateEntry(bytes), at);
    Put32(bytes, CertificateEntry(bytes) + 4, size);
    WriteFileBytes(Path("big.exe"), bytes);
    ASSERT_EQ(0, truncate(Path("big.exe").c_str(), (off_t)at + size));  // the table ends the file
    for (const char* command : {"list", "test"}) {
        std::string out = RunShellIn(dir, MEMORY_CAP + TOOL + " " + command + " big.exe -p " + ShellQuote(PASSWORD) +
                                              " 2>&1; echo exit=$?");
        EXPECT_NE(std::string::npos, out.find("'big.exe' is damaged: its signature table is too large (4026531840"))
            << out;
        EXPECT_CONTAINS(out, "exit=1");
    }
}

}  // namespace
