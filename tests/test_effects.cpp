// Pixel effects on the headless display: what each effect copies, where it puts it, and that
// rectangles reaching past a surface never touch memory they must not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "gfx/screen.h"
#include "support.h"

namespace {

uint8_t& px(int slot, int x, int y) {
    return SurfaceTable[slot]->data()[y * SurfaceTable[slot]->pitch() + x];
}
// Unique within any 16 by 16 area and never 0 or 1, so a copied pixel names its source.
uint8_t pattern(int x, int y) { return uint8_t(std::max((x & 15) | (y & 15) << 4, 2)); }
void fill(int slot, bool patterned, uint8_t v = 0) {
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) px(slot, x, y) = patterned ? pattern(x, y) : v;
}
std::vector<uint8_t> snap(int slot) {
    const uint8_t* d = SurfaceTable[slot]->data();
    return {d, d + SurfaceTable[slot]->pitch() * 480};
}
int changed(const std::vector<uint8_t>& before, int slot) {
    const auto now = snap(slot);
    int n = 0;
    for (size_t i = 0; i < now.size(); ++i) n += now[i] != before[i];
    return n;
}

class Effects : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(screen.openScreen(1, 640, 480, 1, 8, 5), 1);
        fill(2, true);
        fill(3, false);
    }
    void TearDown() override { screen.closeScreen(); }
};

TEST_F(Effects, DissolveStagesCopyEachPixelOnceInTableOrder) {
    const int dx = 7, dy = 5, sx = 3, sy = 9, w = 13, h = 10;  // off the grid, partial cells
    int total = 0;
    for (int stage = 0; stage < 16; ++stage) {
        const auto before = snap(3);
        screen.dissolveCopy(dx, dy, sx, sy, w, h, 3, 2, uint8_t(stage), 0);
        total += changed(before, 3);
        EXPECT_EQ(px(3, dx + dissolveColumnOffsets[stage], dy + dissolveRowOffsets[stage]),
                  pattern(sx + dissolveColumnOffsets[stage], sy + dissolveRowOffsets[stage]));
    }
    EXPECT_EQ(total, w * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) ASSERT_EQ(px(3, dx + c, dy + r), pattern(sx + c, sy + r));

    // Mode 17 leaves destination pixels under colour 1 alone; any other mode copies colour 1.
    px(2, 0, 0) = 1;
    screen.dissolveCopy(0, 0, 0, 0, 8, 8, 4, 2, 0, 17);
    EXPECT_EQ(px(4, 0, 0), 0);
    EXPECT_EQ(px(4, 4, 4), pattern(4, 4));
    screen.dissolveCopy(0, 0, 0, 0, 8, 8, 4, 2, 0, 16);
    EXPECT_EQ(px(4, 0, 0), 1);
}

TEST_F(Effects, MosaicTakesEachBlocksCorner) {
    screen.mosaicCopy(20, 30, 0, 0, 10, 10, 3, 2, 4);
    for (int r = 0; r < 11; ++r)
        for (int c = 0; c < 11; ++c)
            ASSERT_EQ(px(3, 20 + c, 30 + r), c < 10 && r < 10 ? pattern(c / 4 * 4, r / 4 * 4) : 0);
}

TEST_F(Effects, BitmapTextPlacesGlyphsSixteenApart) {
    for (int x = 0; x < 592; ++x)
        for (int y = 464; y < 480; ++y) px(2, x, y) = uint8_t(100 + x / 16);  // glyph g is 100 + g
    const auto glyphAt = [](int x, int y) {
        return px(3, x, y) ? px(3, x + 15, y + 15) - 100 : -1;
    };
    screen.drawBitmapText(3, 40, 20, "Ab.9", 16);
    screen.drawBitmapText(3, 40, 50, "a b", 16);
    screen.drawBitmapText(3, -1, 80, "Z0z\x82\xa0", 16);  // five bytes: starts at 280
    screen.drawBitmapText(3, 610, 400, "11", 16);         // the second glyph would pass the edge
    const int expected[][3] = {{40, 20, 10}, {72, 20, 36}, {88, 20, 9},   {104, 20, -1}, {56, 50, -1},
                               {72, 50, 11}, {264, 80, -1}, {280, 80, 35}, {296, 80, 0},
                               {328, 80, -1}, {610, 400, 1}, {626, 400, -1}};
    for (const auto& e : expected) EXPECT_EQ(glyphAt(e[0], e[1]), e[2]) << e[0] << "," << e[1];
}

TEST_F(Effects, RotationDropsTheLastColumnAndRowAndAFlatWaveCopiesPlainly) {
    // A lone pixel right of the centre of a 9 by 9 block turns counter-clockwise to above it.
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) px(2, x, y) = x == 7 && y == 4 ? 77 : 1;
    screen.rotateBlock(100, 100, 0, 0, 9, 9, 90, 3, 2);
    EXPECT_EQ(px(3, 104, 101), 77);
    EXPECT_EQ(px(3, 107, 104), 0) << "colour 1 is left out";
    screen.rotateBlock(631, 300, 0, 0, 9, 9, 0, 3, 2);  // column 638 is written, 639 never
    screen.rotateBlock(632, 310, 0, 0, 9, 9, 0, 3, 2);
    EXPECT_EQ(px(3, 638, 304), 77);
    EXPECT_EQ(px(3, 639, 314), 0);
    fill(2, true);
    screen.waveCopy(30, 40, 5, 6, 50, 20, 3, 2, 16, 37.0f, 11.0f, 0.0f);
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 50; ++c) ASSERT_EQ(px(3, 30 + c, 40 + r), pattern(5 + c, 6 + r));
}

TEST_F(Effects, NothingIsTouchedOutsideTheSurfaces) {
    screen.mosaicCopy(632, 472, -2, -2, 10, 10, 3, 2, 4);  // both rectangles hang over an edge
    EXPECT_EQ(px(3, 635, 475), 0);                         // its block's corner is off the source
    EXPECT_EQ(px(3, 639, 479), pattern(2, 2));
    screen.dissolveCopy(630, 470, -3, -3, 64, 64, 3, 2, 5, 0);  // stage 5: offsets (3, 3)
    EXPECT_EQ(px(3, 633, 473), pattern(0, 0));
    screen.rotateBlock(600, 450, 600, 450, 100, 100, 200, 3, 2);

    const auto before = snap(3);
    screen.mosaicCopy(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 3, 2, 7);
    screen.dissolveCopy(0, 0, INT32_MIN, 0, INT32_MAX, 10, 3, 2, 0, 0);
    screen.rotateBlock(INT32_MAX, INT32_MAX, INT32_MIN, 0, 10, 10, 33, 3, 2);
    screen.waveCopy(0, 0, 0, 0, 10, 10, 3, 2, 16, 90.0f, 0.0f, 1e30f);
    screen.drawBitmapText(3, INT32_MAX - 20, 0, "11111", 16);
    EXPECT_EQ(changed(before, 3), 0);
}

}  // namespace
