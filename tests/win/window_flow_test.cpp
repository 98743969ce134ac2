// Window mode end to end: password, folder chooser, overwrite question and result
// messages of the real stub; every flow ends with its exit code and the restored tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "crypto/key_stretch.h"
#include "payload/reader.h"

#include "win/window_driver.h"

using namespace window_test;

namespace {

const char TITLE[] = "Lockbox test";
const char PASSWORD[] = "secret";
// The window class of a folder that the shell opens (Wine's explorer).
const char SHELL_FOLDER_CLASS[] = "ExplorerWClass";

class WindowFlow : public ::testing::Test {
protected:
    void SetUp() override {
        // Named after the test, so that no test takes another's shell folder window.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');  // a parameterised test's
        out_ = dir_ / name;
        CreateDirectoryA(out_.c_str(), NULL);
    }

    std::vector<WriterEntry> Entries() {
        return {FileEntry("a.txt", "alpha"), DirEntry("sub"), FileEntry("sub\\b.txt", "beta")};
    }
    Tree FullTree() { return {{"a.txt", "alpha"}, {"sub", "<dir>"}, {"sub\\b.txt", "beta"}}; }

    // Writes the archive, lets `damage` change it, starts the stub; main_ is its main window.
    void Start(const ArchiveSettings& settings, const std::vector<WriterEntry>& entries,
               void (*damage)(std::string* bytes) = nullptr) {
        std::string exe = dir_ / "box.exe";
        ASSERT_EQ(MakeArchive(settings, entries, exe), "");
        if (damage) {
            std::string bytes = ReadFileBytes(exe);
            damage(&bytes);
            WriteFileBytes(exe, bytes);
        }
        stub_.reset(new StubProcess(exe, "", dir_.path()));
        ASSERT_TRUE(stub_->started());
        main_ = WaitForMainWindow(stub_->pid());
        ASSERT_NE(main_, (HWND)NULL);
    }
    void Start() { Start(BasicSettings(TITLE, PASSWORD), Entries()); }

    // Types the password and presses "OK" (posted: the run is modal).
    void PressOk(const std::string& password) {
        SetText(GetDlgItem(main_, 1000), password);
        Click(main_, IDOK);
    }

    std::string Leaf() const { return out_.substr(out_.find_last_of('\\') + 1); }

    // A message box owned by the main window: its text, icon and one button; pressed.
    void ExpectMessage(const std::string& text, char icon) {
        // The title caption also tells it from a dialog that is still closing.
        HWND box = WaitForDialog(stub_->pid(), main_, WAIT_MS, TITLE);
        ASSERT_NE(box, (HWND)NULL) << "no message box: " << text;
        EXPECT_EQ(MessageText(box), text);
        EXPECT_EQ(MessageIconColour(box), icon);
        EXPECT_NE(GetDlgItem(box, IDOK), (HWND)NULL);
        EXPECT_EQ(GetDlgItem(box, IDCANCEL), (HWND)NULL);
        Click(box, IDOK);
        WaitGone(box);
    }

    // Nothing owned by the main window comes up for a while, the stub stays open, out_ holds `tree`.
    void ExpectQuietAndOpen(const Tree& tree) {
        EXPECT_EQ(WaitForDialog(stub_->pid(), main_, QUIET_MS), (HWND)NULL);
        EXPECT_TRUE(stub_->running());
        EXPECT_TRUE(IsWindowVisible(main_));
        EXPECT_EQ(ReadTree(out_), tree);
    }

    void ChooseOut() {
        HWND chooser = WaitForDialog(stub_->pid(), main_);
        ASSERT_NE(chooser, (HWND)NULL) << "no folder chooser";
        ASSERT_TRUE(ChooseFolder(*stub_, chooser, out_));
        WaitGone(chooser);
    }

    // The overwrite question shows `name`; answered with `button`.
    void Answer(const char* name, int button) {
        HWND question = WaitForDialog(stub_->pid(), main_, WAIT_MS, "Overwrite confirmation");
        ASSERT_NE(question, (HWND)NULL) << "no overwrite question; shown: "
                                        << MessageText(WaitForDialog(stub_->pid(), main_, 0));
        EXPECT_EQ(TextOf(GetDlgItem(question, 2001)), name);
        Click(question, button);
        WaitGone(question);
    }

