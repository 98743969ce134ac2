// --background and --icon: the output's resources, checked with wrestool
// (icoutils), an implementation independent of the tool's.
#include "tool_fixture.h"

namespace {

// A 24-bit bottom-up BMP of `w` x `h` pixels.
std::string MakeBmp(int w, int h) {
    int row = (w * 3 + 3) / 4 * 4;
    std::string bmp(54 + (size_t)row * h, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
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
        ico[e] = (char)(16 << i);
        ico[e + 1] = (char)(16 << i);
        Put16(ico, e + 4, 1);
        Put16(ico, e + 6, 32);
        Put32(ico, e + 8, (uint32_t)sizes[i]);
        Put32(ico, e + 12, (uint32_t)ico.size());
        ico += std::string((size_t)sizes[i], (char)('A' + i));
        // keep the directory offsets right for the next image
    }
    return ico;
}

bool HaveWrestool() {
    int rc = -1;
    RunShell("wrestool --version", &rc);
    return rc == 0;
}

std::string Resource(const std::string& exe, const std::string& select) {
    return RunShell("wrestool -x --raw " + select + " " + ShellQuote(exe));
}

class Resources : public ToolTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (!HaveWrestool()) GTEST_SKIP() << "wrestool (icoutils) is not installed";
        WriteFileBytes(Path("stub.exe"), MakeFakeStub(GetParam()));
        WriteFileBytes(Path("f.txt"), "file\n");
    }
};

TEST_P(Resources, BackgroundReplacesBitmap107AndSetsTheSize) {
    std::string bmp = MakeBmp(37, 21);
    WriteFileBytes(Path("bg.bmp"), bmp);
    ToolRun r = RunLockbox(dir, Create({"-o", "bg.exe", "-p", PASSWORD, "--background", "bg.bmp", "f.txt"}));
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(bmp.substr(14), Resource(Path("bg.exe"), "--type=2 --name=107 --language=1033"));
    std::string listing = RunShell("wrestool -l " + ShellQuote(Path("bg.exe")));
    EXPECT_NE(std::string::npos, listing.find("--type=5 --name=101")) << listing;  // others kept
    ToolRun list = RunLockbox(dir, {"list", "bg.exe", "-p", PASSWORD});
    EXPECT_NE(std::string::npos, list.out.find("background:  37 x 21")) << list.out;
    // The payload still begins where the last section ends.
    EXPECT_EQ(0, RunLockbox(dir, {"test", "bg.exe", "-p", PASSWORD}).exitCode);
}

TEST_P(Resources, IconReplacesGroup102AndItsImages) {
    std::string ico = MakeIco({40, 72});
    Put32(ico, 6 + 16 + 12, 6 + 32 + 40);  // second image follows the first
    WriteFileBytes(Path("i.ico"), ico);
    ToolRun r = RunLockbox(dir, Create({"-o", "icon.exe", "-p", PASSWORD, "--icon", "i.ico", "f.txt"}));
    ASSERT_EQ(0, r.exitCode) << r.err;
    std::string listing = RunShell("wrestool -l " + ShellQuote(Path("icon.exe")));
    EXPECT_NE(std::string::npos, listing.find("--type=14 --name=102 --language=1049")) << listing;
    EXPECT_EQ(std::string(40, 'A'), Resource(Path("icon.exe"), "--type=3 --name=1 --language=1049"));
    EXPECT_EQ(std::string(72, 'B'), Resource(Path("icon.exe"), "--type=3 --name=2 --language=1049"));
    std::string group = Resource(Path("icon.exe"), "--type=14 --name=102");
    ASSERT_EQ(6u + 2 * 14, group.size());
    EXPECT_EQ(ico.substr(6, 12), group.substr(6, 12));
    EXPECT_EQ(1, (uint8_t)group[6 + 12]);
    EXPECT_EQ(2, (uint8_t)group[6 + 14 + 12]);
    EXPECT_EQ(0, RunLockbox(dir, {"test", "icon.exe", "-p", PASSWORD}).exitCode);
}

// Every archive declares asInvoker (no elevation for a name like setup.exe)
// and carries version strings from the options, with the title as the
// default description and the description as the default product.
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
        std::vector<std::string> args = {"-o", "setup.exe", "-p", PASSWORD, "f.txt"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ToolRun r = RunLockbox(dir, Create(args));
        ASSERT_EQ(0, r.exitCode) << r.err;
        std::string manifest = Resource(Path("setup.exe"), "--type=24 --name=1 --language=1033");
        EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
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

}  // namespace
