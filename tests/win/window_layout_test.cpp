// The main window as the stub shows it: caption, the four controls of its
// template, the focus, and the layout over a background picture.
#include <gtest/gtest.h>

#include "window_driver.h"

using namespace window_test;

namespace {

struct Shown {
    RECT window;
    SIZE client;
    RECT controls[4];  // 1000, 1, 2, 1001 in the main window's client coordinates
};

const int CONTROL_IDS[4] = {1000, IDOK, IDCANCEL, 1001};

// Starts the stub on an archive with `settings`, records the main window's
// geometry, and closes it (close box: exit 0).
bool ShowAndMeasure(const ArchiveSettings& settings, Shown* out) {
    RootScratchDir dir;
    std::string exe = dir / "box.exe";
    std::string error = MakeArchive(settings, {FileEntry("a.txt", "a")}, exe);
    EXPECT_EQ(error, "");
    if (!error.empty()) return false;
    StubProcess stub(exe, "", dir.path());
    HWND main = WaitForMainWindow(stub.pid());
    EXPECT_NE(main, (HWND)NULL);
    if (main == NULL) return false;
    out->window = WindowRect(main);
    out->client = ClientSize(main);
    for (int i = 0; i < 4; ++i) out->controls[i] = ChildRect(main, CONTROL_IDS[i]);
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(stub.WaitForExit(), 0u);
    return true;
}

TEST(WindowControls, CaptionControlsAndFocus) {
    RootScratchDir dir;
    std::string exe = dir / "box.exe";
    ASSERT_EQ(MakeArchive(BasicSettings("Holiday photos", "pw"), {FileEntry("a.txt", "a")}, exe), "");
    StubProcess stub(exe, "", dir.path());
    HWND main = WaitForMainWindow(stub.pid());
    ASSERT_NE(main, (HWND)NULL);
    EXPECT_EQ(TextOf(main), "Holiday photos");

    struct Control { int id; const char* cls; const char* text; };
    const Control expected[] = {
        {1000, "Edit", ""}, {IDOK, "Button", "OK"}, {IDCANCEL, "Button", "Cancel"},
        {1001, "Static", "Enter password:"},
    };
    // Template order is Z order and tab order.
    HWND child = GetWindow(main, GW_CHILD);
    for (const Control& c : expected) {
        SCOPED_TRACE(c.id);
        ASSERT_NE(child, (HWND)NULL);
        EXPECT_EQ(GetDlgCtrlID(child), c.id);
        EXPECT_EQ(ClassOf(child), c.cls);
        EXPECT_EQ(TextOf(child), c.text);
        EXPECT_TRUE(IsWindowVisible(child));
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, (HWND)NULL);
    LONG editStyle = GetWindowLongA(GetDlgItem(main, 1000), GWL_STYLE);
    EXPECT_TRUE(editStyle & ES_PASSWORD);
    EXPECT_TRUE(editStyle & WS_TABSTOP);

    // The password field has the focus, so typing goes there at once.
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(main, NULL), &info));
    EXPECT_EQ(info.hwndFocus, GetDlgItem(main, 1000));

    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub.WaitForExit(), 0u);
}

TEST(WindowControls, EmptyTitle) {
    RootScratchDir dir;
    std::string exe = dir / "box.exe";
    ASSERT_EQ(MakeArchive(BasicSettings("", "pw"), {FileEntry("a.txt", "a")}, exe), "");
    StubProcess stub(exe, "", dir.path());
    HWND main = WaitForMainWindow(stub.pid());
    ASSERT_NE(main, (HWND)NULL);
    EXPECT_EQ(TextOf(main), "");
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub.WaitForExit(), 0u);
}

