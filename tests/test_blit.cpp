#include <gtest/gtest.h>

#include <algorithm>

#include "gfx/palette.h"
#include "gfx/screen.h"
#include "support.h"

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
    // dx, dy, sx, sy, w, h in and out, with the clip box; whether nothing is left.
    const struct { int32_t clip[4], in[6], out[6]; bool empty; } cases[] = {
        {{0, 0, 640, 480}, {-30, 10, 5, 6, 100, 50}, {0, 10, 35, 6, 70, 50}, false},
        {{0, 0, 640, 480}, {700, 10, 0, 0, 10, 10}, {}, true},
        {{100, 50, 300, 200}, {250, 20, 0, 0, 100, 300}, {250, 50, 0, 30, 50, 150}, false},
        {{100, 50, 300, 200}, {90, 60, 0, 0, 10, 10}, {}, true},  // ends exactly at the left border
        {{0, 0, 640, 480}, {INT32_MIN, INT32_MIN, INT32_MAX, 0, INT32_MAX, 5}, {}, true},  // no overflow
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.in[0] << "," << c.in[1] << " " << c.in[4] << "x" << c.in[5]);
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
    screen.drawFrame(2, 50, 20, 100, 10, 4);  // right half beyond the clip
    for (int y = 20; y < 30; ++y) EXPECT_EQ(px(2, 99, y), 4) << y;  // edge along the border
    EXPECT_EQ(px(2, 100, 20), 0);
    EXPECT_EQ(px(2, 75, 25), 0);
    EXPECT_EQ(count(2, 4), 2 * 50 + 2 * 8);

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
    EXPECT_EQ(count(2, 2), before);

    // Clipped copy at the left border: the visible part stays where it would have been.
    screen.blitClipped(-2, 30, 0, 0, 4, 4, 2, 3, 16);
    EXPECT_EQ(px(2, 0, 31), 2);
    EXPECT_EQ(px(2, 1, 31), 1);
    EXPECT_EQ(px(2, 2, 31), 9);
}
