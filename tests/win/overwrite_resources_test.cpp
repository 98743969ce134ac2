// The built stub's resources read back from its file, each under its language: both dialog
// templates control by control (added styles would change the windows), the icon, the bitmap;
// and the overwrite question as the stub shows it unattended, and what each answer does.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ui/resource.h"
#include "win/window_driver.h"

using namespace window_test;

namespace {

// Reads the little-endian fields of a dialog template in order.
struct FieldReader {
    const std::string& b;
    size_t at = 0;
    bool ok = true;
    uint32_t N(size_t size) {
        if (at > b.size() || size > b.size() - at) {
            ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = 0; i < size; i++) v |= (uint32_t)(uint8_t)b[at + i] << (8 * i);
        at += size;
        return v;
    }
    int Short() { return (int16_t)N(2); }
    std::string Name() {  // a name-or-ordinal field: "#<n>" for an ordinal
        if (b.compare(std::min(at, b.size()), 2, "\xFF\xFF") == 0) {
            at += 2;
            return "#" + std::to_string(N(2));
        }
        std::string s;
        for (uint32_t c; ok && (c = N(2)) != 0;) s += (char)c;
        return s;
    }
    void Align() { at = (at + 3) & ~(size_t)3; }
};

struct Item {
    uint32_t style, exStyle;
    int x, y, cx, cy, id;
    std::string cls, text;
    bool operator==(const Item& o) const {
        return std::tie(style, exStyle, x, y, cx, cy, id, cls, text) ==
               std::tie(o.style, o.exStyle, o.x, o.y, o.cx, o.cy, o.id, o.cls, o.text);
    }
};
std::ostream& operator<<(std::ostream& os, const Item& i) {
    return os << "{" << std::hex << i.style << "," << i.exStyle << std::dec << "," << i.x << "," << i.y << ","
              << i.cx << "," << i.cy << ",id " << i.id << "," << i.cls << ",\"" << i.text << "\"}";
}

// A DLGTEMPLATE or a DLGTEMPLATEEX; the fields the plain kind lacks stay 0.
struct Template {
    bool extended;
    uint32_t style, exStyle;
    int x, y, cx, cy;
    std::string menu, cls, caption;
    int pointSize, weight, italicAndCharset;
    std::string font;
    std::vector<Item> items;
};

// What is wrong with the template beyond its fields, "" when nothing.
std::string Parse(const std::string& bytes, Template* d) {
    FieldReader r{bytes};
    d->extended = r.N(4) == 0xFFFF0001u;  // version 1, signature 0xFFFF
    if (!d->extended) r.at = 0;
    bool helpIds = d->extended && r.N(4) != 0;
    d->exStyle = d->extended ? r.N(4) : 0;
    d->style = r.N(4);
    if (!d->extended) d->exStyle = r.N(4);
    uint32_t count = r.N(2);
    d->x = r.Short(), d->y = r.Short(), d->cx = r.Short(), d->cy = r.Short();
    d->menu = r.Name();
    d->cls = r.Name();
    // Class names match without regard to case; the main window's is stored in capitals.
    for (char& c : d->cls) c = (char)tolower((unsigned char)c);
    d->caption = r.Name();
    d->pointSize = r.N(2);
    d->weight = d->extended ? r.N(2) : 0;
    d->italicAndCharset = d->extended ? r.N(2) : 0;
    d->font = r.Name();
    bool creationData = false;
    for (uint32_t i = 0; i < count && r.ok; i++) {
        r.Align();
        Item item;
        helpIds |= d->extended && r.N(4) != 0;
        item.exStyle = d->extended ? r.N(4) : 0;
        item.style = r.N(4);
        if (!d->extended) item.exStyle = r.N(4);
        item.x = r.Short(), item.y = r.Short(), item.cx = r.Short(), item.cy = r.Short();
        item.id = r.N(d->extended ? 4 : 2);
        item.cls = r.Name();
        item.text = r.Name();
        creationData |= r.N(2) != 0;
        d->items.push_back(item);
    }
    return !r.ok ? "cut short" : helpIds ? "a help id" : creationData ? "creation data" : "";
}

const char* const BUTTON = "#128";
const char* const EDIT = "#129";
const char* const STATIC = "#130";
const uint32_t CHILD = WS_CHILD | WS_VISIBLE, PUSH = CHILD | WS_TABSTOP | BS_PUSHBUTTON;

struct TemplateCase {
    const char* name;
    int id;
    Template want;
};

const TemplateCase TEMPLATES[] = {
    {"OverwriteQuestion", 102,
     {false, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 319, 61, "", "", "Overwrite confirmation",
      8, 0, 0, "MS Sans Serif",
      {
          {PUSH, 0, 5, 40, 50, 14, IDOK, BUTTON, "&Yes"},
          {PUSH, 0, 69, 40, 50, 14, 102, BUTTON, "&No"},
          {PUSH, 0, 133, 40, 50, 14, 103, BUTTON, "Yes to &All"},
          {PUSH, 0, 197, 40, 50, 14, 104, BUTTON, "No &to All"},
          {PUSH, 0, 261, 40, 50, 14, IDCLOSE, BUTTON, "Cancel"},
          {CHILD | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL | ES_READONLY, 0, 7, 23, 305, 12, 2001, EDIT, ""},
          {CHILD | WS_GROUP | SS_LEFT, 0, 89, 9, 142, 8, 0xFFFF, STATIC,
           "File already exists. Do you want to overwrite?"},
      }}},
    {"MainWindow", 101,
     {true,
      WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS |
          DS_3DLOOK | DS_ABSALIGN,
      0, 0, 0, 173, 47, "", "lockboxsfx", "", 8, 0, 0x0100 /* not italic, character set 1 */, "MS Sans Serif",
      {
          {CHILD | WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL | ES_OEMCONVERT, 0, 74, 7, 82, 12, 1000,
           EDIT, ""},
          {PUSH, WS_EX_STATICEDGE, 29, 28, 42, 12, IDOK, BUTTON, "OK"},
          {PUSH, WS_EX_STATICEDGE, 101, 28, 42, 12, IDCANCEL, BUTTON, "Cancel"},
          {CHILD | WS_GROUP | SS_LEFTNOWORDWRAP, WS_EX_TRANSPARENT, 20, 8, 52, 11, 1001, STATIC, "Enter password:"},
      }}},
};

void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }

