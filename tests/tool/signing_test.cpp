// Signed archives: signed by `create` or afterwards by osslsigncode, they
// verify, list their signer, test and extract like unsigned ones; a byte
// changed after signing is caught; a failed signing leaves no output.
// Uses the built-in extractor stub (a real PE image, as signing needs one),
// a throw-away self-signed certificate, and osslsigncode as the reference.
#include <unistd.h>

#include "tool_fixture.h"

namespace {

class Signing : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (!Succeeds("command -v osslsigncode && command -v openssl"))
            GTEST_SKIP() << "osslsigncode or openssl is not installed";
        int rc = -1;
        RunShellIn(dir, "openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
                        " -subj '/CN=Lockbox Test Signer/O=Example' && echo 'p12 secret' > p12pass.txt"
                        " && openssl pkcs12 -export -in cert.pem -inkey key.pem -out both.p12"
                        " -passout file:p12pass.txt", &rc);
        ASSERT_EQ(0, rc) << "openssl could not make the test certificate";
        MakeInputTree();
    }

    // 0 when osslsigncode accepts the signature of `exe` with the test
    // certificate as the trusted root.
    int Verify(const std::string& exe) {
        int rc = -1;
        RunShell("osslsigncode verify -CAfile " + ShellQuote(Path("cert.pem")) + " -in " + ShellQuote(Path(exe)),
                 &rc);
        return rc;
    }
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
        std::vector<std::string> args = std::vector<std::string>{"create", "-q", "-o", c.exe, "-p", PASSWORD, "in"} + c.create;
        ToolRun made = RunLockbox(dir, args);
        ASSERT_EQ(0, made.exitCode) << made.err;
        if (c.signAfterwards) {
            int rc = -1;
            RunShellIn(dir, std::string("osslsigncode sign -certs cert.pem -key key.pem -in ") + c.exe +
                                " -out signed.tmp && mv signed.tmp " + c.exe, &rc);
            ASSERT_EQ(0, rc);
        }
        EXPECT_EQ(0, Verify(c.exe));
        ToolRun list = RunLockbox(dir, {"list", c.exe, "-p", PASSWORD});
        EXPECT_EQ(0, list.exitCode) << list.err;
        EXPECT_CONTAINS(list.out, "signed by CN = Lockbox Test Signer, O = Example; the file is as signed");
        ToolRun test = RunLockbox(dir, {"test", c.exe, "-p", PASSWORD});
        EXPECT_EQ(0, test.exitCode) << test.err;
        EXPECT_CONTAINS(test.out, "8 entries intact, signature matches");
        std::string into = std::string("out-") + c.exe;
        ToolRun extract = RunLockbox(dir, {"extract", c.exe, "-p", PASSWORD, "-o", into, "--json"});
        EXPECT_EQ(0, extract.exitCode) << extract.err;
        EXPECT_CONTAINS(extract.out, "\"present\": true");
        int same = -1;
        RunShell("diff -r " + ShellQuote(Path("in")) + " " + ShellQuote(Path(into + "/in")), &same);
        EXPECT_EQ(0, same);

        // One byte of the last file's data changed after signing: the
        // signature catches it, and the entry itself reads as damaged.
        std::string bytes = ReadFileBytes(Path(c.exe));
        std::string changed = std::string("changed-") + c.exe;
        // The built-in stub is PE32: its data directories begin 96 bytes into the optional header.
        uint32_t table = Get32(bytes, Get32(bytes, 60) + 24 + 96 + 4 * 8);
        bytes[table - 40] ^= 0x20;
        WriteFileBytes(Path(changed), bytes);
        EXPECT_NE(0, Verify(changed));
        ToolRun broken = RunLockbox(dir, {"test", changed, "-p", PASSWORD});
        EXPECT_EQ(1, broken.exitCode);
        EXPECT_CONTAINS(broken.err, "changed after it was signed");
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

// OpenSSL's escapes cover the controls below 0x20, but the signer's name
// reached the terminal with C1 controls raw (U+009B starts a command).
TEST_F(Signing, TheSignerIsShownWithoutControls) {
    int rc = -1;
    RunShellIn(dir, "openssl req -x509 -new -key key.pem -out odd.pem -days 2 -utf8 -subj " +
                 ShellQuote("/CN=Odd \xC2\x9B" "2J \x1B]0;x\x07 \x7F/O=\xC3\x84xample"),
             &rc);
    ASSERT_EQ(0, rc);
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "odd.exe", "-p", PASSWORD, "in", "--sign-cert", "odd.pem", "--sign-key",
                                         "key.pem"})).exitCode);
    for (bool json : {false, true}) {
        std::vector<std::string> args = {"list", "odd.exe", "-p", PASSWORD};
        if (json) args.push_back("--json");
        ToolRun list = RunLockbox(dir, args);
        EXPECT_EQ(0, list.exitCode) << list.err;
        for (const char* shown : {"Odd ?2J \\", "O = \xC3\x84xample"}) EXPECT_CONTAINS(list.out, shown);
        EXPECT_FALSE(HoldsControls(list.out + list.err)) << list.out;
    }
}

TEST_F(Signing, UnsignedArchivesSaySo) {
    ASSERT_EQ(0, RunLockbox(dir, {"create", "-q", "-o", "plain.exe", "-p", PASSWORD, "in"}).exitCode);
    EXPECT_NE(std::string::npos, RunLockbox(dir, {"list", "plain.exe", "-p", PASSWORD}).out.find("signature:   none"));
    ToolRun test = RunLockbox(dir, {"test", "plain.exe", "-p", PASSWORD});
    EXPECT_EQ(0, test.exitCode);
    EXPECT_EQ(std::string::npos, test.out.find("signature")) << test.out;
}

// A sparse archive whose certificate table claims 3.75 GiB: list and test
// read the table whole (3.9 GB; "internal error: std::bad_alloc" under a
// memory limit). They refuse it as damaged unread, within 500 MB here.
TEST_F(ToolTest, OversizedSignatureTableIsRefusedUnread) {
    WriteFileBytes(Path("f.txt"), "file\n");
    ASSERT_EQ(0, RunLockbox(dir, Create({"-o", "a.exe", "-p", PASSWORD, "f.txt"})).exitCode);
    std::string bytes = ReadFileBytes(Path("a.exe"));
    const uint32_t at = (uint32_t)(bytes.size() + 7) / 8 * 8, size = 0xF0000000u;
    Put32(bytes, Get32(bytes, 60) + 24 + 96 + 4 * 8, at);  // PE32: the certificate table entry
    Put32(bytes, Get32(bytes, 60) + 24 + 96 + 4 * 8 + 4, size);
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
