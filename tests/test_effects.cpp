// Pixel effects on the headless display: what each effect copies, where it puts it, and that
// rectangles reaching past a surface are trimmed rather than read or written out of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "gfx/screen.h"

using platform::PaletteEntry;

namespace {

class Effects : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(screen.openScreen(1, 640, 480, 1, 8, 5), 1); }
    void TearDown() override { screen.closeScreen(); }

    static uint8_t& px(int slot, int x, int y) {
        platform::Surface* s = SurfaceTable[slot];
        return s->data()[size_t(y) * s->pitch() + x];
    }
    static void fill(int slot, uint8_t v) {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) px(slot, x, y) = v;
    }
    // Unique within any 16 by 16 area and never 0 or 1, so copies are traceable to their source.
    static uint8_t pattern(int x, int y) {
        const int v = (x & 15) | (y & 15) << 4;
        return uint8_t(v < 2 ? v + 2 : v);
    }
    static void fillPattern(int slot) {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) px(slot, x, y) = pattern(x, y);
    }
    static std::vector<uint8_t> snapshot(int slot) {
        const platform::Surface* s = SurfaceTable[slot];
        return std::vector<uint8_t>(s->data(), s->data() + size_t(s->pitch()) * s->height());
    }
    static int changedPixels(const std::vector<uint8_t>& before, int slot) {
        const std::vector<uint8_t> now = snapshot(slot);
        int n = 0;
        for (size_t i = 0; i < now.size(); ++i) n += now[i] != before[i];
        return n;
    }
    // Where the single pixel of value v lies in the slot, or (-1, -1).
    static std::pair<int, int> find(int slot, uint8_t v) {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (px(slot, x, y) == v) return {x, y};
        return {-1, -1};
    }
};

TEST_F(Effects, DissolveStagesCopyEveryPixelExactlyOnce) {
    std::set<int> cellPositions;
    for (int s = 0; s < 16; ++s) cellPositions.insert(dissolveRowOffsets[s] * 4 + dissolveColumnOffsets[s]);
    EXPECT_EQ(cellPositions.size(), 16u);

    fillPattern(2);
    fill(3, 0);
    // A rectangle that is not a whole number of cells, at positions off the 4-pixel grid.
    const int dx = 7, dy = 5, sx = 3, sy = 9, w = 13, h = 10;
    int total = 0;
    for (int stage = 0; stage < 16; ++stage) {
        const auto before = snapshot(3);
        screen.dissolveCopy(dx, dy, sx, sy, w, h, 3, 2, uint8_t(stage), 0);
        const int changed = changedPixels(before, 3);
        // Each stage adds only pixels that were not yet copied (the pattern has no 0).
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const bool thisStage =
                    c % 4 == dissolveColumnOffsets[stage] && r % 4 == dissolveRowOffsets[stage];
                if (thisStage) {
                    EXPECT_EQ(px(3, dx + c, dy + r), pattern(sx + c, sy + r));
                }
            }
        total += changed;
    }
    EXPECT_EQ(total, w * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) ASSERT_EQ(px(3, dx + c, dy + r), pattern(sx + c, sy + r));

    // Stages outside 0..15 do nothing.
    fill(3, 0);
    const auto before = snapshot(3);
    screen.dissolveCopy(0, 0, 0, 0, 640, 480, 3, 2, 16, 0);
    screen.dissolveCopy(0, 0, 0, 0, 640, 480, 3, 2, 255, 0);
    EXPECT_EQ(changedPixels(before, 3), 0);
}

TEST_F(Effects, DissolveModeSeventeenLeavesColourOneOut) {
    fill(2, 1);
    px(2, 4, 0) = 9;
    for (int mode : {17, 0, 16}) {
        fill(3, 50);
        screen.dissolveCopy(0, 0, 0, 0, 8, 8, 3, 2, 0, mode);
        EXPECT_EQ(px(3, 0, 0), mode == 17 ? 50 : 1) << "mode " << mode;
        EXPECT_EQ(px(3, 4, 0), 9);
        EXPECT_EQ(px(3, 1, 0), 50);  // not this stage's position
    }
}