class StubResources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(StubImage().empty());
        WriteFileBytes(copy_, StubImage());
        module_ = LoadLibraryExA(copy_.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE((HMODULE)NULL, module_);
    }
    void TearDown() override {
        if (module_ != NULL) FreeLibrary(module_);
    }
    // The resource's bytes under exactly `language`; empty when missing.
    std::string Resource(LPCSTR type, int id, WORD language) {
        HRSRC r = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), language);
        if (r == NULL) return std::string();
        const char* data = static_cast<const char*>(LockResource(LoadResource(module_, r)));
        return std::string(data, SizeofResource(module_, r));
    }

    RootScratchDir scratch_;
    std::string copy_ = scratch_ / "stub.exe";
    HMODULE module_ = NULL;
};

class DialogTemplate : public StubResources, public ::testing::WithParamInterface<TemplateCase> {};

TEST_P(DialogTemplate, MatchesControlByControl) {
    const Template& want = GetParam().want;
    std::string bytes = Resource(RT_DIALOG, GetParam().id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(bytes.empty());
    Template got;
    EXPECT_EQ("", Parse(bytes, &got));
    auto header = [](const Template& t) {
        return std::make_tuple(t.extended, t.style, t.exStyle, t.x, t.y, t.cx, t.cy, t.menu, t.cls, t.caption,
                               t.pointSize, t.weight, t.italicAndCharset, t.font);
    };
    EXPECT_EQ(header(want), header(got));
    EXPECT_EQ(want.items, got.items);
}

INSTANTIATE_TEST_SUITE_P(Stub, DialogTemplate, ::testing::ValuesIn(TEMPLATES),
                         [](const ::testing::TestParamInfo<TemplateCase>& i) { return std::string(i.param.name); });

// Icon group 102 (Russian, 1049): one 32 x 32 image of 16 colours, icon 1.
TEST_F(StubResources, Icon) {
    std::string group = Resource(RT_GROUP_ICON, 102, 1049);
    ASSERT_EQ(6u + 14u, group.size());
    const uint8_t* g = reinterpret_cast<const uint8_t*>(group.data());
    EXPECT_EQ(1, LoadLE16(g + 4));                     // one image
    EXPECT_EQ(32, g[6]);                               // width
    EXPECT_EQ(32, g[7]);                               // height
    EXPECT_EQ(16, g[8]);                               // colours
    EXPECT_EQ(1, LoadLE16(g + 10));                    // planes
    EXPECT_EQ(4, LoadLE16(g + 12));                    // bits per pixel
    EXPECT_EQ(744u, LoadLE32(g + 14));                 // image bytes
    EXPECT_EQ(1, LoadLE16(g + 18));                    // icon resource id
    EXPECT_EQ(744u, Resource(RT_ICON, 1, 1049).size());
}

// Bitmap 107 (US English, 1033): 8 x 8, 4 bits, BI_RGB, VGA palette, every pixel entry 7 (grey).
TEST_F(StubResources, Background) {
    std::string bitmap = Resource(RT_BITMAP, 107, 1033);
    ASSERT_EQ(40u + 64u + 32u, bitmap.size());
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bitmap.data());
    EXPECT_EQ(8u, LoadLE32(b + 4));
    EXPECT_EQ(8u, LoadLE32(b + 8));
    EXPECT_EQ(4, LoadLE16(b + 14));
    EXPECT_EQ(static_cast<uint32_t>(BI_RGB), LoadLE32(b + 16));
    const uint8_t grey[4] = {192, 192, 192, 0};
    const uint8_t red[4] = {0, 0, 255, 0};  // entry 9, stored blue-green-red
    EXPECT_EQ(0, memcmp(b + 40 + 7 * 4, grey, 4));
    EXPECT_EQ(0, memcmp(b + 40 + 9 * 4, red, 4));
    EXPECT_EQ(std::string(32, '\x77'), bitmap.substr(104));
}

