// Pictures of the extractor's windows for the documentation, taken by
// scripts/screenshots.sh with this program (its test is disabled, so that it
// runs only when asked for). LOCKBOX_SHOTS names a
// folder holding plain.exe and bg_none.exe, bg_top.exe, bg_bottom.exe
// (made by the lockbox tool, password "secret", a.txt among the files) and
// long.exe (many files, so that a run lasts a few seconds); the
// pictures are written there as .bmp files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "win/window_driver.h"

using namespace window_test;

namespace {

// Copies the screen under the union of the windows' rectangles, with a
// margin, into a 24-bit .bmp file.
bool SaveShot(std::initializer_list<HWND> windows, const std::string& path) {
    RECT r;
    SetRectEmpty(&r);
    for (HWND w : windows) {
        RedrawWindow(w, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        RECT wr = WindowRect(w);
        UnionRect(&r, &r, &wr);
    }
    Sleep(700);  // let the owning process paint
    const int margin = 12;
    r.left = std::max(0L, r.left - margin);
    r.top = std::max(0L, r.top - margin);
    r.right = std::min((LONG)GetSystemMetrics(SM_CXSCREEN), r.right + margin);
    r.bottom = std::min((LONG)GetSystemMetrics(SM_CYSCREEN), r.bottom + margin);
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up rows, as .bmp files store them
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    int stride = (width * 3 + 3) & ~3;
    std::string pixels((size_t)stride * height, '\0');
    int rows = GetDIBits(memory, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info),
                         DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    if (rows != height) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), pixels.size());
    return out.good();
}

TEST(DISABLED_WindowScreenshots, Take) {
    const char* env = std::getenv("LOCKBOX_SHOTS");
    if (env == nullptr || *env == '\0') GTEST_SKIP() << "LOCKBOX_SHOTS is not set";
    const std::string shots = env;

    // The main window alone, with a password typed; and over the picture.
    const char* single[][2] = {
        {"plain.exe", "main_plain.bmp"},
        {"bg_none.exe", "main_background_none.bmp"},
        {"bg_top.exe", "main_background_top.bmp"},
        {"bg_bottom.exe", "main_background_bottom.bmp"},
    };
    for (auto& s : single) {
        SCOPED_TRACE(s[0]);
        StubProcess stub(shots + "\\" + s[0], "", shots);
        ASSERT_TRUE(stub.started()) << shots << " error " << GetLastError();
        HWND main = WaitForMainWindow(stub.pid());
        ASSERT_NE(main, (HWND)NULL);
        SetText(GetDlgItem(main, 1000), "secret");
        EXPECT_TRUE(SaveShot({main}, shots + "\\" + s[1]));
        PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(stub.WaitForExit(), 0u);
    }

    // A wrong password, the overwrite question and the final message.
    RootScratchDir out;
    WriteFileBytes(out / "a.txt", "older");
    StubProcess stub(shots + "\\plain.exe", "", shots);
    HWND main = WaitForMainWindow(stub.pid());
    ASSERT_NE(main, (HWND)NULL);
    SetText(GetDlgItem(main, 1000), "guess");
    Click(main, IDOK);
    HWND box = WaitForDialog(stub.pid(), main);
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_TRUE(SaveShot({main, box}, shots + "\\message_wrong_password.bmp"));
    Click(box, IDOK);
    WaitGone(box);

    SetText(GetDlgItem(main, 1000), "secret");
    Click(main, IDOK);
    HWND chooser = WaitForDialog(stub.pid(), main);
    ASSERT_NE(chooser, (HWND)NULL);
    EXPECT_TRUE(SaveShot({main, chooser}, shots + "\\folder_chooser.bmp"));
    ASSERT_TRUE(ChooseFolder(stub, chooser, out.path()));
    WaitGone(chooser);
    HWND question = WaitForDialog(stub.pid(), main, WAIT_MS, "Overwrite confirmation");
    ASSERT_NE(question, (HWND)NULL);
    EXPECT_TRUE(SaveShot({main, question}, shots + "\\overwrite_dialog.bmp"));
    Click(question, IDOK);
    WaitGone(question);
    box = WaitForDialog(stub.pid(), main);
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_TRUE(SaveShot({main, box}, shots + "\\message_restored.bmp"));
    Click(box, IDOK);
    EXPECT_EQ(stub.WaitForExit(), 0u);

    // A long run (long.exe: many files), photographed once a share shows.
    RootScratchDir longOut;
    StubProcess longRun(shots + "\\long.exe", "", shots);
    main = WaitForMainWindow(longRun.pid());
    ASSERT_NE(main, (HWND)NULL);
    SetText(GetDlgItem(main, 1000), "secret");
    Click(main, IDOK);
    chooser = WaitForDialog(longRun.pid(), main);
    ASSERT_NE(chooser, (HWND)NULL);
    ASSERT_TRUE(ChooseFolder(longRun, chooser, longOut.path()));
    WaitGone(chooser);
    WaitUntil(WAIT_MS, [&] { return std::atoi(TextOf(main).c_str()) >= 20; });
    EXPECT_TRUE(SaveShot({main}, shots + "\\progress.bmp"));
    box = WaitForDialog(longRun.pid(), main, 4 * WAIT_MS);
    ASSERT_NE(box, (HWND)NULL);
    Click(box, IDOK);
    EXPECT_EQ(longRun.WaitForExit(), 0u);
}

}  // namespace
