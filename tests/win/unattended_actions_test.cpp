// What the stub does after the last entry in unattended mode: the run-after
// file and the destination folder handed to the shell, and neither after a
// cancel at the overwrite question.
#include <gtest/gtest.h>

#include "win/window_driver.h"

using namespace window_test;

namespace {

const DWORD QUIET = 2500;  // how long "nothing is launched" is watched

// Closes the shell's folder window and waits until it is gone.
void CloseWindowOf(HWND window) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    WaitGone(window, 5000);
}

// A folder name that no other window's caption contains.
std::string UniqueFolderName(const char* what) {
    return std::string("lbx-") + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount());
}

class Actions : public ::testing::Test {
protected:
    ArchiveSettings Settings() { return BasicSettings("Actions", "pw"); }
    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
    std::string marker_ = scratch_ / "ran.txt";
};

// The script runs in the destination folder, wherever the archive was
// started from, and sees the last entry: it copies it by relative names.
TEST_F(Actions, RunAfterFileIsOpenedAfterTheLastEntryInTheDestination) {
    ArchiveSettings settings = Settings();
    settings.runAfter = "go.cmd";
    ASSERT_EQ("", MakeArchive(settings,
                              {FileEntry("go.cmd", "@copy /y last.txt ran.txt >nul\r\n"),
                               FileEntry("last.txt", "last entry")},
                              archive_));
    std::string out = scratch_ / "out";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), NULL));

    EXPECT_EQ(RESULT_END, RunStub(archive_, "pw \"" + out + "\"", scratch_.path()));
    // The copy may exist before it has been written completely.
    std::string copy = out + "\\ran.txt";
    WaitUntil(WAIT_MS, [&] { return ReadFileBytes(copy) == "last entry"; });
    EXPECT_EQ("last entry", ReadFileBytes(copy)) << "run-after file not opened in the destination";
    EXPECT_FALSE(Exists(scratch_ / "ran.txt"));
}

// A run-after name that leads out of the destination is not launched, even
// when a file waits there.
TEST_F(Actions, UnsafeRunAfterNameIsNotLaunched) {
    ArchiveSettings settings = Settings();
    settings.runAfter = "xx\\evil.cmd";
    ASSERT_EQ("", MakeArchive(settings, {FileEntry("a.txt", "a")}, archive_));
    ASSERT_TRUE(PatchRunAfterName(archive_, "pw", "..\\evil.cmd"));
    WriteFileBytes(scratch_ / "evil.cmd", MarkerScript(marker_));

    EXPECT_EQ(RESULT_END, RunStub(archive_, "pw \"" + scratch_ / "out\\" + "\"", scratch_.path()));
    EXPECT_EQ("a", ReadFileBytes(scratch_ / "out\\a.txt"));
    EXPECT_FALSE(WaitForFile(marker_, QUIET)) << "a name with .. was launched";
}

// The shell opens a folder in a window that names it; Wine's explorer does
// so too.
TEST_F(Actions, DestinationFolderIsOpened) {
    ArchiveSettings settings = Settings();
    settings.openFolderShowCmd = SW_SHOWNORMAL;
    ASSERT_EQ("", MakeArchive(settings, {FileEntry("a.txt", "a")}, archive_));
    std::string name = UniqueFolderName("open");
    std::string out = scratch_ / name;

    EXPECT_EQ(RESULT_END, RunStub(archive_, "pw \"" + out + "\\\"", scratch_.path()));
    EXPECT_EQ("a", ReadFileBytes(out + "\\a.txt"));
    HWND folder = WaitForCaptionPart(name, WAIT_MS);
    EXPECT_NE((HWND)NULL, folder) << "no window shows the destination folder";
    if (folder != NULL) CloseWindowOf(folder);
}

// Cancel at the overwrite question: exit code 1, and neither the run-after
// file nor the folder is opened.
TEST_F(Actions, CancelOpensNothing) {
    ArchiveSettings settings = Settings();
    settings.runAfter = "go.cmd";
    settings.openFolderShowCmd = SW_SHOWNORMAL;
    ASSERT_EQ("", MakeArchive(settings, {FileEntry("go.cmd", MarkerScript(marker_)),
                                         FileEntry("f.txt", "new")},
                              archive_));
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
    if (folder != NULL) CloseWindowOf(folder);
}

}  // namespace
