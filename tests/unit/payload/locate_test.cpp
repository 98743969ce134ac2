// Payload location in PE images of this build's kind.
#include <gtest/gtest.h>

#include "archive_fixture.h"

namespace {

// Runs the locator on an exact-size heap copy, so a read past `size` is
// caught by the sanitizer build.
int64_t Locate(const Bytes& image, size_t size) {
    std::vector<uint8_t> copy(image.begin(), image.begin() + size);
    return LocatePayloadInImage(size ? copy.data() : nullptr, size);
}
int64_t Locate(const Bytes& image) { return Locate(image, image.size()); }

struct LocateCase {
    const char* what;
    PeShape shape;
    int64_t expected;
};

PeShape With(uint16_t magic, uint16_t optionalSize, std::vector<PeSection> sections) {
    PeShape s;
    s.magic = magic;
    s.sizeOfOptionalHeader = optionalSize;
    s.sections = sections;
    return s;
}

TEST(LocatePayload, Table) {
    const uint16_t M = PE_MAGIC, H = PE_OPTIONAL_HEADER_SIZE;
    const LocateCase cases[] = {
        {"one section", With(M, H, {{0x200, 0x200}}), 0x400},
        {"optional header size not standard: table still at the fixed place",
         With(M, H + 16, {{0x200, 0x200}}), 0x400},
        {"optional header size 0", With(M, 0, {{0x400, 0x10}}), 0x410},
        {"last table entry decides, not the furthest section",
         With(M, H, {{0x400, 0x800}, {0x200, 0x200}}), 0x400},
        {"three sections", With(M, H, {{0x400, 0x200}, {0x600, 0x200}, {0x800, 0x123}}), 0x923},
        {"image of the other kind (PE32 / PE32+) refused", With(PE_OTHER_MAGIC, H, {{0x200, 0x200}}), -1},
        {"ROM image refused", With(0x107, H, {{0x200, 0x200}}), -1},
        {"no sections", With(M, H, {}), -1},
    };
    for (const LocateCase& c : cases) {
        EXPECT_EQ(c.expected, Locate(MakePeImage(c.shape))) << c.what;
    }
}

TEST(LocatePayload, PositionBeyond4GiBDoesNotWrap) {
    Bytes image = MakePeImage();  // small image, patched section entry
    PutLE32(image, 0x80 + PE_SECTION_TABLE + 16, 0x100);
    PutLE32(image, 0x80 + PE_SECTION_TABLE + 20, 0xFFFFFFF0u);
    EXPECT_EQ(0x1000000F0LL, Locate(image));
}

// Fault 6: the locator never reads outside the image, whatever the headers
// claim. Each truncation of a valid image either fails or, once the last
// section entry is complete, finds the payload.
TEST(LocatePayloadFault, EveryTruncationStaysInBounds) {
    Bytes image = MakePeImage(With(PE_MAGIC, PE_OPTIONAL_HEADER_SIZE, {{0x400, 0x100}, {0x500, 0x100}}));
    size_t needed = 0x80 + PE_SECTION_TABLE + 40 * 2;
    for (size_t size = 0; size <= image.size(); size++) {
        EXPECT_EQ(size < needed ? -1 : 0x600, Locate(image, size)) << "size " << size;
    }
}

TEST(LocatePayloadFault, FieldsPointingPastTheEnd) {
    Bytes base = MakePeImage();
    struct {
        const char* what;
        size_t at;
        uint16_t value;
    } patches[] = {
        {"e_lfanew past the end", 60, 0xFFF0},
        {"e_lfanew with the magic past the end", 60, (uint16_t)(base.size() - 25)},
        {"section count reaching past the end", 0x80 + 6, 0xFFFF},
        {"section count one too many", 0x80 + 6, (uint16_t)((base.size() - 0x80 - PE_SECTION_TABLE) / 40 + 1)},
    };
    for (const auto& p : patches) {
        Bytes image = base;
        PutLE16(image, p.at, p.value);
        EXPECT_EQ(-1, Locate(image)) << p.what;
    }
}

TEST(LocatePayload, FromFile) {
    ScratchDir scratch;
    std::string exe = scratch.Native("a.exe");
    ASSERT_TRUE(WriteBytes(exe, MakePeImage()));
    EXPECT_EQ(0x400, LocatePayload(exe.c_str()));
    EXPECT_EQ(-1, LocatePayload(scratch.Native("missing.exe").c_str()));
    std::string empty = scratch.Native("empty.exe");
    ASSERT_TRUE(WriteBytes(empty, Bytes()));
    EXPECT_EQ(-1, LocatePayload(empty.c_str()));
    std::string tiny = scratch.Native("tiny.exe");
    ASSERT_TRUE(WriteBytes(tiny, Bytes(63, 0)));
    EXPECT_EQ(-1, LocatePayload(tiny.c_str()));
}

}  // namespace