TEST_F(Effects, MosaicTakesTheCornerOfEachBlock) {
    fillPattern(2);
    fill(3, 0);
    screen.mosaicCopy(20, 30, 0, 0, 10, 10, 3, 2, 4);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            ASSERT_EQ(px(3, 20 + c, 30 + r), pattern(c / 4 * 4, r / 4 * 4)) << c << "," << r;
    EXPECT_EQ(px(3, 30, 30), 0);
    EXPECT_EQ(px(3, 20, 40), 0);

    // Block size 1 is a plain copy; below 1 nothing is drawn.
    screen.mosaicCopy(100, 100, 5, 6, 16, 16, 3, 2, 1);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) ASSERT_EQ(px(3, 100 + c, 100 + r), pattern(5 + c, 6 + r));
    fill(3, 0);
    const auto before = snapshot(3);
    screen.mosaicCopy(0, 0, 0, 0, 64, 64, 3, 2, 0);
    screen.mosaicCopy(0, 0, 0, 0, 64, 64, 3, 2, -3);
    EXPECT_EQ(changedPixels(before, 3), 0);
}

TEST_F(Effects, MosaicInPlaceMatchesACopy) {
    fillPattern(2);
    fillPattern(3);
    screen.mosaicCopy(0, 0, 0, 0, 640, 480, 4, 2, 5);
    screen.mosaicCopy(0, 0, 0, 0, 640, 480, 3, 3, 5);
    EXPECT_EQ(snapshot(3), snapshot(4));
}

TEST_F(Effects, BitmapTextPlacesGlyphsSixteenApart) {
    // Glyph g of the strip at row 464 is filled with 100 + g.
    for (int g = 0; g < 37; ++g)
        for (int y = 464; y < 480; ++y)
            for (int x = 16 * g; x < 16 * g + 16; ++x) px(2, x, y) = uint8_t(100 + g);
    const auto glyphAt = [](int x, int y) -> int {
        const uint8_t v = px(3, x, y);
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j)
                if (px(3, x + i, y + j) != v) return -2;  // not one whole glyph
        return v == 0 ? -1 : v - 100;
    };

    fill(3, 0);
    screen.drawBitmapText(3, 40, 20, "Ab.9", 16);
    EXPECT_EQ(glyphAt(40, 20), 10);
    EXPECT_EQ(glyphAt(56, 20), 11);
    EXPECT_EQ(glyphAt(72, 20), 36);
    EXPECT_EQ(glyphAt(88, 20), 9);
    EXPECT_EQ(glyphAt(104, 20), -1);

    fill(3, 0);
    screen.drawBitmapText(3, 40, 20, "a b", 16);
    EXPECT_EQ(glyphAt(40, 20), 10);
    EXPECT_EQ(glyphAt(56, 20), -1);  // the space leaves a gap
    EXPECT_EQ(glyphAt(72, 20), 11);

    // x = -1 centres on 640 pixels: five characters start at 280; y is kept.
    fill(3, 0);
    screen.drawBitmapText(3, -1, 7, "Z0z\x82\xa0", 16);
    EXPECT_EQ(glyphAt(280, 7), 35);
    EXPECT_EQ(glyphAt(296, 7), 0);
    EXPECT_EQ(glyphAt(312, 7), 35);
    EXPECT_EQ(glyphAt(328, 7), -1);  // Shift-JIS bytes have no glyph
    EXPECT_EQ(glyphAt(344, 7), -1);
    EXPECT_EQ(glyphAt(279, 7), -2);

    // A glyph that would reach past the surface is not drawn; those before it are.
    fill(3, 0);
    screen.drawBitmapText(3, 610, 470, "11", 16);
    screen.drawBitmapText(3, 610, 400, "11", 16);
    EXPECT_EQ(px(3, 615, 475), 0);
    EXPECT_EQ(glyphAt(610, 400), 1);
    EXPECT_EQ(px(3, 630, 400), 0);
}

TEST_F(Effects, ProbeFindsTheNearestPaletteEntryAndRestoresThePixel) {
    PaletteEntry entries[256];
    for (auto& e : entries) e = PaletteEntry{255, 255, 255, 0};
    entries[3] = {100, 0, 0, 0};
    entries[5] = {0, 100, 0, 0};
    entries[7] = {10, 20, 130, 0};
    entries[9] = {10, 20, 130, 0};
    entries[200] = {250, 0, 0, 0};
    ASSERT_EQ(ddPalette->setEntries(0, 0, 256, entries), 0);

    px(1, 0, 0) = 42;
    px(1, 1, 0) = 43;
    EXPECT_EQ(screen.probeColourIndex(0x82140A), 7);     // exact, first of two equal entries
    EXPECT_EQ(screen.probeColourIndex(0x0505F0), 200);   // nearest
    EXPECT_EQ(screen.probeColourIndex(0x003232), 3);     // tie between 3 and 5: the lower index
    EXPECT_EQ(screen.probeColourIndex(0xFFFFFF), 0);     // white everywhere else: index 0 first
    EXPECT_EQ(px(1, 0, 0), 42);
    EXPECT_EQ(px(1, 1, 0), 43);
    EXPECT_FALSE(SurfaceTable[1]->locked());
}

