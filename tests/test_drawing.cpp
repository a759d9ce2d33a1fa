// Drawing on the screen's surfaces: lines and discs, clipped copies and fills, and the pixel
// effects; rectangles reaching past a surface never touch memory they must not.
#include <gtest/gtest.h>

#include <random>

#include "gfx/palette.h"
#include "gfx/screen.h"
#include "platform/raster.h"
#include "support.h"

using namespace platform;

namespace {

using Pixels = std::set<std::pair<int, int>>;

Pixels lit(const Surface& s) {
    Pixels out;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.data()[y * s.pitch() + x]) out.insert({x, y});
    return out;
}

Pixels line(int x1, int y1, int x2, int y2) {
    Surface s(64, 64);
    rasterLine(s, x1, y1, x2, y2, 7);
    return lit(s);
}

// The window of a big surface at (ox, oy) of the size of small.
bool sameWindow(const Surface& big, int ox, int oy, const Surface& small) {
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x)
            if (big.data()[(y + oy) * big.pitch() + x + ox] != small.data()[y * small.pitch() + x])
                return false;
    return true;
}

// The screen's slots, opened as the game opens them.
class BlitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(screen.openScreen(1, 640, 480, 1, 8, 5), 1); }
    void TearDown() override { screen.closeScreen(); }
};

uint8_t& px(int slot, int x, int y) {
    return SurfaceTable[slot]->data()[y * SurfaceTable[slot]->pitch() + x];
}
int count(int slot, uint8_t v) {
    const uint8_t* d = SurfaceTable[slot]->data();
    return int(std::count(d, d + SurfaceTable[slot]->pitch() * SurfaceTable[slot]->height(), v));
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

// Pixel effects: a patterned source in slot 2, an empty destination in slot 3.
class Effects : public BlitTest {
protected:
    void SetUp() override {
        BlitTest::SetUp();
        fill(2, true);
        fill(3, false);
    }
};

}  // namespace

TEST(Line, KnownVectorsAndEndPoint) {
    EXPECT_EQ(line(0, 0, 4, 2), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_TRUE(line(5, 5, 5, 5).empty());
    EXPECT_EQ(line(6, 1, 3, 1), (Pixels{{6, 1}, {5, 1}, {4, 1}}));
    // Half-way ties: an x-major line takes the smaller y, a y-major line the smaller x.
    EXPECT_EQ(line(10, 10, 12, 14), (Pixels{{10, 10}, {10, 11}, {11, 12}, {11, 13}}));
    EXPECT_EQ(line(20, 5, 16, 7), (Pixels{{20, 5}, {19, 5}, {18, 6}, {17, 6}}));
}

// Clipping never changes which pixels show: the visible part is that of the unbounded line,
// however far the ends lie outside.
TEST(Line, ClippedEndsShowTheUnboundedLine) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> c(-900, 1000);
    for (int n = 0; n < 300; ++n) {
        const int x1 = c(rng), y1 = c(rng), x2 = c(rng), y2 = c(rng);
        Surface small(100, 80), big(2200, 2200);
        rasterLine(small, x1, y1, x2, y2, 3);
        rasterLine(big, x1 + 1000, y1 + 1000, x2 + 1000, y2 + 1000, 3);
        ASSERT_TRUE(sameWindow(big, 1000, 1000, small))
            << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
    Surface s(64, 48);
    rasterLine(s, INT32_MIN, 20, INT32_MAX, 20, 9);
    for (int x = 0; x < 64; ++x) EXPECT_EQ(s.data()[20 * 64 + x], 9);
}

TEST(Disc, RowInsetsMatchTheTable) {
    const std::vector<std::vector<int64_t>> table = {{1, 0},
                                                     {2, 1, 0},
                                                     {2, 1, 0, 0},
                                                     {3, 2, 1, 0, 0},
                                                     {4, 2, 1, 1, 0, 0},
                                                     {5, 3, 2, 1, 1, 0, 0},
                                                     {5, 4, 2, 2, 1, 0, 0, 0},
                                                     {6, 4, 3, 2, 1, 1, 0, 0, 0},
                                                     {7, 5, 4, 3, 2, 1, 1, 0, 0, 0},
                                                     {8, 6, 4, 3, 2, 2, 1, 1, 0, 0, 0},
                                                     {9, 6, 5, 4, 3, 2, 1, 1, 1, 0, 0, 0}};
    for (size_t i = 0; i < table.size(); ++i) {
        const int64_t d = 4 + 2 * int64_t(i);
        EXPECT_EQ(discInsets(d), table[i]) << "d = " << d;
    }
}

TEST(Disc, PaintsRowsOfTheBoxExcludingRightAndBottom) {
    Surface s(16, 16);
    rasterFillEllipse(s, 2, 3, 6, 7, 4);  // d = 4: insets 1, 0, 0, 1
    EXPECT_EQ(lit(s), (Pixels{{3, 3},
                              {4, 3},
                              {2, 4},
                              {3, 4},
                              {4, 4},
                              {5, 4},
                              {2, 5},
                              {3, 5},
                              {4, 5},
                              {5, 5},
                              {3, 6},
                              {4, 6}}));
    Surface t(8, 8);
    rasterFillEllipse(t, 6, 6, 4, 4, 2);  // inverted box
    EXPECT_TRUE(lit(t).empty());
}

TEST(Disc, ClippedDiscShowsTheUnboundedDisc) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> c(-60, 140), r(0, 90);
    for (int n = 0; n < 200; ++n) {
        const int cx = c(rng), cy = c(rng), rad = r(rng);
        Surface small(100, 80), big(500, 500);
        rasterFillEllipse(small, cx - rad, cy - rad, cx + rad, cy + rad, 6);
        rasterFillEllipse(big, cx - rad + 200, cy - rad + 200, cx + rad + 200, cy + rad + 200, 6);
        ASSERT_TRUE(sameWindow(big, 200, 200, small)) << cx << "," << cy << " r " << rad;
    }
}

