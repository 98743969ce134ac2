// Payload location in PE images of this build's kind.
#include <gtest/gtest.h>

#include "archive_fixture.h"

namespace {

// The locator on an exact-size heap copy, so that the sanitizer build catches a read past `size`.
int64_t Locate(const Bytes& image, size_t size) {
    std::vector<uint8_t> copy(image.begin(), image.begin() + size);
    return LocatePayloadInImage(size ? copy.data() : nullptr, size);
}
int64_t Locate(const Bytes& image) { return Locate(image, image.size()); }

PeShape With(uint16_t magic, uint16_t optionalSize, std::vector<PeSection> sections) {
    PeShape s;
    s.magic = magic;
    s.sizeOfOptionalHeader = optionalSize;
    s.sections = sections;
    return s;
}

struct ShapeCase {
    const char* name;
    PeShape shape;
    int64_t expected;
};
const uint16_t M = PE_MAGIC, H = PE_OPTIONAL_HEADER_SIZE;
const ShapeCase SHAPES[] = {
    {"OneSection", With(M, H, {{0x200, 0x200}}), 0x400},
    // The section table stays at its fixed place whatever the header says.
    {"OptionalHeaderSizeNotStandard", With(M, H + 16, {{0x200, 0x200}}), 0x400},
    {"OptionalHeaderSize0", With(M, 0, {{0x400, 0x10}}), 0x410},
    {"LastTableEntryDecidesNotTheFurthestSection", With(M, H, {{0x400, 0x800}, {0x200, 0x200}}), 0x400},
    {"ThreeSections", With(M, H, {{0x400, 0x200}, {0x600, 0x200}, {0x800, 0x123}}), 0x923},
    {"OtherPeKindAtItsOwnTablePlace", With(PE_OTHER_MAGIC, H, {{0x200, 0x200}}), 0x400},
    {"RomImageRefused", With(0x107, H, {{0x200, 0x200}}), -1},
    {"NoSections", With(M, H, {}), -1},
};

class LocateShape : public ::testing::TestWithParam<ShapeCase> {};
TEST_P(LocateShape, Payload) { EXPECT_EQ(GetParam().expected, Locate(MakePeImage(GetParam().shape))); }
INSTANTIATE_TEST_SUITE_P(Shapes, LocateShape, ::testing::ValuesIn(SHAPES),
                         [](const ::testing::TestParamInfo<ShapeCase>& p) { return std::string(p.param.name); });

TEST(LocatePayload, PositionBeyond4GiBDoesNotWrap) {
    Bytes image = MakePeImage();
    StoreLE32(&image[0x80 + PE_SECTION_TABLE + 16], 0x100);
    StoreLE32(&image[0x80 + PE_SECTION_TABLE + 20], 0xFFFFFFF0u);
    EXPECT_EQ(0x1000000F0LL, Locate(image));
}

// Each truncation of a valid image fails, or finds the payload once the last section entry is whole.
TEST(LocatePayloadBounds, EveryTruncationStaysInBounds) {
    Bytes image = MakePeImage(With(M, H, {{0x400, 0x100}, {0x500, 0x100}}));
    size_t needed = 0x80 + PE_SECTION_TABLE + 40 * 2;
    for (size_t size = 0; size <= image.size(); size++)
        EXPECT_EQ(size < needed ? -1 : 0x600, Locate(image, size)) << "size " << size;
}

// Headers pointing past the end (or beyond 64 KiB) of an exact-size image of one section.
struct BoundsCase {
    const char* name;
    size_t at;       // a u16 field set to `value` (none when 0)
    uint16_t value;
    size_t keep;     // bytes of the image kept (all when 0)
};
const size_t IMAGE_SIZE = MakePeImage().size();
const BoundsCase PAST_THE_END[] = {
    {"ShorterThanADosHeader", 0, 0, 63},
    {"ELfanewPastTheEnd", 60, 0xFFF0, 0},
    // e_lfanew is 32 bits: a high half is a PE header beyond 64 KiB, not this image's own.
    {"ELfanewHighHalf", 62, 0x0001, 0},
    {"OptionalHeaderMagicPastTheEnd", 60, (uint16_t)(IMAGE_SIZE - 25), 0},
    {"SectionCountPastTheEnd", 0x80 + 6, 0xFFFF, 0},
    {"SectionCountOneTooMany", 0x80 + 6, (uint16_t)((IMAGE_SIZE - 0x80 - PE_SECTION_TABLE) / 40 + 1), 0},
    {"SectionTableCutOff", 0, 0, 0x80 + PE_SECTION_TABLE + 39},
};

class LocatePastTheEnd : public ::testing::TestWithParam<BoundsCase> {};
TEST_P(LocatePastTheEnd, GivesMinusOne) {
    Bytes image = MakePeImage();
    ASSERT_EQ(0x400, Locate(image));
    if (GetParam().at) StoreLE16(&image[GetParam().at], GetParam().value);
    EXPECT_EQ(-1, Locate(image, GetParam().keep ? GetParam().keep : image.size()));
}
INSTANTIATE_TEST_SUITE_P(Fields, LocatePastTheEnd, ::testing::ValuesIn(PAST_THE_END),
                         [](const ::testing::TestParamInfo<BoundsCase>& p) { return std::string(p.param.name); });

TEST(LocatePayload, FromFile) {
    ScratchDir scratch;
    const struct {
        const char* name;
        Bytes bytes;
        int64_t expected;
    } files[] = {{"a.exe", MakePeImage(), 0x400}, {"empty.exe", Bytes(), -1}, {"tiny.exe", Bytes(63, 0), -1}};
    for (const auto& f : files) {
        ASSERT_TRUE(WriteFileBytes(scratch / f.name, f.bytes));
        EXPECT_EQ(f.expected, LocatePayload((scratch / f.name).c_str())) << f.name;
    }
    EXPECT_EQ(-1, LocatePayload((scratch / "missing.exe").c_str()));
}

}  // namespace