// Rotates one pixel of value 77 at (c, r) of a 9 by 9 block of transparent pixels and returns
// where it landed relative to dx, dy.
std::pair<int, int> rotateOne(int c, int r, int angle) {
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) SurfaceTable[2]->data()[y * SurfaceTable[2]->pitch() + x] = 1;
    SurfaceTable[2]->data()[r * SurfaceTable[2]->pitch() + c] = 77;
    std::memset(SurfaceTable[3]->data(), 0, size_t(SurfaceTable[3]->pitch()) * 480);
    screen.rotateBlock(100, 100, 0, 0, 9, 9, angle, 3, 2);
    const uint8_t* d = SurfaceTable[3]->data();
    int found = 0;
    std::pair<int, int> at{-1, -1};
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t v = d[y * SurfaceTable[3]->pitch() + x];
            if (v == 77) at = {x - 100, y - 100}, ++found;
            else if (v != 0) return {-100, -100};  // transparent pixels must never be written
        }
    return found == 1 ? at : std::pair<int, int>{-50, -50};
}

TEST_F(Effects, RotationTurnsCounterClockwise) {
    // The centre of a 9 by 9 block is (4, 4); off-axis pixels move within one pixel of the ideal
    // position because every coordinate is truncated.
    const auto near = [](std::pair<int, int> got, int x, int y) {
        return std::abs(got.first - x) <= 1 && std::abs(got.second - y) <= 1;
    };
    EXPECT_EQ(rotateOne(4, 4, 0), std::make_pair(4, 4));
    EXPECT_EQ(rotateOne(6, 3, 0), std::make_pair(6, 3));
    EXPECT_EQ(rotateOne(8, 4, 0), std::make_pair(8, 4));
    EXPECT_TRUE(near(rotateOne(1, 7, 0), 1, 7));
    // Right of the centre goes above it at 90 degrees, and to its left at 180.
    EXPECT_EQ(rotateOne(7, 4, 90), std::make_pair(4, 1));
    EXPECT_TRUE(near(rotateOne(6, 2, 90), 2, 2));
    EXPECT_TRUE(near(rotateOne(7, 4, 180), 1, 4));
    EXPECT_TRUE(near(rotateOne(6, 2, 180), 2, 6));
    EXPECT_TRUE(near(rotateOne(6, 2, -90), 6, 6));
}

TEST_F(Effects, RotationStaysInsideItsBounds) {
    fill(2, 9);
    // The centre pixel of a 1 by 1 block lands exactly at dx, dy: column 639 and row 479 are
    // never written, 638 and 478 are.
    fill(3, 0);
    screen.rotateBlock(639, 10, 0, 0, 1, 1, 0, 3, 2);
    screen.rotateBlock(10, 479, 0, 0, 1, 1, 0, 3, 2);
    EXPECT_EQ(px(3, 639, 10), 0);
    EXPECT_EQ(px(3, 10, 479), 0);
    screen.rotateBlock(638, 478, 0, 0, 1, 1, 0, 3, 2);
    EXPECT_EQ(px(3, 638, 478), 9);

    // Blocks hanging over every edge of both surfaces: only pixels read and written inside count.
    fill(3, 0);
    const auto blank = snapshot(3);
    screen.rotateBlock(-20, -20, -30, -30, 100, 100, 45, 3, 2);
    screen.rotateBlock(600, 450, 600, 450, 100, 100, 200, 3, 2);
    for (int y = 0; y < 480; ++y) EXPECT_EQ(px(3, 639, y), 0);
    for (int x = 0; x < 640; ++x) EXPECT_EQ(px(3, x, 479), 0);
    EXPECT_GT(changedPixels(blank, 3), 1000);
}

TEST_F(Effects, WaveWithoutAmplitudeIsAPlainCopy) {
    fillPattern(2);
    fill(3, 0);
    screen.waveCopy(30, 40, 5, 6, 50, 20, 3, 2, 16, 37.0f, 11.0f, 0.0f);
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 50; ++c) ASSERT_EQ(px(3, 30 + c, 40 + r), pattern(5 + c, 6 + r));
    EXPECT_EQ(px(3, 30, 60), 0);

    // A constant sine of just under 1 moves every row by the amplitude, truncated.
    fill(3, 0);
    screen.waveCopy(30, 40, 5, 6, 50, 20, 3, 2, 16, 90.0f, 0.0f, 10.5f);
    for (int r = 0; r < 20; ++r) ASSERT_EQ(px(3, 30, 50 + r), pattern(5, 6 + r));
    EXPECT_EQ(px(3, 30, 49), 0);

    // Rows below the clip rectangle are left out; those above it are drawn.
    fill(3, 0);
    screen.waveCopy(0, 470, 0, 0, 640, 30, 3, 2, 16, 0.0f, 0.0f, 0.0f);
    for (int r = 0; r < 10; ++r) EXPECT_EQ(px(3, 639, 470 + r), pattern(639, r));
}

