// With a 32-bit (PE32) or x86-64 (PE32+) --stub, the payload and key resource are found through either.
#include "tool_fixture.h"

namespace {

class StubKinds : public ToolTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StubKinds, PackListTestAndExtract) {
    const bool plus = GetParam();
    MakeInputTree();
    WriteFileBytes(Path("stub.exe"), MakeFakeStub(true, std::string(), plus));
    RunOk(dir, Create({"-o", "out.exe", "-p", PASSWORD, "--key-rounds", "1000", "in"}));
    std::string exe = ReadFileBytes(Path("out.exe"));
    EXPECT_EQ(plus ? 0x20Bu : 0x10Bu, Get32(exe, Get32(exe, 60) + 24) & 0xFFFF);  // the optional header's magic
    EXPECT_CONTAINS(RunOk(dir, {"list", "out.exe", "-p", PASSWORD}), "PBKDF2-HMAC-SHA256, 1,000 rounds, salted");
    EXPECT_CONTAINS(RunOk(dir, {"test", "out.exe", "-p", PASSWORD}), "8 entries intact");
    RunOk(dir, {"extract", "out.exe", "-p", PASSWORD, "-o", "restored"});
    EXPECT_EQ(ReadFileBytes(Path("in/big.bin")), ReadFileBytes(Path("restored/in/big.bin")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, StubKinds, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "X86_64" : "X86");
                         });

}  // namespace
