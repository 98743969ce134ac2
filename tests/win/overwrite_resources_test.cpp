// The resources of the built stub, read back from its file: both dialog
// templates control by control (styles the resource compiler might add
// would change the windows), the icon and the background bitmap, each
// under its language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/unattended_support.h"

namespace unattended_test {
namespace {

// Reads the fields of a dialog template in order.
class TemplateReader {
public:
    TemplateReader(const uint8_t* data, size_t size) : p_(data), end_(data + size), start_(data) {}
    uint16_t Word() { return Get<uint16_t>(); }
    uint32_t Dword() { return Get<uint32_t>(); }
    int16_t Short() { return static_cast<int16_t>(Get<uint16_t>()); }
    // A name-or-ordinal field: "#<n>" for an ordinal.
    std::string NameOrOrdinal() {
        if (p_ + 2 <= end_ && p_[0] == 0xFF && p_[1] == 0xFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        std::string s;
        for (uint16_t c; (c = Word()) != 0 && ok_;) s += static_cast<char>(c);
        return s;
    }
    void AlignDword() {
        while ((p_ - start_) % 4 != 0) ++p_;
    }
    void Skip(size_t n) { p_ += n; }
    bool ok() const { return ok_ && p_ <= end_; }

private:
    template <typename T>
    T Get() {
        T v = 0;
        if (p_ + sizeof(T) > end_) {
            ok_ = false;
            return v;
        }
        memcpy(&v, p_, sizeof(T));
        p_ += sizeof(T);
        return v;
    }
    const uint8_t* p_;
    const uint8_t* end_;
    const uint8_t* start_;
    bool ok_ = true;
};

struct Item {
    uint32_t style, exStyle;
    int x, y, cx, cy;
    int id;
    std::string cls, text;
    bool operator==(const Item& o) const {
        return style == o.style && exStyle == o.exStyle && x == o.x && y == o.y && cx == o.cx &&
               cy == o.cy && id == o.id && cls == o.cls && text == o.text;
    }
};

std::ostream& operator<<(std::ostream& os, const Item& i) {
    return os << "{" << std::hex << i.style << "," << i.exStyle << std::dec << "," << i.x << "," << i.y
              << "," << i.cx << "," << i.cy << ",id " << i.id << "," << i.cls << ",\"" << i.text << "\"}";
}

const char* const BUTTON = "#128";
const char* const EDIT = "#129";
const char* const STATIC = "#130";
const uint32_t CHILD = WS_CHILD | WS_VISIBLE;

class StubResources : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> stub = StubImage();
        ASSERT_FALSE(stub.empty());
        WriteBytes(copy_, std::string(stub.begin(), stub.end()));
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

TEST_F(StubResources, OverwriteTemplate) {
    std::string bytes = Resource(RT_DIALOG, 102, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(bytes.empty());
    TemplateReader t(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT, t.Dword());
    EXPECT_EQ(0u, t.Dword());  // extended style
    uint16_t count = t.Word();
    EXPECT_EQ(0, t.Short());
    EXPECT_EQ(0, t.Short());
    EXPECT_EQ(319, t.Short());
    EXPECT_EQ(61, t.Short());
    EXPECT_EQ("", t.NameOrOrdinal());  // menu
    EXPECT_EQ("", t.NameOrOrdinal());  // the default dialog class
    EXPECT_EQ("Overwrite confirmation", t.NameOrOrdinal());
    EXPECT_EQ(8, t.Word());
    EXPECT_EQ("MS Sans Serif", t.NameOrOrdinal());

    const uint32_t PUSH = CHILD | WS_TABSTOP | BS_PUSHBUTTON;
    const std::vector<Item> expected = {
        {PUSH, 0, 5, 40, 50, 14, IDOK, BUTTON, "&Yes"},
        {PUSH, 0, 69, 40, 50, 14, 102, BUTTON, "&No"},
        {PUSH, 0, 133, 40, 50, 14, 103, BUTTON, "Yes to &All"},
        {PUSH, 0, 197, 40, 50, 14, 104, BUTTON, "No &to All"},
        {PUSH, 0, 261, 40, 50, 14, IDCLOSE, BUTTON, "Cancel"},
        {CHILD | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL | ES_READONLY, 0, 7, 23, 305, 12, 2001, EDIT, ""},
        {CHILD | WS_GROUP | SS_LEFT, 0, 89, 9, 142, 8, 0xFFFF, STATIC,
         "File already exists. Do you want to overwrite?"},
    };
    ASSERT_EQ(expected.size(), count);
    for (const Item& want : expected) {
        t.AlignDword();
        Item got;
        got.style = t.Dword();
        got.exStyle = t.Dword();
        got.x = t.Short();
        got.y = t.Short();
        got.cx = t.Short();
        got.cy = t.Short();
        got.id = t.Word();
        got.cls = t.NameOrOrdinal();
        got.text = t.NameOrOrdinal();
        EXPECT_EQ(0, t.Word()) << "creation data";
        EXPECT_EQ(want, got);
    }
    EXPECT_TRUE(t.ok());
}

TEST_F(StubResources, MainTemplate) {
    std::string bytes = Resource(RT_DIALOG, 101, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(bytes.empty());
    TemplateReader t(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(1, t.Word());       // version
    EXPECT_EQ(0xFFFF, t.Word());  // extended template
    EXPECT_EQ(0u, t.Dword());     // help id
    EXPECT_EQ(0u, t.Dword());     // extended style
    EXPECT_EQ(static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER |
                                    DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS | DS_3DLOOK | DS_ABSALIGN),
              t.Dword());
    uint16_t count = t.Word();
    EXPECT_EQ(0, t.Short());
    EXPECT_EQ(0, t.Short());
    EXPECT_EQ(173, t.Short());
    EXPECT_EQ(47, t.Short());
    EXPECT_EQ("", t.NameOrOrdinal());
    // Class names match without regard to case; the resource compiler
    // stores this one in capitals.
    EXPECT_STRCASEEQ("LockboxSFX", t.NameOrOrdinal().c_str());
    EXPECT_EQ("", t.NameOrOrdinal());
    EXPECT_EQ(8, t.Word());
    EXPECT_EQ(0, t.Word());  // weight
    EXPECT_EQ(0x0100, t.Word()) << "not italic, character set 1";
    EXPECT_EQ("MS Sans Serif", t.NameOrOrdinal());

    const uint32_t PUSH = CHILD | WS_TABSTOP | BS_PUSHBUTTON;
    const std::vector<Item> expected = {
        {CHILD | WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL | ES_OEMCONVERT, 0, 74, 7, 82, 12,
         1000, EDIT, ""},
        {PUSH, WS_EX_STATICEDGE, 29, 28, 42, 12, IDOK, BUTTON, "OK"},
        {PUSH, WS_EX_STATICEDGE, 101, 28, 42, 12, IDCANCEL, BUTTON, "Cancel"},
        {CHILD | WS_GROUP | SS_LEFTNOWORDWRAP, WS_EX_TRANSPARENT, 20, 8, 52, 11, 1001, STATIC,
         "Enter password:"},
    };
    ASSERT_EQ(expected.size(), count);
    for (const Item& want : expected) {
        t.AlignDword();
        EXPECT_EQ(0u, t.Dword()) << "help id";
        Item got;
        got.exStyle = t.Dword();
        got.style = t.Dword();
        got.x = t.Short();
        got.y = t.Short();
        got.cx = t.Short();
        got.cy = t.Short();
        got.id = static_cast<int>(t.Dword());
        got.cls = t.NameOrOrdinal();
        got.text = t.NameOrOrdinal();
        EXPECT_EQ(0, t.Word()) << "creation data";
        EXPECT_EQ(want, got);
    }
    EXPECT_TRUE(t.ok());
}

TEST_F(StubResources, IconAndBackground) {
    // Icon group 102 (Russian, 1049): one 32 x 32 image of 16 colours, icon 1.
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

    // Bitmap 107 (US English, 1033): 8 x 8, 4 bits, BI_RGB, VGA palette,
    // every pixel palette entry 7 (light grey).
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

}  // namespace
}  // namespace unattended_test