TEST_F(Effects, RectanglesPastTheSurfacesAreTrimmed) {
    fillPattern(2);
    fill(3, 0);
    // Destination hanging over the right and bottom edges.
    screen.mosaicCopy(636, 476, 0, 0, 10, 10, 3, 2, 4);
    EXPECT_EQ(px(3, 639, 479), pattern(0, 0));
    EXPECT_EQ(px(3, 636, 476), pattern(0, 0));
    screen.dissolveCopy(630, 470, 0, 0, 64, 64, 3, 2, 0, 0);
    EXPECT_EQ(px(3, 634, 474), pattern(4, 4));

    // Source hanging over the left and top: blocks whose corner lies outside are left out.
    fill(3, 0);
    screen.mosaicCopy(0, 0, -2, -2, 8, 8, 3, 2, 4);
    EXPECT_EQ(px(3, 0, 0), 0);
    EXPECT_EQ(px(3, 4, 4), pattern(2, 2));
    EXPECT_EQ(px(3, 0, 4), 0);
    screen.dissolveCopy(100, 100, -3, -3, 8, 8, 3, 2, 5, 0);  // stage 5: offsets (3, 3)
    EXPECT_EQ(px(3, 103, 103), pattern(0, 0));
    EXPECT_EQ(px(3, 107, 107), pattern(4, 4));

    // Wholly outside, extreme values: nothing drawn, nothing read.
    const auto before = snapshot(3);
    screen.mosaicCopy(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 3, 2, 7);
    screen.dissolveCopy(INT32_MAX, 0, 0, 0, INT32_MAX, 10, 3, 2, 0, 0);
    screen.dissolveCopy(0, 0, INT32_MIN, 0, 10, 10, 3, 2, 0, 0);
    screen.rotateBlock(INT32_MAX, INT32_MAX, INT32_MIN, 0, 10, 10, 33, 3, 2);
    screen.waveCopy(0, 0, 0, 0, 10, 10, 3, 2, 16, 90.0f, 0.0f, 1e30f);
    screen.drawBitmapText(3, INT32_MAX - 20, 0, "11111", 16);
    EXPECT_EQ(changedPixels(before, 3), 0);
}

TEST_F(Effects, BadSlotsAndRefusedLocksDrawNothing) {
    fillPattern(2);
    fill(3, 0);
    const auto before = snapshot(3);
    for (int bad : {-1, 5, 15, 1000}) {
        screen.mosaicCopy(0, 0, 0, 0, 64, 64, 3, bad, 2);
        screen.mosaicCopy(0, 0, 0, 0, 64, 64, bad, 2, 2);
        screen.dissolveCopy(0, 0, 0, 0, 64, 64, 3, bad, 0, 0);
        screen.rotateBlock(0, 0, 0, 0, 64, 64, 10, bad, 2);
        screen.waveCopy(0, 0, 0, 0, 64, 64, bad, 2, 16, 0.0f, 0.0f, 0.0f);
        screen.drawBitmapText(bad, 0, 0, "ABC", 16);
    }
    screen.drawBitmapText(3, 0, 0, nullptr, 16);
    EXPECT_EQ(changedPixels(before, 3), 0);

    // The source is held locked elsewhere: its lock is refused, nothing is drawn and the
    // holder's lock is left in place.
    screen.lockSurface(2);
    screen.mosaicCopy(0, 0, 0, 0, 64, 64, 3, 2, 2);
    screen.dissolveCopy(0, 0, 0, 0, 64, 64, 3, 2, 0, 0);
    screen.rotateBlock(0, 0, 0, 0, 64, 64, 0, 3, 2);
    EXPECT_TRUE(SurfaceTable[2]->locked());
    EXPECT_FALSE(SurfaceTable[3]->locked());
    screen.unlockSurface(2);
    EXPECT_EQ(changedPixels(before, 3), 0);

    screen.lockSurface(1);
    EXPECT_EQ(screen.probeColourIndex(0x123456), 0);
    EXPECT_TRUE(SurfaceTable[1]->locked());
    screen.unlockSurface(1);
}

}  // namespace
