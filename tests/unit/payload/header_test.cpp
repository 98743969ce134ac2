// The archive header: field limits, truncation anywhere, password check.
#include <gtest/gtest.h>

#include "archive_fixture.h"

namespace {

using HeaderTest = ArchiveTest;

const int64_t P = 0x400;  // payload position of the default image

// Nothing appended, or the payload position beyond the file.
TEST_F(HeaderTest, NoPayloadIsCorrupt) {
    ASSERT_EQ(RESULT_CORRUPT, OpenBytes(MakePeImage()));
    EXPECT_EQ(nullptr, reader.windowTitle);
    Bytes archive = MakePeImage();
    StoreLE32(&archive[0x80 + PE_SECTION_TABLE + 20], 0x100000);
    Append(archive, BuildHeader(header));
    EXPECT_EQ(RESULT_CORRUPT, OpenBytes(archive));
}

TEST_F(HeaderTest, MinimalHeaderOf35Bytes) {
    header.title = "";
    Bytes bytes = BuildHeader(header);
    ASSERT_EQ(35u, bytes.size());
    ASSERT_EQ(RESULT_OK, OpenPayload(bytes, bytes.size()));
    ASSERT_NE(nullptr, reader.windowTitle);
    EXPECT_STREQ("", reader.windowTitle);
    EXPECT_EQ(0u, reader.runAfterLength);
    EXPECT_EQ(2u, reader.layoutMode);
    EXPECT_EQ(P + 35, reader.firstEntryOffset);
    EXPECT_EQ(P + 35, PlatformTell(reader.file));
    EXPECT_EQ(RESULT_END, Next());
    EXPECT_EQ(RESULT_END, Next());  // and again
}

TEST_F(HeaderTest, ValuesAsStored) {
    header.showCmd = 5;
    header.layout = 1;
    header.width = 640;
    header.height = 0x12345678;
    header.title = "Holiday photos";
    header.runAfter = "photos\\index.html";
    ASSERT_EQ(RESULT_OK, Open({}));
    EXPECT_EQ(5u, reader.openFolderShowCmd);
    EXPECT_EQ(1u, reader.layoutMode);
    EXPECT_EQ(640u, reader.backgroundWidth);
    EXPECT_EQ(0x12345678u, reader.backgroundHeight);
    EXPECT_STREQ("Holiday photos", reader.windowTitle);
    ASSERT_EQ(header.runAfter.size(), reader.runAfterLength);
    EXPECT_EQ(P + 35 + 14 + 17, reader.firstEntryOffset);

    // The run-after name is stored encrypted as one piece from a fresh key.
    char name[261] = {};
    DeriveStreamKey(&ctx, KeyOf(header.password));
    DecryptStream(&ctx, reader.runAfterName, name, reader.runAfterLength);
    EXPECT_STREQ("photos\\index.html", name);
    for (size_t i = reader.runAfterLength; i < sizeof reader.runAfterName; i++) ASSERT_EQ(0, reader.runAfterName[i]);
}

TEST_F(HeaderTest, LengthLimits) {
    const struct {
        size_t title, runAfter;
        int expected;
        bool titleSet;
        int64_t titleLength = -1;  // stored instead of the true length
    } cases[] = {
        {260, 0, RESULT_OK, true},
        {261, 0, RESULT_CORRUPT, false},
        {0, 260, RESULT_OK, true},
        {5, 261, RESULT_CORRUPT, true},
        {260, 260, RESULT_OK, true},
        {300, 0, RESULT_CORRUPT, false, 0xFFFFFFFF},  // above the limit with the bytes present; wraps T + 1
    };
    for (const auto& c : cases) {
        header.title = std::string(c.title, 'T');
        header.runAfter = std::string(c.runAfter, 'r');
        header.titleLength = c.titleLength;
        EXPECT_EQ(c.expected, Open({})) << c.title << "/" << c.runAfter;
        ASSERT_EQ(c.titleSet, reader.windowTitle != nullptr) << c.title << "/" << c.runAfter;
        if (reader.windowTitle) {
            EXPECT_EQ(header.title, reader.windowTitle);
        }
    }
}

// A header cut at every byte is corrupt; the title is either absent or complete.
TEST_F(HeaderTest, EveryTruncation) {
    header.title = "Title";
    header.runAfter = "run.exe";
    Bytes full = BuildHeader(header);
    for (size_t cut = 0; cut < full.size(); cut++) {
        ASSERT_EQ(RESULT_CORRUPT, OpenPayload(full, cut)) << "cut at " << cut;
        if (cut < HDR_TITLE + 5) {
            EXPECT_EQ(nullptr, reader.windowTitle) << "cut at " << cut;
        } else {
            ASSERT_NE(nullptr, reader.windowTitle) << "cut at " << cut;
            EXPECT_STREQ("Title", reader.windowTitle);
        }
    }
}

TEST_F(HeaderTest, PayloadPositionFromTheLastSectionEntry) {
    PeShape pe;
    pe.sizeOfOptionalHeader = 0xF0;
    pe.sections = {{0x400, 0x400}, {0x200, 0x300}};  // the first ends further
    ASSERT_EQ(RESULT_OK, Open({}, pe));
    EXPECT_EQ(0x500 + 35 + (int64_t)header.title.size(), reader.firstEntryOffset);

    pe.magic = PE_OTHER_MAGIC;  // the tool reads archives of either extractor
    ASSERT_EQ(RESULT_OK, Open({}, pe));
    EXPECT_EQ(0x500 + 35 + (int64_t)header.title.size(), reader.firstEntryOffset);
    pe.magic = 0x107;  // a ROM image
    EXPECT_EQ(RESULT_CORRUPT, Open({}, pe));
}

TEST_F(HeaderTest, PasswordCheck) {
    ASSERT_EQ(RESULT_OK, Open({}));
    EXPECT_TRUE(CheckPassword(&ctx, u"secret", reader.passwordCheckBlock));
    EXPECT_FALSE(CheckPassword(&ctx, u"Secret", reader.passwordCheckBlock));
    EXPECT_FALSE(CheckPassword(&ctx, u"secret!", reader.passwordCheckBlock));
    EXPECT_FALSE(CheckPassword(&ctx, nullptr, reader.passwordCheckBlock));
}

}  // namespace
