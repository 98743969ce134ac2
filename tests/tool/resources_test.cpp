// The output's resources (--background, --icon, manifest, version), checked with wrestool (icoutils).
#include "tool_fixture.h"

namespace {

// A 24-bit bottom-up BMP of `w` x `h` pixels.
std::string MakeBmp(int w, int h) {
    int row = (w * 3 + 3) / 4 * 4;
    std::string bmp(54 + (size_t)row * h, '\0');
    Put16(bmp, 0, 0x4D42);  // "BM"
    Put32(bmp, 2, (uint32_t)bmp.size());
    Put32(bmp, 10, 54);
    Put32(bmp, 14, 40);
    Put32(bmp, 18, (uint32_t)w);
    Put32(bmp, 22, (uint32_t)h);
    Put16(bmp, 26, 1);
    Put16(bmp, 28, 24);
    for (size_t i = 54; i < bmp.size(); i++) bmp[i] = (char)(i * 13);
    return bmp;
}

// An .ico with two images of `sizes` bytes (contents are not decoded).
std::string MakeIco(const std::vector<int>& sizes) {
    std::string ico(6 + 16 * sizes.size(), '\0');
    Put16(ico, 2, 1);
    Put16(ico, 4, (uint32_t)sizes.size());
    for (size_t i = 0; i < sizes.size(); i++) {
        size_t e = 6 + 16 * i;
        Put16(ico, e, 0x101u * (16 << i));  // width and height
        Put16(ico, e + 4, 1);
        Put16(ico, e + 6, 32);
        Put32(ico, e + 8, (uint32_t)sizes[i]);
        Put32(ico, e + 12, (uint32_t)ico.size());
        ico += std::string((size_t)sizes[i], (char)('A' + i));
    }
    return ico;
}

std::string Resource(const std::string& exe, const std::string& select) {
    return RunShell("wrestool -x --raw " + select + " " + ShellQuote(exe));
}

class Resources : public ToolTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (!Succeeds("wrestool --version")) GTEST_SKIP() << "wrestool (icoutils) is not installed";
        WriteFileBytes(Path("stub.exe"), MakeFakeStub(GetParam()));
        WriteFileBytes(Path("f.txt"), "file\n");
    }
};

TEST_P(Resources, BackgroundReplacesBitmap107AndSetsTheSize) {
    std::string bmp = MakeBmp(37, 21);
    WriteFileBytes(Path("bg.bmp"), bmp);
    RunOk(dir, Create({"-o", "bg.exe", "-p", PASSWORD, "--background", "bg.bmp", "f.txt"}));
    EXPECT_EQ(bmp.substr(14), Resource(Path("bg.exe"), "--type=2 --name=107 --language=1033"));
    EXPECT_CONTAINS(RunShell("wrestool -l " + ShellQuote(Path("bg.exe"))), "--type=5 --name=101");  // others kept
    EXPECT_CONTAINS(RunLockbox(dir, {"list", "bg.exe", "-p", PASSWORD}).out, "background:  37 x 21");
    // The payload still begins where the last section ends.
    EXPECT_EQ(0, RunLockbox(dir, {"test", "bg.exe", "-p", PASSWORD}).exitCode);
}

TEST_P(Resources, IconReplacesGroup102AndItsImages) {
    std::string ico = MakeIco({40, 72});
    WriteFileBytes(Path("i.ico"), ico);
    RunOk(dir, Create({"-o", "icon.exe", "-p", PASSWORD, "--icon", "i.ico", "f.txt"}));
    EXPECT_CONTAINS(RunShell("wrestool -l " + ShellQuote(Path("icon.exe"))), "--type=14 --name=102 --language=1049");
    EXPECT_EQ(std::string(40, 'A'), Resource(Path("icon.exe"), "--type=3 --name=1 --language=1049"));
    EXPECT_EQ(std::string(72, 'B'), Resource(Path("icon.exe"), "--type=3 --name=2 --language=1049"));
    std::string group = Resource(Path("icon.exe"), "--type=14 --name=102");
    ASSERT_EQ(6u + 2 * 14, group.size());
    EXPECT_EQ(ico.substr(6, 12), group.substr(6, 12));
    EXPECT_EQ(1, (uint8_t)group[6 + 12]);
    EXPECT_EQ(2, (uint8_t)group[6 + 14 + 12]);
    EXPECT_EQ(0, RunLockbox(dir, {"test", "icon.exe", "-p", PASSWORD}).exitCode);
}

