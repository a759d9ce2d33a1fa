#include <gtest/gtest.h>

#include <cstring>

#include "gfx/palette.h"
#include "gfx/screen.h"

using namespace platform;

namespace {

class BlitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(screen.openScreen(1, 640, 480, 1, 8, 5), 1); }
    void TearDown() override { screen.closeScreen(); }
    static uint8_t px(int slot, int x, int y) {
        const Surface* s = SurfaceTable[slot];
        return s->data()[y * s->pitch() + x];
    }
    static int count(int slot, uint8_t v) {
        const Surface* s = SurfaceTable[slot];
        int n = 0;
        for (int i = 0; i < s->height() * s->pitch(); ++i) n += s->data()[i] == v;
        return n;
    }
};

}  // namespace

TEST_F(BlitTest, ClipArithmetic) {
    int32_t dx = -30, dy = 10, sx = 5, sy = 6, w = 100, h = 50;
    EXPECT_FALSE(screen.clipBlit(dx, dy, sx, sy, w, h));
    EXPECT_EQ(dx, 0); EXPECT_EQ(sx, 35); EXPECT_EQ(w, 70);
    EXPECT_EQ(dy, 10); EXPECT_EQ(sy, 6); EXPECT_EQ(h, 50);

    dx = 700, dy = 10, sx = 0, sy = 0, w = 10, h = 10;
    EXPECT_TRUE(screen.clipBlit(dx, dy, sx, sy, w, h));
    EXPECT_EQ(screen.blitClipped(700, 10, 0, 0, 10, 10, 0, 2, 16), 1);

    screen.setClip(100, 50, 300, 200);
    dx = 250, dy = 20, sx = 0, sy = 0, w = 100, h = 300;
    EXPECT_FALSE(screen.clipBlit(dx, dy, sx, sy, w, h));
    EXPECT_EQ(w, 50); EXPECT_EQ(dy, 50); EXPECT_EQ(sy, 30); EXPECT_EQ(h, 150);

    dx = 90, dy = 60, sx = 0, sy = 0, w = 10, h = 10;  // ends exactly at the left border
    EXPECT_TRUE(screen.clipBlit(dx, dy, sx, sy, w, h));
    EXPECT_EQ(w, 0);
    dx = INT32_MIN, dy = INT32_MIN, sx = INT32_MAX, sy = 0, w = INT32_MAX, h = 5;
    EXPECT_TRUE(screen.clipBlit(dx, dy, sx, sy, w, h));  // no overflow on the way
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
    EXPECT_EQ(screen.fillSurface(3, 5), DD_OK);
    EXPECT_EQ(count(3, 5), 640 * 480);
}

TEST_F(BlitTest, BadSlotsAreRefusedQuietly) {
    EXPECT_NE(screen.fillRect(-1, 0, 0, 1, 1, uint8_t(1)), DD_OK);
    EXPECT_NE(screen.fillSurface(15, 1), DD_OK);
    EXPECT_NE(screen.fillSurface(7, 1), DD_OK);  // in the table but never opened
    EXPECT_NE(screen.blit(0, 0, 0, 0, 5, 5, 2, 9, 16), DD_OK);
    EXPECT_NE(screen.blit(0, 0, 0, 0, 5, 5, 99, 2, 16), DD_OK);
    EXPECT_NE(screen.drawFrame(12, 0, 0, 5, 5, 1), DD_OK);
    EXPECT_NE(screen.blitRect(0, 0, nullptr, 2, -3, 16), DD_OK);
}

TEST_F(BlitTest, FrameAlongTheClipBorders) {
    screen.drawFrame(2, 5, 6, 1, 1, 3);
    EXPECT_EQ(px(2, 5, 6), 3);
    EXPECT_EQ(count(2, 3), 1);

    screen.setClip(0, 0, 100, 100);
    screen.drawFrame(2, 50, 20, 100, 10, 4);  // right half beyond the clip
    for (int y = 20; y < 30; ++y) EXPECT_EQ(px(2, 99, y), 4) << y;  // edge along the border
    EXPECT_EQ(px(2, 100, 20), 0);
    EXPECT_EQ(px(2, 75, 25), 0);
    EXPECT_EQ(count(2, 4), 2 * 50 + 2 * 8);

    screen.drawFrame(2, 200, 200, 10, 10, 6);  // wholly outside
    screen.drawFrame(2, -20, -20, 10, 10, 6);
    EXPECT_EQ(count(2, 6), 0);

    // A clip larger than the surface: the edges that fall off it are refused, the rest drawn.
    screen.setClip(0, 0, 1000, 1000);
    EXPECT_NE(screen.drawFrame(2, 600, 400, 100, 50, 8), DD_OK);
    EXPECT_EQ(px(2, 600, 420), 8);
}

TEST_F(BlitTest, OpaqueKeyedAndRefusedCopies) {
    // Source: a 4x4 block of 1s with a 2 in the middle, on slot 3.
    screen.fillRect(3, 0, 0, 4, 4, uint8_t(1));
    screen.fillRect(3, 1, 1, 2, 2, uint8_t(2));
    screen.fillSurface(2, 9);
    SurfaceTable[3]->setColorKey(1, 1);
    screen.blit(10, 10, 0, 0, 4, 4, 2, 3, 17);
    EXPECT_EQ(px(2, 10, 10), 9);
    EXPECT_EQ(px(2, 11, 11), 2);
    screen.blit(20, 10, 0, 0, 4, 4, 2, 3, 16);
    EXPECT_EQ(px(2, 20, 10), 1);

    const int before = count(2, 2);
    EXPECT_EQ(screen.blit(638, 0, 0, 0, 4, 4, 2, 3, 16), DDERR_INVALIDRECT);  // destination
    EXPECT_EQ(screen.blit(0, 0, 638, 0, 4, 4, 2, 3, 16), DDERR_INVALIDRECT);  // source
    EXPECT_EQ(screen.blit(0, 0, INT32_MAX, 0, 4, 4, 2, 3, 16), DDERR_INVALIDRECT);
    EXPECT_EQ(count(2, 2), before);

    // Clipped copy at the left border: the visible part stays where it would have been.
    screen.blitClipped(-2, 30, 0, 0, 4, 4, 2, 3, 16);
    EXPECT_EQ(px(2, 0, 31), 2);
    EXPECT_EQ(px(2, 1, 31), 1);
    EXPECT_EQ(px(2, 2, 31), 9);

    Rect r{1, 1, 3, 3};
    screen.blitRect(100, 100, &r, 2, 3, 16);
    EXPECT_EQ(px(2, 100, 100), 2);
    EXPECT_EQ(px(2, 101, 101), 2);
    EXPECT_EQ(px(2, 102, 102), 9);
}
