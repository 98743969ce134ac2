// The tool packs with either kind of extractor given by --stub, a 32-bit
// (PE32) or an x86-64 (PE32+) one, and lists, tests and extracts what it
// made with each: the payload's place and the key-stretch resource are
// found through either kind of header.
#include "tool_fixture.h"

namespace {

class StubKinds : public ToolTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StubKinds, PackListTestAndExtract) {
    const bool plus = GetParam();
    MakeInputTree();
    WriteFileBytes(Path("stub.exe"), MakeFakeStub(true, std::string(), plus));
    ToolRun made = RunLockbox(dir, Create({"-o", "out.exe", "-p", PASSWORD, "--key-rounds", "1000", "in"}));
    ASSERT_EQ(0, made.exitCode) << made.err;
    std::string exe = ReadFileBytes(Path("out.exe"));
    uint32_t magic = (uint8_t)exe[Get32(exe, 60) + 24] | (uint8_t)exe[Get32(exe, 60) + 25] << 8;
    EXPECT_EQ(plus ? 0x20Bu : 0x10Bu, magic);

    ToolRun listed = RunLockbox(dir, {"list", "out.exe", "-p", PASSWORD});
    EXPECT_EQ(0, listed.exitCode) << listed.err;
    EXPECT_NE(std::string::npos, listed.out.find("PBKDF2-HMAC-SHA256, 1,000 rounds, salted")) << listed.out;
    ToolRun tested = RunLockbox(dir, {"test", "out.exe", "-p", PASSWORD});
    EXPECT_EQ(0, tested.exitCode) << tested.err;
    EXPECT_NE(std::string::npos, tested.out.find("8 entries intact")) << tested.out;
    ToolRun extracted = RunLockbox(dir, {"extract", "out.exe", "-p", PASSWORD, "-o", "restored"});
    ASSERT_EQ(0, extracted.exitCode) << extracted.err;
    EXPECT_EQ(ReadFileBytes(Path("in/big.bin")), ReadFileBytes(Path("restored/in/big.bin")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, StubKinds, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "X86_64" : "X86");
                         });

}  // namespace