// asInvoker (no elevation for setup.exe), and version strings defaulting to the title, then description.
TEST_P(Resources, ManifestAndVersionStrings) {
    struct Case {
        std::vector<std::string> options;
        std::vector<std::u16string> strings;  // found in the version resource
    } cases[] = {
        {{"--title", "Tools"}, {u"FileDescription", u"Tools", u"ProductName", u"1.0.0.0"}},
        {{"--title", "T", "--description", "Setup of X", "--product", "X", "--company", "Example Ltd",
          "--file-version", "2.5"},
         {u"Setup of X", u"X", u"CompanyName", u"Example Ltd", u"2.5.0.0"}},
    };
    for (const Case& c : cases) {
        RunOk(dir, Create(Args{"-o", "setup.exe", "-p", PASSWORD, "f.txt"} + c.options));
        std::string manifest = Resource(Path("setup.exe"), "--type=24 --name=1 --language=1033");
        EXPECT_CONTAINS(manifest, "level=\"asInvoker\"");
        EXPECT_EQ(std::string::npos, manifest.find("dpiAware"));  // the windows keep their look
        std::string version = Resource(Path("setup.exe"), "--type=16 --name=1 --language=1033");
        for (const std::u16string& text : c.strings) {
            std::string utf16;
            for (char16_t u : text) utf16 += {(char)(u & 0xFF), (char)(u >> 8)};
            EXPECT_NE(std::string::npos, version.find(utf16 + std::string(2, '\0')))
                << std::string(text.begin(), text.end());
        }
        EXPECT_EQ(0, RunLockbox(dir, {"test", "setup.exe", "-p", PASSWORD}).exitCode);
    }
}

INSTANTIATE_TEST_SUITE_P(Stubs, Resources, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return std::string(i.param ? "RelocationsLast" : "ResourcesLast");
                         });

// Stubs that would have the resource editor run without end are refused within 500 MB, writing nothing.
TEST_F(ToolTest, CraftedStubResourcesAreRefused) {
    RawTree shared, data, icons, overlap;
    // 2000 entries at each level, all leading to one directory below: 8e9 paths.
    uint32_t n = 2000, root = shared.Dir(n), names = shared.Dir(n), langs = shared.Dir(n), leaf = shared.Data(4);
    for (uint32_t i = 0; i < n; i++) {
        shared.Set(root, i, i, SUB | names);
        shared.Set(names, i, i, SUB | langs);
        shared.Set(langs, i, i, leaf);
    }
    // 4096 resources with the same MiB of data: 4 GiB of copies.
    root = data.Dir(1), names = data.Dir(4096), leaf = data.Data(1 << 20);
    data.Set(root, 0, 10, SUB | names);
    for (uint32_t i = 0; i < 4096; i++) {
        uint32_t lang = data.Dir(1);
        data.Set(names, i, i, SUB | lang);
        data.Set(lang, 0, 0, leaf);
    }
    // Icons 0 to 65535, in two directories of type 3: no id is left.
    root = icons.Dir(2), names = icons.Dir(0x8000), langs = icons.Dir(0x8000);
    icons.Set(root, 0, 3, SUB | names);
    icons.Set(root, 1, 3, SUB | langs);
    for (uint32_t id = 0; id < 0x10000; id++) icons.Set(id < 0x8000 ? names : langs, id % 0x8000, id, SUB | icons.Dir(0));
    // 32768 directories, each one entry further into one array of 65536 entries (the header of one
    // is the entry before it), each reading 32768 of them: 1e9 resources of no data.
    root = overlap.Dir(1), names = overlap.Dir(0x8000), langs = overlap.Dir(0x7FFF, 0x8001);
    overlap.b.resize(0x107FF0);  // an entry leading here reads as a count of 0x7FF0 + 0x10
    leaf = overlap.Data(0);
    overlap.Set(root, 0, 10, SUB | names);
    for (uint32_t i = 0; i < 0x10000; i++) overlap.Set(langs, i, 0, leaf);
    for (uint32_t i = 0; i < 0x8000; i++) overlap.Set(names, i, i, SUB | (langs + 8 * i));
    std::string badFileAlign = MakeFakeStub(true), badSectionAlign = badFileAlign;
    Put32(badFileAlign, 0x98 + 36, 0xFF000200u);  // padded the section to 4 GiB
    Put32(badSectionAlign, 0x98 + 32, 0x100);
    struct Case {
        std::string stub;
        const char* options;
        std::string problem;
    } cases[] = {
        {MakeFakeStub(true, shared.b), "", "a resource directory is reached twice"},
        {MakeFakeStub(true, data.b), "", "the resources hold more data than the file"},
        {MakeFakeStub(true, icons.b), "--icon i.ico", "every icon id is taken"},
        {MakeFakeStub(true, overlap.b), "", "the resource tree has more than 262144 entries"},
        {badFileAlign, "", "its file alignment (4278190592) is not a power of two from 512 to 65536"},
        {badSectionAlign, "", "its section alignment (256) is not a power of two at least as large"},
    };
    WriteFileBytes(Path("f.txt"), "file\n");
    WriteFileBytes(Path("i.ico"), MakeIco({40}));
    for (const Case& c : cases) {
        WriteFileBytes(Path("crafted.exe"), c.stub);
        std::string out = RunShellIn(dir, MEMORY_CAP + std::string("timeout 60 ") + TOOL +
                                              " create -q -j 1 --stub crafted.exe -o out.exe -p " + ShellQuote(PASSWORD) +
                                              " " + c.options + " f.txt 2>&1; echo exit=$?");
        EXPECT_CONTAINS(out, "cannot edit the resources of stub 'crafted.exe': " + c.problem);
        EXPECT_CONTAINS(out, "exit=1");
        EXPECT_NE(0, access(Path("out.exe").c_str(), F_OK)) << c.problem;
    }
}

}  // namespace
