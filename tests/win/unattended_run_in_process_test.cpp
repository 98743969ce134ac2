// The extraction run inside the test process (src/run is linked in): what one run leaves for the next.
#include <gtest/gtest.h>

#include "app/app.h"
#include "payload/reader.h"
#include "run/run.h"
#include "win/window_driver.h"

using namespace window_test;

namespace {

int AnswerYes(void*, const char*) { return 1; }

class RunInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ("", MakeArchive(BasicSettings("In process", "pw"),
                                  {FileEntry("a.txt", "A"), FileEntry("b.txt", "B"), FileEntry("c.txt", "C")},
                                  archive_));
        ASSERT_TRUE(CreateDirectoryA(out_.c_str(), NULL));
        // The extractor's one reader, as a fresh process has it.
        ASSERT_EQ(RESULT_OK, ReadArchiveHeaderFrom(&g_Reader, archive_.c_str()));
        g_Reader.askOverwrite = AnswerYes;
    }
    void TearDown() override {
        CloseArchive(&g_Reader);
        g_Reader = Reader();
    }
    // A run after a failed one restores everything, from the first entry.
    void ExpectSecondRunRestoresAll() {
        DeleteFileA((out_ + "\\a.txt").c_str());
        EXPECT_EQ(RESULT_END, RunExtraction("pw", out_.c_str()));
        EXPECT_TRUE(AllNew() == ReadTree(out_));
    }
    Tree AllNew() { return {{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}}; }

    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
    std::string out_ = scratch_ / "out";
};

// A second run after "Cannot create output file!" starts at the first entry, not mid-entry.
TEST_F(RunInProcess, RunAfterCannotCreateStartsAtTheFirstEntry) {
    std::string blocked = out_ + "\\b.txt";
    WriteFileBytes(blocked, "old");
    SetFileAttributesA(blocked.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(RESULT_CANNOT_CREATE, RunExtraction("pw", out_.c_str()));
    EXPECT_EQ("A", ReadFileBytes(out_ + "\\a.txt"));
    EXPECT_FALSE(Exists(out_ + "\\c.txt"));

    SetFileAttributesA(blocked.c_str(), FILE_ATTRIBUTE_NORMAL);
    ExpectSecondRunRestoresAll();
}

TEST_F(RunInProcess, RunAfterCorruptEntryStartsAtTheFirstEntry) {
    // A directory where the second file belongs cannot be replaced.
    std::string blocked = out_ + "\\b.txt";
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), NULL));
    int first = RunExtraction("pw", out_.c_str());
    EXPECT_TRUE(first == RESULT_CANNOT_CREATE || first == RESULT_CORRUPT) << first;

    RemoveDirectoryA(blocked.c_str());
    ExpectSecondRunRestoresAll();
}

TEST_F(RunInProcess, WrongPasswordConsumesNothing) {
    EXPECT_EQ(RESULT_BAD_PASSWORD, RunExtraction("PW", out_.c_str()));
    EXPECT_TRUE(ReadTree(out_).empty());
    EXPECT_EQ(RESULT_END, RunExtraction("pw", out_.c_str()));
    EXPECT_TRUE(AllNew() == ReadTree(out_));
}

// An archive made without a password opens with an empty one only.
TEST_F(RunInProcess, EmptyPassword) {
    ArchiveSettings settings = BasicSettings("No password", "");
    settings.usePassword = false;
    std::string open = scratch_ / "open.exe";
    ASSERT_EQ("", MakeArchive(settings, {FileEntry("a.txt", "A")}, open));
    ASSERT_EQ(RESULT_OK, ReadArchiveHeaderFrom(&g_Reader, open.c_str()));
    EXPECT_EQ(RESULT_BAD_PASSWORD, RunExtraction("x", out_.c_str()));
    EXPECT_EQ(RESULT_END, RunExtraction("", out_.c_str()));
    EXPECT_EQ("A", ReadFileBytes(out_ + "\\a.txt"));
}

}  // namespace