TEST(NearestColour, ExactFirstThenClosestLowestIndexOnTies) {
    PaletteEntry pal[256] = {};
    for (int i = 0; i < 256; ++i) pal[i] = PaletteEntry{200, 200, 200, 0};
    pal[10] = {100, 50, 0, 0};
    pal[20] = {100, 50, 0, 0};
    EXPECT_EQ(nearestColour(pal, 100 | 50 << 8), 10);  // exact, the lower of two
    pal[30] = {10, 0, 0, 0};
    pal[31] = {0, 10, 0, 0};
    EXPECT_EQ(nearestColour(pal, 0x000000), 30);  // equal distances: the lower index
    pal[40] = {0, 0, 9, 0};
    EXPECT_EQ(nearestColour(pal, 0x000000), 40);
}

TEST_F(BlitTest, ClipArithmetic) {
    // dx, dy, sx, sy, w, h in and out, with the clip box; whether nothing is left.
    const struct {
        int32_t clip[4], in[6], out[6];
        bool empty;
    } cases[] = {
        {{0, 0, 640, 480}, {-30, 10, 5, 6, 100, 50}, {0, 10, 35, 6, 70, 50}, false},
        {{0, 0, 640, 480}, {700, 10, 0, 0, 10, 10}, {}, true},
        {{100, 50, 300, 200}, {250, 20, 0, 0, 100, 300}, {250, 50, 0, 30, 50, 150}, false},
        {{100, 50, 300, 200}, {90, 60, 0, 0, 10, 10}, {}, true},  // ends exactly at the left border
        {{0, 0, 640, 480},
         {INT32_MIN, INT32_MIN, INT32_MAX, 0, INT32_MAX, 5},
         {},
         true},  // no overflow
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.in[0] << "," << c.in[1] << " " << c.in[4] << "x" << c.in[5]);
        screen.setClip(c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        int32_t v[6];
        std::copy(c.in, c.in + 6, v);
        ASSERT_EQ(screen.clipBlit(v[0], v[1], v[2], v[3], v[4], v[5]), c.empty);
        EXPECT_TRUE(c.empty || std::equal(v, v + 6, c.out));
    }
    EXPECT_EQ(screen.blitClipped(700, 10, 0, 0, 10, 10, 0, 2, 16), 1);
}

TEST_F(BlitTest, FillsRefuseRectanglesNotWhollyInside) {
    EXPECT_EQ(screen.fillRect(2, 10, 10, 20, 5, uint8_t(7)), DD_OK);
    EXPECT_EQ(count(2, 7), 100);
    EXPECT_EQ(screen.fillRect(2, 630, 0, 20, 5, uint32_t(9)), DDERR_INVALIDRECT);
    EXPECT_EQ(screen.fillRect(2, INT32_MAX, 0, 20, 5, uint32_t(9)), DDERR_INVALIDRECT);
    EXPECT_EQ(count(2, 9), 0);
    EXPECT_EQ(screen.fillRect(2, 0, 0, 1, 1, uint32_t(0x1234)), DD_OK);
    EXPECT_EQ(px(2, 0, 0), 0x34);
    EXPECT_EQ(screen.fillFx.dwFillColor, 0x1234u);
    EXPECT_EQ(screen.clearRect(2, 10, 10, 10, 5), DD_OK);
    EXPECT_EQ(count(2, 7), 50);
    EXPECT_EQ(screen.fillFx.dwFillColor, 0x1234u);  // a clear leaves the fill colour alone
}

TEST_F(BlitTest, BadSlotsAreRefusedQuietly) {
    EXPECT_NE(screen.fillRect(-1, 0, 0, 1, 1, uint8_t(1)), DD_OK);
    EXPECT_NE(screen.fillSurface(7, 1), DD_OK);  // in the table but never opened
    EXPECT_NE(screen.blit(0, 0, 0, 0, 5, 5, 99, 2, 16), DD_OK);
    EXPECT_NE(screen.blitRect(0, 0, nullptr, 2, -3, 16), DD_OK);
}

