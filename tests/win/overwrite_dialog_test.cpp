// The overwrite question as the real stub shows it in unattended mode: its
// controls and their places, and what each answer does to the files.
#include <gtest/gtest.h>

#include "win/window_driver.h"
#include "ui/resource.h"

using namespace window_test;

namespace {

const char* const CAPTION = "Overwrite confirmation";
const int ESCAPE = -1;  // an answer given with the Escape key

// Three existing files, each of which the archive brings anew.
class Overwrite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ("", MakeArchive(BasicSettings("Overwrite", "pw"),
                                  {DirEntry("sub"), FileEntry("sub\\one.txt", "new1"),
                                   FileEntry("two.txt", "new2"), FileEntry("three.txt", "new3")},
                                  archive_));
        ASSERT_TRUE(CreateDirectoryA(out_.c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA((out_ + "\\sub").c_str(), NULL));
        WriteOldFiles();
    }
    void WriteOldFiles() {
        for (const char* name : {"sub\\one.txt", "two.txt", "three.txt"}) WriteFileBytes(out_ + "\\" + name, "old");
    }
    std::string Contents() {
        return ReadFileBytes(out_ + "\\sub\\one.txt") + "," + ReadFileBytes(out_ + "\\two.txt") + "," +
               ReadFileBytes(out_ + "\\three.txt");
    }
    std::string Arguments() { return "pw \"" + out_ + "\""; }

    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
    std::string out_ = scratch_ / "out";
};

void Answer(HWND dialog, int answer) {
    if (answer == ESCAPE)
        PressKey(GetDlgItem(dialog, IDOK), VK_ESCAPE);  // the focused button
    else
        Click(dialog, answer);
}

struct AnswerCase {
    const char* what;
    std::vector<int> answers;  // one per question, in order
    const char* contents;      // one.txt,two.txt,three.txt afterwards
};

const AnswerCase ANSWERS[] = {
    {"yes, no, yes", {IDOK, IDC_NO_BUTTON, IDOK}, "new1,old,new3"},
    {"yes to all asks once", {IDC_YES_TO_ALL}, "new1,new2,new3"},
    {"no, then no to all", {IDC_NO_BUTTON, IDC_NO_TO_ALL}, "old,old,old"},
    {"cancel stops at once", {IDOK, IDCLOSE}, "new1,old,old"},
    {"escape cancels", {ESCAPE}, "old,old,old"},
};

TEST_F(Overwrite, EachAnswer) {
    const char* const names[] = {"sub\\one.txt", "two.txt", "three.txt"};
    for (const AnswerCase& c : ANSWERS) {
        SCOPED_TRACE(c.what);
        WriteOldFiles();
        StubProcess stub(archive_, Arguments(), scratch_.path());
        ASSERT_TRUE(stub.started());
        for (size_t i = 0; i < c.answers.size(); i++) {
            HWND dialog = WaitForDialog(stub.pid(), NULL, WAIT_MS, CAPTION);
            ASSERT_NE((HWND)NULL, dialog) << "question " << i;
            EXPECT_EQ(names[i], TextOf(GetDlgItem(dialog, IDC_FILE_NAME)));
            if (i == 0) {
                // A notification from the name field leaves the question up.
                HWND field = GetDlgItem(dialog, IDC_FILE_NAME);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_FILE_NAME, EN_CHANGE), (LPARAM)field);
                Sleep(300);
                EXPECT_TRUE(IsWindowVisible(dialog));
            }
            Answer(dialog, c.answers[i]);
            ASSERT_TRUE(WaitGone(dialog, 5000));
        }
        // Another question would keep the stub waiting until it is killed.
        EXPECT_EQ(static_cast<DWORD>(RESULT_END), stub.WaitForExit());
        EXPECT_EQ(c.contents, Contents());
    }
}

struct ControlSpec {
    int id;
    const char* className;
    const char* text;
    int x, y, cx, cy;  // dialog units
};

const ControlSpec CONTROLS[] = {
    {IDOK, "Button", "&Yes", 5, 40, 50, 14},
    {IDC_NO_BUTTON, "Button", "&No", 69, 40, 50, 14},
    {IDC_YES_TO_ALL, "Button", "Yes to &All", 133, 40, 50, 14},
    {IDC_NO_TO_ALL, "Button", "No &to All", 197, 40, 50, 14},
    {IDCLOSE, "Button", "Cancel", 261, 40, 50, 14},
    {IDC_FILE_NAME, "Edit", "sub\\one.txt", 7, 23, 305, 12},
    {-1, "Static", "File already exists. Do you want to overwrite?", 89, 9, 142, 8},
};

// True when every control's rectangle is its template rectangle converted
// with the dialog base units baseX, baseY (pixels per 4 horizontal and per 8
// vertical units), the way the dialog manager converts position and size.
bool FitsWithBaseUnits(const std::vector<RECT>& pixels, int baseX, int baseY) {
    for (size_t i = 0; i < pixels.size(); i++) {
        const ControlSpec& c = CONTROLS[i];
        int x = MulDiv(c.x, baseX, 4), y = MulDiv(c.y, baseY, 8);
        RECT want = {x, y, x + MulDiv(c.cx, baseX, 4), y + MulDiv(c.cy, baseY, 8)};
        if (!EqualRect(&want, &pixels[i])) return false;
    }
    return true;
}

TEST_F(Overwrite, DialogShowsTheTemplate) {
    StubProcess stub(archive_, Arguments(), scratch_.path());
    ASSERT_TRUE(stub.started());
    HWND dialog = WaitForDialog(stub.pid(), NULL, WAIT_MS, CAPTION);
    ASSERT_NE((HWND)NULL, dialog);

    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(WS_CAPTION, style & WS_CAPTION);
    EXPECT_EQ(0, style & WS_SYSMENU) << "the question has no close box";
    RECT frame = WindowRect(dialog);
    EXPECT_EQ(0, frame.left) << "without an owner it sits at the screen's top-left corner";
    EXPECT_EQ(0, frame.top);

    // Controls in template order, which is the tab order.
    std::vector<RECT> pixels;
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ControlSpec& c : CONTROLS) {
        ASSERT_NE((HWND)NULL, child) << c.text;
        EXPECT_EQ(c.id, static_cast<int>(static_cast<short>(GetDlgCtrlID(child)))) << c.text;
        EXPECT_STRCASEEQ(c.className, ClassOf(child).c_str());
        EXPECT_EQ(c.text, TextOf(child));
        RECT r = WindowRect(child);
        MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&r), 2);
        pixels.push_back(r);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    LONG fieldStyle = GetWindowLongA(GetDlgItem(dialog, IDC_FILE_NAME), GWL_STYLE);
    EXPECT_EQ(0, fieldStyle & WS_BORDER);
    EXPECT_EQ(ES_READONLY | ES_CENTER, fieldStyle & (ES_READONLY | ES_CENTER));

    bool fits = false;
    for (int baseX = 4; baseX <= 24 && !fits; baseX++)
        for (int baseY = 8; baseY <= 48 && !fits; baseY++) fits = FitsWithBaseUnits(pixels, baseX, baseY);
    EXPECT_TRUE(fits) << "control rectangles do not match the template's dialog units; first: "
                      << pixels[0].left << "," << pixels[0].top << "," << pixels[0].right << ","
                      << pixels[0].bottom;

    Click(dialog, IDCLOSE);
    EXPECT_EQ(static_cast<DWORD>(RESULT_END), stub.WaitForExit());
}

}  // namespace