    // The success message, exit code 0 and the whole tree restored.
    void ExpectRestored() {
        ASSERT_NO_FATAL_FAILURE(ExpectMessage("Files have been successfully restored.", 'b'));
        EXPECT_EQ(stub_->WaitForExit(), 0u);
        EXPECT_EQ(ReadTree(out_), FullTree());
    }

    RootScratchDir dir_;
    std::string out_;
    std::unique_ptr<StubProcess> stub_;
    HWND main_ = NULL;
};

// A wrong password is reported and the window stays; the right one restores (plain and stretched key).
class WindowFlowKeys : public WindowFlow, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(WindowFlowKeys, WrongPasswordStaysThenRightPasswordRestores) {
    ArchiveSettings settings = BasicSettings(TITLE, PASSWORD);
    settings.keyRounds = GetParam();
    if (GetParam()) settings.keySalt[3] = 0x5A;
    ASSERT_NO_FATAL_FAILURE(Start(settings, Entries()));
    PressOk("wrong");
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Entered password is invalid.", 'r'));
    ExpectQuietAndOpen(Tree());

    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    ExpectRestored();
}

INSTANTIATE_TEST_SUITE_P(Keys, WindowFlowKeys, ::testing::Values(0u, DEFAULT_KEY_ROUNDS),
                         [](const ::testing::TestParamInfo<uint32_t>& i) {
                             return std::string(i.param ? "StretchedKey" : "PlainKey");
                         });

TEST_F(WindowFlow, EnterKeyStartsARun) {
    ASSERT_NO_FATAL_FAILURE(Start());
    SetText(GetDlgItem(main_, 1000), "wrong");
    PressKey(GetDlgItem(main_, 1000), VK_RETURN);
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Entered password is invalid.", 'r'));
    PostMessageA(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub_->WaitForExit(), 0u);
    EXPECT_EQ(ReadTree(out_), Tree());
}

TEST_F(WindowFlow, ChooserClosedIsSilentAndOkAsksAgain) {
    ASSERT_NO_FATAL_FAILURE(Start());
    PressOk(PASSWORD);
    HWND chooser = WaitForDialog(stub_->pid(), main_);
    ASSERT_NE(chooser, (HWND)NULL);
    Click(chooser, IDCANCEL);
    WaitGone(chooser);
    ExpectQuietAndOpen(Tree());

    Click(main_, IDOK);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    ExpectRestored();
}

// With an action after the run configured, the action is the sign of success: no message box.
TEST_F(WindowFlow, NoMessageWhenOpenFolderIsConfigured) {
    ArchiveSettings s = BasicSettings(TITLE, PASSWORD);
    s.openFolderShowCmd = SW_SHOWMINNOACTIVE;
    ASSERT_NO_FATAL_FAILURE(Start(s, Entries()));
    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    EXPECT_EQ(stub_->WaitForExit(), 0u);
    EXPECT_EQ(ReadTree(out_), FullTree());
    // The shell opened the folder: its window is the sign of success.
    HWND folder = WaitForAnyWindow(SHELL_FOLDER_CLASS, Leaf().c_str());
    EXPECT_NE(folder, (HWND)NULL);
    CloseAndWait(folder);
}

TEST_F(WindowFlow, NoMessageWhenRunAfterIsConfigured) {
    ArchiveSettings s = BasicSettings(TITLE, PASSWORD);
    s.runAfter = "run.cmd";
    std::vector<WriterEntry> entries = Entries();
    // The restored script leaves a mark beside itself when it runs.
    const std::string script = "@echo ran>\"%~dp0ran.txt\"\r\n";
    entries.push_back(FileEntry("run.cmd", script));
    ASSERT_NO_FATAL_FAILURE(Start(s, entries));
    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    EXPECT_EQ(stub_->WaitForExit(), 0u);
    Tree expected = FullTree();
    expected["run.cmd"] = script;
    expected["ran.txt"] = "ran\r\n";
    // The script runs in a process of its own: wait until its mark is complete.
    WaitUntil(WAIT_MS, [&] { return ReadTree(out_) == expected; });
    EXPECT_EQ(ReadTree(out_), expected);
}

// Cancel at the overwrite question is reported even with opening the folder configured; exit 0.
TEST_F(WindowFlow, CancelAtOverwriteQuestion) {
    WriteFileBytes(out_ + "\\a.txt", "old");
    ArchiveSettings s = BasicSettings(TITLE, PASSWORD);
    s.openFolderShowCmd = SW_SHOWNORMAL;
    ASSERT_NO_FATAL_FAILURE(Start(s, Entries()));
    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    ASSERT_NO_FATAL_FAILURE(Answer("a.txt", 8));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Operation canceled!", 'r'));
    EXPECT_EQ(stub_->WaitForExit(), 0u);
    EXPECT_EQ(ReadTree(out_), (Tree{{"a.txt", "old"}}));
    // A cancelled run opens no folder.
    EXPECT_EQ(WaitForAnyWindow(SHELL_FOLDER_CLASS, Leaf().c_str(), QUIET_MS), (HWND)NULL);
}

// A damaged entry is reported and the window stays; the next "OK" starts again at the
// first entry (the overwrite question for a.txt shows it).
TEST_F(WindowFlow, DamagedEntryStaysAndNextRunStartsAtFirstEntry) {
    ASSERT_NO_FATAL_FAILURE(Start(BasicSettings(TITLE, PASSWORD),
                                  {FileEntry("a.txt", "alpha"), FileEntry("b.bin", NoiseBytes(4000))},
                                  [](std::string* bytes) { (*bytes)[bytes->size() - 200] ^= 0x55; }));  // in b.bin

    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Archive file is corrupted or password is invalid!", 'r'));
    ExpectQuietAndOpen({{"a.txt", "alpha"}});

    Click(main_, IDOK);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    ASSERT_NO_FATAL_FAILURE(Answer("a.txt", IDOK)) << "the second run did not start at the first entry";
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Archive file is corrupted or password is invalid!", 'r'));

    Click(main_, IDCANCEL);
    EXPECT_EQ(stub_->WaitForExit(), 0xFFFFFFFFu);
    EXPECT_EQ(ReadTree(out_), (Tree{{"a.txt", "alpha"}}));
}

// A file where the archive needs a directory: the directory cannot be made.
TEST_F(WindowFlow, BlockedDirectoryCannotCreate) {
    WriteFileBytes(out_ + "\\sub", "in the way");
    ASSERT_NO_FATAL_FAILURE(Start());
    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Cannot create output file!", 'r'));
    ExpectQuietAndOpen({{"a.txt", "alpha"}, {"sub", "in the way"}});
    PostMessageA(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(stub_->WaitForExit(), 0u);
    EXPECT_EQ(ReadTree(out_), (Tree{{"a.txt", "alpha"}, {"sub", "in the way"}}));
}

TEST_F(WindowFlow, WaysToLeave) {
    struct Way {
        const char* what;
        void (*leave)(HWND main);
        DWORD exitCode;
    };
    const Way ways[] = {
        {"Cancel button", [](HWND m) { Click(m, IDCANCEL); }, 0xFFFFFFFFu},
        {"Escape", [](HWND m) { PressKey(GetDlgItem(m, 1000), VK_ESCAPE); }, 0xFFFFFFFFu},
        {"close box", [](HWND m) { PostMessageA(m, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0u},
        {"WM_CLOSE", [](HWND m) { PostMessageA(m, WM_CLOSE, 0, 0); }, 0u},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        ASSERT_NO_FATAL_FAILURE(Start());
        way.leave(main_);
        EXPECT_EQ(stub_->WaitForExit(), way.exitCode);
        EXPECT_EQ(ReadTree(out_), Tree());
    }
}

// A damaged header is reported before any main window, with the title only when it was read whole.
TEST_F(WindowFlow, DamagedHeaderBeforeAnyWindow) {
    std::string exe = dir_ / "box.exe";
    ASSERT_EQ(MakeArchive(BasicSettings(TITLE, PASSWORD), Entries(), exe), "");
    const std::string whole = ReadFileBytes(exe);
    int64_t payload = LocatePayloadInImage(StubImage().data(), StubImage().size());
    ASSERT_GT(payload, 0);
    struct Cut {
        const char* what;
        size_t headerBytes;  // of 17 + title (12) + 16 check bytes + 2 run-after length
        bool titleShown;
    };
    const Cut cuts[] = {
        {"inside the title", 20, false},
        {"inside the check block", 35, true},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.what);
        WriteFileBytes(exe, whole.substr(0, (size_t)payload + cut.headerBytes));
        stub_.reset(new StubProcess(exe, "", dir_.path()));
        HWND box = WaitForDialog(stub_->pid(), NULL);
        ASSERT_NE(box, (HWND)NULL);
        EXPECT_EQ(MessageText(box), "Archive file is corrupted");
        EXPECT_EQ(TextOf(box) == TITLE, cut.titleShown) << TextOf(box);
        EXPECT_EQ(FindMainWindow(stub_->pid()), (HWND)NULL);
        Click(box, IDOK);
        EXPECT_EQ(stub_->WaitForExit(), 0xFFFFFFFCu);
    }
    EXPECT_EQ(ReadTree(out_), Tree());
}

// During a long run the window answers, the title shows a rising share, the controls are off
// and WM_CLOSE is ignored; afterwards everything is as before.
TEST_F(WindowFlow, LongRunKeepsTheWindowAliveAndShowsProgress) {
    std::vector<WriterEntry> entries = {DirEntry("many")};
    for (int i = 0; i < 1500; i++)
        entries.push_back(FileEntry("many\\file" + std::to_string(i) + ".txt", std::string(3000, (char)('a' + i % 26))));
    ASSERT_NO_FATAL_FAILURE(Start(BasicSettings(TITLE, PASSWORD), entries));
    const std::string label = TextOf(GetDlgItem(main_, 1001));
    PressOk(PASSWORD);
    ASSERT_NO_FATAL_FAILURE(ChooseOut());

    std::vector<int> shares;
    bool closeSent = false, controlsOff = true, answered = true;
    HWND box = NULL;
    while (box == NULL && stub_->running()) {
        DWORD_PTR reply;
        answered &= SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &reply) != 0;
        std::string title = TextOf(main_);
        size_t mark = title.find("% - ");
        if (mark != std::string::npos && title.substr(mark + 4) == TITLE) {
            int share = std::atoi(title.c_str());
            if (shares.empty() || shares.back() != share) shares.push_back(share);
            for (int id : {1000, IDOK, IDCANCEL}) controlsOff &= !IsWindowEnabled(GetDlgItem(main_, id));
            if (!closeSent) closeSent = PostMessageA(main_, WM_CLOSE, 0, 0) != 0;
        }
        box = WaitForDialog(stub_->pid(), main_, 100, TITLE);
    }
    EXPECT_TRUE(answered) << "the window did not answer within a second";
    EXPECT_TRUE(closeSent) << "no share was ever shown";
    EXPECT_TRUE(controlsOff);
    ASSERT_GE(shares.size(), 2u) << "the share did not rise";
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    EXPECT_LE(shares.back(), 100);

    // As before the run, then the usual message; WM_CLOSE changed nothing.
    EXPECT_EQ(TextOf(main_), TITLE);
    EXPECT_EQ(TextOf(GetDlgItem(main_, 1001)), label);
    for (int id : {1000, IDOK, IDCANCEL}) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main_, id))) << id;
    ASSERT_NO_FATAL_FAILURE(ExpectMessage("Files have been successfully restored.", 'b'));
    EXPECT_EQ(stub_->WaitForExit(), 0u);
    EXPECT_EQ(ReadTree(out_).size(), entries.size());
}

}  // namespace