TEST_F(BlitTest, FrameAlongTheClipBorders) {
    screen.setClip(0, 0, 100, 100);
    screen.drawFrame(2, 50, 20, 100, 10, 4);                        // right half beyond the clip
    for (int y = 20; y < 30; ++y) EXPECT_EQ(px(2, 99, y), 4) << y;  // edge along the border
    EXPECT_EQ(px(2, 100, 20), 0);
    EXPECT_EQ(px(2, 75, 25), 0);
    EXPECT_EQ(count(2, 4), 2 * 50 + 2 * 8);

    // A clip larger than the surface: the edges that fall off it are refused, the rest drawn.
    screen.setClip(0, 0, 1000, 1000);
    EXPECT_NE(screen.drawFrame(2, 600, 400, 100, 50, 8), DD_OK);
    EXPECT_EQ(px(2, 600, 420), 8);
}

// Plain and keyed copies are pinned by the golden traces' snapshots; these are the edges.
TEST_F(BlitTest, RefusedAndClippedCopies) {
    // Source: a 4x4 block of 1s with a 2 in the middle, on slot 3.
    screen.fillRect(3, 0, 0, 4, 4, uint8_t(1));
    screen.fillRect(3, 1, 1, 2, 2, uint8_t(2));
    screen.fillSurface(2, 9);
    const int before = count(2, 2);
    EXPECT_EQ(screen.blit(638, 0, 0, 0, 4, 4, 2, 3, 16), DDERR_INVALIDRECT);  // destination
    EXPECT_EQ(screen.blit(0, 0, 638, 0, 4, 4, 2, 3, 16), DDERR_INVALIDRECT);  // source
    EXPECT_EQ(count(2, 2), before);

    // Clipped copy at the left border: the visible part stays where it would have been.
    screen.blitClipped(-2, 30, 0, 0, 4, 4, 2, 3, 16);
    EXPECT_EQ(px(2, 0, 31), 2);
    EXPECT_EQ(px(2, 1, 31), 1);
    EXPECT_EQ(px(2, 2, 31), 9);
}

// The effects side by side on slot 3, pinned by a golden picture of the result: dissolve stages 0
// to 15 off the 4 by 4 grid (a whole copy), stages 0 to 7 alone, a keyed stage; a mosaic; bitmap
// text (left, centred, bytes without a glyph, a glyph past the edge); rotations, one at the 639 by
// 479 bound; a wave copy.
TEST_F(Effects, AllEffectsSideBySide) {
    for (int x = 0; x < 592; ++x)
        for (int y = 464; y < 480; ++y) px(2, x, y) = uint8_t(100 + x / 16);  // glyph g is 100 + g
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) px(2, 200 + x, 200 + y) = x == 7 && y == 4 ? 77 : 1;
    px(2, 20, 20) = 1;  // the key colour, under stage 0 of the keyed copy
    for (int stage = 0; stage < 16; ++stage)
        screen.dissolveCopy(7, 5, 3, 9, 13, 10, 3, 2, uint8_t(stage), 0);
    for (int stage = 0; stage < 8; ++stage)
        screen.dissolveCopy(30, 5, 3, 9, 13, 10, 3, 2, uint8_t(stage), 0);
    screen.dissolveCopy(60, 5, 16, 16, 8, 8, 3, 2, 0, 17);
    screen.mosaicCopy(100, 5, 0, 0, 10, 10, 3, 2, 4);
    screen.drawBitmapText(3, 40, 50, "Ab.9 a", 16);
    screen.drawBitmapText(3, -1, 80, "Z0z\x82\xa0", 16);
    screen.drawBitmapText(3, 610, 400, "11", 16);
    screen.rotateBlock(100, 100, 200, 200, 9, 9, 90, 3, 2);
    screen.rotateBlock(631, 300, 200, 200, 9, 9, 0, 3, 2);
    screen.rotateBlock(300, 300, 0, 0, 40, 30, 33, 3, 2);
    screen.waveCopy(30, 140, 5, 6, 50, 40, 3, 2, 16, 37.0f, 11.0f, 3.0f);
    support::IndexedPicture drawn{640, 480, 0, {}, {}};
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) drawn.pixels.push_back(px(3, x, y));
    EXPECT_TRUE(support::matchesGoldenPicture(drawn, "effects", "effects.pix"));
}

// The colour goes through slot 1 as a device-context pixel would: the nearest entry of the shown
// palette comes back, and the probed pixel keeps what it held.
TEST_F(Effects, ProbeGivesTheNearestShownEntryAndRestoresThePixel) {
    PaletteEntry p[256];
    for (int i = 0; i < 256; ++i) p[i] = PaletteEntry{uint8_t(i), 0, 200, 0};
    ddPalette->setEntries(0, 0, 256, p);
    px(1, 0, 0) = 77;
    for (auto [colour, index] :
         {std::pair{0xC80000u | 90, 90}, {0xC80000u | 255, 255}, {0xFF00u, 0}}) {
        EXPECT_EQ(screen.probeColourIndex(colour), index) << std::hex << colour;
        EXPECT_EQ(px(1, 0, 0), 77);
    }
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
    EXPECT_TRUE(snap(3) == before);
}