// Each background case is compared with the same archive without one.
TEST(WindowLayout, BackgroundGrowsWindowAndShiftsControls) {
    Shown plain;
    ASSERT_TRUE(ShowAndMeasure(BasicSettings("T", "pw"), &plain));
    const LONG cw = plain.client.cx, ch = plain.client.cy;
    ASSERT_GT(cw, 100);
    ASSERT_GT(ch, 40);

    struct Case {
        const char* what;
        uint32_t width, height;
        uint8_t mode;
        LONG clientW, clientH;  // expected client size
        LONG shiftX, shiftY;    // expected control shift
    };
    const LONG bw = cw + 141, bh = ch + 225;  // odd growth on both sides
    const Case cases[] = {
        {"width 0: no layout whatever height and mode", 0, 500, 2, cw, ch, 0, 0},
        {"smaller than the client: raised, nothing moves", 20, 10, 2, cw, ch, 0, 0},
        {"width only", (uint32_t)bw, 0, 2, bw, ch, 70, 0},
        {"growth of 7", (uint32_t)(cw + 7), 0, 1, cw + 7, ch, 3, 0},
        {"mode 0: controls stay at the top left", (uint32_t)bw, (uint32_t)bh, 0, bw, bh, 0, 0},
        {"mode 1: centred at the top", (uint32_t)bw, (uint32_t)bh, 1, bw, bh, 70, 0},
        {"mode 2: centred at the bottom", (uint32_t)bw, (uint32_t)bh, 2, bw, bh, 70, 225},
        {"mode 255 acts as mode 2", (uint32_t)bw, (uint32_t)bh, 255, bw, bh, 70, 225},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveSettings s = BasicSettings("T", "pw");
        s.backgroundWidth = c.width;
        s.backgroundHeight = c.height;
        s.layoutMode = c.mode;
        Shown bg;
        ASSERT_TRUE(ShowAndMeasure(s, &bg));
        EXPECT_EQ(bg.client.cx, c.clientW);
        EXPECT_EQ(bg.client.cy, c.clientH);
        // The window keeps its centre; the odd pixel goes right and down.
        LONG dw = c.clientW - cw, dh = c.clientH - ch;
        EXPECT_EQ(bg.window.left, plain.window.left - dw / 2);
        EXPECT_EQ(bg.window.top, plain.window.top - dh / 2);
        EXPECT_EQ(bg.window.right, plain.window.right + (dw - dw / 2));
        EXPECT_EQ(bg.window.bottom, plain.window.bottom + (dh - dh / 2));
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(CONTROL_IDS[i]);
            EXPECT_EQ(bg.controls[i].left, plain.controls[i].left + c.shiftX);
            EXPECT_EQ(bg.controls[i].top, plain.controls[i].top + c.shiftY);
            EXPECT_EQ(bg.controls[i].right - bg.controls[i].left,
                      plain.controls[i].right - plain.controls[i].left);
        }
    }
}

// Hiding and showing the window again lays it out again: nothing may move.
TEST(WindowLayout, SecondShowMovesNothing) {
    RootScratchDir dir;
    std::string exe = dir / "box.exe";
    ArchiveSettings s = BasicSettings("T", "pw");
    s.backgroundWidth = 500;
    s.backgroundHeight = 300;
    s.layoutMode = 2;
    ASSERT_EQ(MakeArchive(s, {FileEntry("a.txt", "a")}, exe), "");
    StubProcess stub(exe, "", dir.path());
    HWND main = WaitForMainWindow(stub.pid());
    ASSERT_NE(main, (HWND)NULL);
    RECT before = WindowRect(main);
    RECT editBefore = ChildRect(main, 1000);
    EXPECT_EQ(ClientSize(main).cx, 500);
    EXPECT_EQ(ClientSize(main).cy, 300);

    ShowWindow(main, SW_HIDE);
    ShowWindow(main, SW_SHOW);
    RECT after = WindowRect(main);
    RECT editAfter = ChildRect(main, 1000);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_TRUE(EqualRect(&editBefore, &editAfter));

    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub.WaitForExit(), 0u);
}

// An absurd background size is limited, not handed on to the platform.
TEST(WindowLayout, HugeBackgroundIsLimited) {
    RootScratchDir dir;
    std::string exe = dir / "box.exe";
    ArchiveSettings s = BasicSettings("T", "pw");
    s.backgroundWidth = 0xFFFFFFFFu;
    s.backgroundHeight = 0xFFFFFFFFu;
    ASSERT_EQ(MakeArchive(s, {FileEntry("a.txt", "a")}, exe), "");
    StubProcess stub(exe, "", dir.path());
    HWND main = WaitForMainWindow(stub.pid());
    ASSERT_NE(main, (HWND)NULL);
    SIZE client = ClientSize(main);
    EXPECT_LE(client.cx, 32767);
    EXPECT_LE(client.cy, 32767);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub.WaitForExit(), 0u);
}

}  // namespace