const char* const CAPTION = "Overwrite confirmation";
const int ESCAPE = -1;  // an answer given with the Escape key
const char* const NAMES[] = {"sub\\one.txt", "two.txt", "three.txt"};

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
        for (const char* name : NAMES) WriteFileBytes(out_ + "\\" + name, "old");
    }
    std::string Contents() {
        std::string all;
        for (const char* name : NAMES) all += (all.empty() ? "" : ",") + ReadFileBytes(out_ + "\\" + name);
        return all;
    }
    std::string Arguments() { return "pw \"" + out_ + "\""; }

    RootScratchDir scratch_;
    std::string archive_ = scratch_ / "sfx.exe";
    std::string out_ = scratch_ / "out";
};

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
    for (const AnswerCase& c : ANSWERS) {
        SCOPED_TRACE(c.what);
        WriteOldFiles();
        StubProcess stub(archive_, Arguments(), scratch_.path());
        ASSERT_TRUE(stub.started());
        for (size_t i = 0; i < c.answers.size(); i++) {
            HWND dialog = WaitForDialog(stub.pid(), NULL, WAIT_MS, CAPTION);
            ASSERT_NE((HWND)NULL, dialog) << "question " << i;
            EXPECT_EQ(NAMES[i], TextOf(GetDlgItem(dialog, IDC_FILE_NAME)));
            if (i == 0) {
                // A notification from the name field leaves the question up.
                HWND field = GetDlgItem(dialog, IDC_FILE_NAME);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_FILE_NAME, EN_CHANGE), (LPARAM)field);
                Sleep(300);
                EXPECT_TRUE(IsWindowVisible(dialog));
            }
            if (c.answers[i] == ESCAPE)
                PressKey(GetDlgItem(dialog, IDOK), VK_ESCAPE);  // the focused button
            else
                Click(dialog, c.answers[i]);
            ASSERT_TRUE(WaitGone(dialog, 5000));
        }
        // Another question would keep the stub waiting until it is killed.
        EXPECT_EQ(static_cast<DWORD>(RESULT_END), stub.WaitForExit());
        EXPECT_EQ(c.contents, Contents());
    }
}

// The question's controls in template order, which is the tab order.
const std::vector<Item>& CONTROLS = TEMPLATES[0].want.items;

// True when every control's rectangle is its template rectangle converted with the dialog
// base units baseX, baseY (pixels per 4 horizontal and per 8 vertical units).
bool FitsWithBaseUnits(const std::vector<RECT>& pixels, int baseX, int baseY) {
    for (size_t i = 0; i < pixels.size(); i++) {
        const Item& c = CONTROLS[i];
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

    std::vector<RECT> pixels;
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const Item& c : CONTROLS) {
        ASSERT_NE((HWND)NULL, child) << c.text;
        EXPECT_EQ(static_cast<short>(c.id), static_cast<short>(GetDlgCtrlID(child))) << c.text;
        const char* cls = c.cls == BUTTON ? "Button" : c.cls == EDIT ? "Edit" : "Static";
        EXPECT_STRCASEEQ(cls, ClassOf(child).c_str());
        EXPECT_EQ(c.id == IDC_FILE_NAME ? NAMES[0] : c.text, TextOf(child));
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
