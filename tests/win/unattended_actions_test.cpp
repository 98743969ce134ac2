// After the last entry in unattended mode the stub opens the run-after file and the destination
// folder, and neither after a cancel at the overwrite question.
#include <gtest/gtest.h>

#include "win/window_driver.h"

using namespace window_test;

namespace {

const DWORD QUIET = 2500;  // how long "nothing is launched" is watched

// A folder name that no other window's caption contains.
std::string UniqueFolderName(const char* what) {
    return std::string("lbx-") + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount());
}

class Actions : public ::testing::Test {
protected:
    void Make(const std::string& runAfter, uint32_t showCmd, const std::vector<WriterEntry>& entries) {
        ArchiveSettings settings = BasicSettings("Actions", "pw");
        settings.runAfter = runAfter;
        settings.openFolderShowCmd = showCmd;
        ASSERT_EQ("", MakeArchive(settings, entries, archive_));
    }
    // Runs unattended into `out`, started in the scratch folder.
    int Run(const std::string& out) { return RunStub(archive_, "pw \"" + out + "\"", scratch_.path()); }

    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
    std::string marker_ = scratch_ / "ran.txt";
};

// The script runs in the destination folder, wherever the archive was started from, and sees
// the last entry there: it copies it by relative names.
TEST_F(Actions, RunAfterFileIsOpenedAfterTheLastEntryInTheDestination) {
    ASSERT_NO_FATAL_FAILURE(Make("go.cmd", 0, {FileEntry("go.cmd", "@copy /y last.txt ran.txt >nul\r\n"),
                                                 FileEntry("last.txt", "last entry")}));
    std::string out = scratch_ / "out";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL));

    EXPECT_EQ(RESULT_END, Run(out));
    // The copy may exist before it has been written completely.
    std::string copy = out + "\\ran.txt";
    WaitUntil(WAIT_MS, [&] { return ReadFileBytes(copy) == "last entry"; });
    EXPECT_EQ("last entry", ReadFileBytes(copy)) << "run-after file not opened in the destination";
    EXPECT_FALSE(Exists(scratch_ / "ran.txt"));
}

// A run-after name that leads out of the destination is not launched, even when a file waits there.
TEST_F(Actions, UnsafeRunAfterNameIsNotLaunched) {
    ASSERT_NO_FATAL_FAILURE(Make("xx\\evil.cmd", 0, {FileEntry("a.txt", "a")}));
    ASSERT_TRUE(PatchRunAfterName(archive_, "pw", "..\\evil.cmd"));
    WriteFileBytes(scratch_ / "evil.cmd", MarkerScript(marker_));

    EXPECT_EQ(RESULT_END, Run(scratch_ / "out\\"));
    EXPECT_EQ("a", ReadFileBytes(scratch_ / "out\\a.txt"));
    EXPECT_FALSE(WaitForFile(marker_, QUIET)) << "a name with .. was launched";
}

// The shell opens a folder in a window that names it; Wine's explorer does so too.
TEST_F(Actions, DestinationFolderIsOpened) {
    ASSERT_NO_FATAL_FAILURE(Make("", SW_SHOWNORMAL, {FileEntry("a.txt", "a")}));
    std::string name = UniqueFolderName("open");
    std::string out = scratch_ / name;

    EXPECT_EQ(RESULT_END, Run(out + "\\"));
    EXPECT_EQ("a", ReadFileBytes(out + "\\a.txt"));
    HWND folder = WaitForCaptionPart(name, WAIT_MS);
    EXPECT_NE((HWND)NULL, folder) << "no window shows the destination folder";
    CloseAndWait(folder, 5000);
}

// Cancel at the overwrite question: exit code 1; neither the run-after file nor the folder opens.
TEST_F(Actions, CancelOpensNothing) {
    ASSERT_NO_FATAL_FAILURE(Make("go.cmd", SW_SHOWNORMAL,
                                 {FileEntry("go.cmd", MarkerScript(marker_)), FileEntry("f.txt", "new")}));
    std::string name = UniqueFolderName("cancel");
    std::string out = scratch_ / name;
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL));
    WriteFileBytes(out + "\\f.txt", "old");

    StubProcess stub(archive_, "pw \"" + out + "\"", scratch_.path());
    ASSERT_TRUE(stub.started());
    HWND dialog = WaitForDialog(stub.pid(), NULL, WAIT_MS, "Overwrite confirmation");
    ASSERT_NE((HWND)NULL, dialog);
    Click(dialog, IDCLOSE);
    EXPECT_EQ(static_cast<DWORD>(RESULT_END), stub.WaitForExit());

    EXPECT_EQ("old", ReadFileBytes(out + "\\f.txt"));
    EXPECT_EQ(MarkerScript(marker_), ReadFileBytes(out + "\\go.cmd"));
    EXPECT_FALSE(WaitForFile(marker_, QUIET)) << "run-after file opened after a cancel";
    HWND folder = WaitForCaptionPart(name, 500);
    EXPECT_EQ((HWND)NULL, folder) << "folder opened after a cancel";
    CloseAndWait(folder, 5000);
}

}  // namespace
