#include "platform/raster.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

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

}  // namespace

TEST(Line, KnownVectorsAndEndPoint) {
    EXPECT_EQ(line(0, 0, 4, 2), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(line(4, 2, 0, 0), (Pixels{{4, 2}, {3, 1}, {2, 1}, {1, 0}}));
    EXPECT_TRUE(line(5, 5, 5, 5).empty());
    EXPECT_EQ(line(6, 1, 3, 1), (Pixels{{6, 1}, {5, 1}, {4, 1}}));
    // Half-way ties: an x-major line takes the smaller y, a y-major line the smaller x.
    EXPECT_EQ(line(10, 10, 12, 14), (Pixels{{10, 10}, {10, 11}, {11, 12}, {11, 13}}));
    EXPECT_EQ(line(12, 14, 10, 10), (Pixels{{12, 14}, {11, 13}, {11, 12}, {10, 11}}));
    EXPECT_EQ(line(20, 5, 16, 7), (Pixels{{20, 5}, {19, 5}, {18, 6}, {17, 6}}));
}

// In every octant and both directions, a line and its reverse light the same pixels apart from
// the dropped end: each is the other's set with the two ends swapped.
TEST(Line, SamePixelsBothWaysInEveryOctant) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> c(0, 63);
    for (int n = 0; n < 4000; ++n) {
        const int x1 = c(rng), y1 = c(rng), x2 = c(rng), y2 = c(rng);
        if (x1 == x2 && y1 == y2) continue;
        Pixels forward = line(x1, y1, x2, y2), backward = line(x2, y2, x1, y1);
        ASSERT_TRUE(forward.count({x1, y1}));
        ASSERT_FALSE(forward.count({x2, y2}));
        forward.insert({x2, y2});
        backward.insert({x1, y1});
        ASSERT_EQ(forward, backward) << x1 << "," << y1 << " -> " << x2 << "," << y2;
        ASSERT_EQ(forward.size(), size_t(std::max(std::abs(x2 - x1), std::abs(y2 - y1)) + 1));
    }
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
        ASSERT_TRUE(sameWindow(big, 1000, 1000, small)) << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
    Surface s(64, 48);
    rasterLine(s, INT32_MIN, 20, INT32_MAX, 20, 9);
    for (int x = 0; x < 64; ++x) EXPECT_EQ(s.data()[20 * 64 + x], 9);
}

TEST(Disc, RowInsetsMatchTheTable) {
    const std::vector<std::vector<int64_t>> table = {
        {1, 0}, {2, 1, 0}, {2, 1, 0, 0}, {3, 2, 1, 0, 0}, {4, 2, 1, 1, 0, 0},
        {5, 3, 2, 1, 1, 0, 0}, {5, 4, 2, 2, 1, 0, 0, 0}, {6, 4, 3, 2, 1, 1, 0, 0, 0},
        {7, 5, 4, 3, 2, 1, 1, 0, 0, 0}, {8, 6, 4, 3, 2, 2, 1, 1, 0, 0, 0},
        {9, 6, 5, 4, 3, 2, 1, 1, 1, 0, 0, 0}};
    for (size_t i = 0; i < table.size(); ++i) {
        const int64_t d = 4 + 2 * int64_t(i);
        EXPECT_EQ(discInsets(d), table[i]) << "d = " << d;
    }
}

TEST(Disc, PaintsRowsOfTheBoxExcludingRightAndBottom) {
    Surface s(16, 16);
    rasterFillEllipse(s, 2, 3, 6, 7, 4);  // d = 4: insets 1, 0, 0, 1
    EXPECT_EQ(lit(s), (Pixels{{3, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}, {5, 4},
                              {2, 5}, {3, 5}, {4, 5}, {5, 5}, {3, 6}, {4, 6}}));
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
