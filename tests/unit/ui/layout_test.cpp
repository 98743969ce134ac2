// Background layout: window growth about its centre, control shifts per mode, the stored size and limit.
#include <gtest/gtest.h>

#include <tuple>

#include "ui/layout.h"

namespace {

struct LayoutCase {
    const char* what;
    int32_t clientWidth, clientHeight;
    uint32_t backgroundWidth, backgroundHeight;
    uint8_t layoutMode;
    // expected
    uint32_t storedWidth, storedHeight;
    int32_t moveX, moveY, growWidth, growHeight;
    bool moveControls;
    int32_t shiftX, shiftY;
};

const LayoutCase CASES[] = {
    {"background smaller than the client on both sides: raised, nothing moves",
     260, 76, 100, 50, 2, 260, 76, 0, 0, 0, 0, true, 0, 0},
    {"background equal to the client", 260, 76, 260, 76, 2, 260, 76, 0, 0, 0, 0, true, 0, 0},
    {"width only (height 0): controls move only sideways",
     260, 76, 400, 0, 2, 400, 76, -70, 0, 140, 0, true, 70, 0},
    {"growth of 7: window 3 left, 7 wider, controls 3 right",
     260, 76, 267, 76, 2, 267, 76, -3, 0, 7, 0, true, 3, 0},
    {"odd height growth: extra pixel goes to the bottom; mode 2 keeps bottom distance",
     260, 76, 260, 85, 2, 260, 85, 0, -4, 0, 9, true, 0, 9},
    {"400 x 300 over 260 x 76, mode 0: window grows, controls stay",
     260, 76, 400, 300, 0, 400, 300, -70, -112, 140, 224, false, 0, 0},
    {"400 x 300 over 260 x 76, mode 1: centred, at the top",
     260, 76, 400, 300, 1, 400, 300, -70, -112, 140, 224, true, 70, 0},
    {"400 x 300 over 260 x 76, mode 2: centred, at the bottom",
     260, 76, 400, 300, 2, 400, 300, -70, -112, 140, 224, true, 70, 224},
    {"400 x 300 over 260 x 76, mode 255 acts as mode 2",
     260, 76, 400, 300, 255, 400, 300, -70, -112, 140, 224, true, 70, 224},
    {"mode 3 acts as mode 2", 260, 76, 400, 300, 3, 400, 300, -70, -112, 140, 224, true, 70, 224},
    {"0xFFFFFFFF is limited to 32767 on both sides",
     260, 76, 0xFFFFFFFFu, 0xFFFFFFFFu, 2, 32767, 32767,
     -16253, -16345, 32507, 32691, true, 16253, 32691},
    {"32767 is kept, 32768 is limited", 260, 76, 32767, 32768, 1, 32767, 32767,
     -16253, -16345, 32507, 32691, true, 16253, 0},
    {"a client wider than the limit raises the limited value and nothing grows",
     40000, 76, 0xFFFFFFFFu, 76, 2, 40000, 76, 0, 0, 0, 0, true, 0, 0},
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.what; }
class LayoutCases : public ::testing::TestWithParam<LayoutCase> {};
TEST_P(LayoutCases, StoredSizeMovesAndShifts) {
    const LayoutCase& c = GetParam();
    uint32_t w = c.backgroundWidth, h = c.backgroundHeight;
    LayoutResult r = ComputeLayout(c.clientWidth, c.clientHeight, &w, &h, c.layoutMode);
    // stored size, window move and growth, controls moved and their shift
    EXPECT_EQ(std::make_tuple(c.storedWidth, c.storedHeight), std::make_tuple(w, h));
    EXPECT_EQ(std::make_tuple(c.moveX, c.moveY, c.growWidth, c.growHeight),
              std::make_tuple(r.moveX, r.moveY, r.growWidth, r.growHeight));
    EXPECT_EQ(std::make_tuple(c.moveControls, c.shiftX, c.shiftY), std::make_tuple(r.moveControls, r.shiftX, r.shiftY));
}
INSTANTIATE_TEST_SUITE_P(Sizes, LayoutCases, ::testing::ValuesIn(CASES));

// Shown again after the first layout, the client equals the stored background: nothing moves or grows.
TEST(LayoutTest, SecondLayoutMovesNothing) {
    for (uint8_t mode : {0, 1, 2, 255}) {
        SCOPED_TRACE(mode);
        uint32_t w = 401, h = 0xFFFFFFFFu;
        LayoutResult first = ComputeLayout(260, 76, &w, &h, mode);
        int32_t cw = 260 + first.growWidth, ch = 76 + first.growHeight;
        EXPECT_EQ((uint32_t)cw, w);
        EXPECT_EQ((uint32_t)ch, h);
        LayoutResult r = ComputeLayout(cw, ch, &w, &h, mode);
        EXPECT_EQ(std::make_tuple(0, 0, 0, 0, 0, 0),
                  std::make_tuple(r.moveX, r.moveY, r.growWidth, r.growHeight, r.shiftX, r.shiftY));
        EXPECT_EQ(std::make_tuple(401u, 32767u), std::make_tuple(w, h));
    }
}

// The window keeps its centre: the right edge moves ceil(growth / 2) for every growth up to a few pixels.
TEST(LayoutTest, WindowKeepsItsCentre) {
    for (uint32_t growth = 0; growth < 12; ++growth) {
        SCOPED_TRACE(growth);
        uint32_t w = 260 + growth, h = 76 + growth;
        LayoutResult r = ComputeLayout(260, 76, &w, &h, 2);
        int32_t left = r.moveX, right = 260 + r.moveX + r.growWidth;
        EXPECT_EQ(-left, (int32_t)growth / 2);
        EXPECT_EQ(right - 260, (int32_t)(growth + 1) / 2);
        EXPECT_EQ(r.shiftX, -r.moveX); // controls keep their place on screen sideways
    }
}

}  // namespace
