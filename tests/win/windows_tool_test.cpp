// The Windows build of the lockbox tool, run under the same system as the
// extractor: it packs a real folder, and the extractor it embeds opens the
// result unattended.
#include <gtest/gtest.h>

#include "win/unattended_support.h"

using namespace unattended_test;

namespace {

std::string BesideTest(const char* name) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1) + name;
}

// Runs `exe` with `arguments` and returns its exit code.
int RunTool(const std::string& exe, const std::string& arguments, const std::string& directory) {
    return RunStub(exe, arguments, directory, 60000);
}

}  // namespace

TEST(WindowsTool, CreatesAnArchiveThatTheExtractorOpens) {
    const std::string tool = BesideTest("lockbox.exe");
    ASSERT_TRUE(Exists(tool)) << tool;
    RootScratchDir scratch;
    const std::string source = scratch / "source";
    ASSERT_TRUE(CreateDirectoryA(source.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((source + "\\docs").c_str(), NULL));
    WriteBytes(source + "\\a.txt", "alpha\r\n");
    WriteBytes(source + "\\docs\\b.bin", std::string(200000, 'b') + "end");
    WriteBytes(source + "\\empty.txt", "");

    const std::string archive = scratch / "packed.exe";
    ASSERT_EQ(RunTool(tool, "create -q -o \"" + archive + "\" -p \"a long passphrase\" \"" + source + "\"",
                  scratch.path()),
              0);
    ASSERT_TRUE(Exists(archive));

    // The extractor's unattended mode: 1 means every entry was restored.
    const std::string out = scratch / "out\\";
    EXPECT_EQ(RunStub(archive, "\"a long passphrase\" \"" + out + "\"", scratch.path()), 1);
    std::map<std::string, std::string> expected = {
        {"source", "<dir>"},
        {"source\\a.txt", "alpha\r\n"},
        {"source\\docs", "<dir>"},
        {"source\\docs\\b.bin", std::string(200000, 'b') + "end"},
        {"source\\empty.txt", ""},
    };
    EXPECT_EQ(ReadTree(scratch / "out"), expected);

    // And the tool reads back what it wrote.
    EXPECT_EQ(RunTool(tool, "test -p \"a long passphrase\" \"" + archive + "\"", scratch.path()), 0);
    EXPECT_EQ(RunTool(tool, "test -p wrong-passphrase \"" + archive + "\"", scratch.path()), 1);
}
