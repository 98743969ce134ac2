// The stub's main window: caption, the four controls of its template, the focus, and the
// layout over a background picture.
#include <gtest/gtest.h>

#include <memory>

#include "win/window_driver.h"

using namespace window_test;

namespace {

// The stub started on an archive of one file, and its main window.
struct ShownBox {
    RootScratchDir dir;
    std::unique_ptr<StubProcess> stub;
    HWND main = NULL;

    explicit ShownBox(const ArchiveSettings& settings) {
        std::string exe = dir / "box.exe";
        EXPECT_EQ(MakeArchive(settings, {FileEntry("a.txt", "a")}, exe), "");
        stub.reset(new StubProcess(exe, "", dir.path()));
        main = WaitForMainWindow(stub->pid());
    }
    // Closed by WM_CLOSE or the close box, the stub ends with 0.
    void Close(bool closeBox = false) {
        PostMessageA(main, closeBox ? WM_SYSCOMMAND : WM_CLOSE, closeBox ? SC_CLOSE : 0, 0);
        EXPECT_EQ(stub->WaitForExit(), 0u);
    }
};

ArchiveSettings WithBackground(uint32_t width, uint32_t height, uint8_t mode = 2) {
    ArchiveSettings s = BasicSettings("T", "pw");
    s.backgroundWidth = width;
    s.backgroundHeight = height;
    s.layoutMode = mode;
    return s;
}

struct Shown {
    RECT window;
    SIZE client;
    RECT controls[4];  // 1000, 1, 2, 1001 in the main window's client coordinates
};

const int CONTROL_IDS[4] = {1000, IDOK, IDCANCEL, 1001};

// The main window's geometry for an archive with `settings`.
bool ShowAndMeasure(const ArchiveSettings& settings, Shown* out) {
    ShownBox box(settings);
    if (box.main == NULL) return false;
    out->window = WindowRect(box.main);
    out->client = ClientSize(box.main);
    for (int i = 0; i < 4; ++i) out->controls[i] = ChildRect(box.main, CONTROL_IDS[i]);
    box.Close(true);
    return true;
}

class WindowControls : public ::testing::TestWithParam<const char*> {};

TEST_P(WindowControls, CaptionControlsAndFocus) {
    ShownBox box(BasicSettings(GetParam(), "pw"));
    ASSERT_NE(box.main, (HWND)NULL);
    EXPECT_EQ(TextOf(box.main), GetParam());

    struct Control { int id; const char* cls; const char* text; };
    const Control expected[] = {
        {1000, "Edit", ""}, {IDOK, "Button", "OK"}, {IDCANCEL, "Button", "Cancel"},
        {1001, "Static", "Enter password:"},
    };
    // Template order is Z order and tab order.
    HWND child = GetWindow(box.main, GW_CHILD);
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
    LONG editStyle = GetWindowLongA(GetDlgItem(box.main, 1000), GWL_STYLE);
    EXPECT_TRUE(editStyle & ES_PASSWORD);
    EXPECT_TRUE(editStyle & WS_TABSTOP);

    // The password field has the focus, so typing goes there at once.
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(box.main, NULL), &info));
    EXPECT_EQ(info.hwndFocus, GetDlgItem(box.main, 1000));
    box.Close();
}

INSTANTIATE_TEST_SUITE_P(Titles, WindowControls, ::testing::Values("Holiday photos", ""),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(*i.param ? "Title" : "EmptyTitle");
                         });

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
        Shown bg;
        ASSERT_TRUE(ShowAndMeasure(WithBackground(c.width, c.height, c.mode), &bg));
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
    ShownBox box(WithBackground(500, 300));
    ASSERT_NE(box.main, (HWND)NULL);
    RECT before = WindowRect(box.main), editBefore = ChildRect(box.main, 1000);
    EXPECT_EQ(ClientSize(box.main).cx, 500);
    EXPECT_EQ(ClientSize(box.main).cy, 300);
    ShowWindow(box.main, SW_HIDE);
    ShowWindow(box.main, SW_SHOW);
    RECT after = WindowRect(box.main), editAfter = ChildRect(box.main, 1000);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_TRUE(EqualRect(&editBefore, &editAfter));
    box.Close();
}

// An absurd background size is limited, not handed on to the platform.
TEST(WindowLayout, HugeBackgroundIsLimited) {
    ShownBox box(WithBackground(0xFFFFFFFFu, 0xFFFFFFFFu));
    ASSERT_NE(box.main, (HWND)NULL);
    EXPECT_LE(ClientSize(box.main).cx, 32767);
    EXPECT_LE(ClientSize(box.main).cy, 32767);
    box.Close();
}

}  // namespace
