// The Windows lockbox packs a real folder, and the extractor it embeds opens the result unattended.
#include <gtest/gtest.h>

#include "win/window_driver.h"

using namespace window_test;

TEST(WindowsTool, CreatesAnArchiveThatTheExtractorOpens) {
    const std::string tool = BesideTestProgram("lockbox.exe");
    ASSERT_TRUE(Exists(tool)) << tool;
    RootScratchDir scratch;
    const std::string source = scratch / "source";
    ASSERT_TRUE(CreateDirectoryA(source.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((source + "\\docs").c_str(), NULL));
    WriteFileBytes(source + "\\a.txt", "alpha\r\n");
    WriteFileBytes(source + "\\docs\\b.bin", std::string(200000, 'b') + "end");
    WriteFileBytes(source + "\\empty.txt", "");

    const std::string archive = scratch / "packed.exe";
    const std::string pw = "-p \"a long passphrase\" ";
    ASSERT_EQ(RunStub(tool, "create -q -o \"" + archive + "\" " + pw + "\"" + source + "\"", scratch.path(), 60000), 0);
    ASSERT_TRUE(Exists(archive));

    // The extractor's unattended mode: 1 means every entry was restored.
    const std::string out = scratch / "out\\";
    EXPECT_EQ(RunStub(archive, "\"a long passphrase\" \"" + out + "\"", scratch.path()), 1);
    Tree expected = {{"source", "<dir>"}, {"source\\a.txt", "alpha\r\n"}, {"source\\docs", "<dir>"},
                     {"source\\docs\\b.bin", std::string(200000, 'b') + "end"}, {"source\\empty.txt", ""}};
    EXPECT_EQ(ReadTree(scratch / "out"), expected);

    // And the tool reads back what it wrote.
    EXPECT_EQ(RunStub(tool, "test -p \"a long passphrase\" \"" + archive + "\"", scratch.path(), 60000), 0);
    EXPECT_EQ(RunStub(tool, "test -p wrong-passphrase \"" + archive + "\"", scratch.path(), 60000), 1);
}
