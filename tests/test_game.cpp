// The game's pinned pieces: the random generator, the seeded battlefield and the victory check.
// Whole matches, the menu and its blink are pinned by the golden traces and pictures of test_runs.
#include <gtest/gtest.h>

#include "game/crand.h"
#include "game/match.h"
#include "gfx/palette.h"
#include "shell/shell.h"
#include "support.h"

using namespace support;

TEST(CRand, FollowsTheCLibrarySequenceAndWraps) {
    crandSeed(1);
    for (int v : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(crand(), v);
    crandSeed(0xFFFFFFFFu);
    RefRand ref{0xFFFFFFFFu};
    for (int i = 0; i < 100; ++i) ASSERT_EQ(crand(), ref.next());
    EXPECT_EQ(crandState(), ref.state);
}

TEST(Battlefield, SeedOneBuildsTheRuggedHillsThePinnedWay) {
    std::filesystem::current_path(makeAssetFolder());
    ASSERT_TRUE(screen.openScreen(1, 640, 480, 1, 8, 5));
    crandSeed(1);
    RefRand ref{1};
    ASSERT_EQ(ref.next() % 3, 2);
    std::map<std::pair<int, int>, uint8_t> stars;  // row, column -> colour, last one wins
    for (int i = 0; i < 300; ++i) {
        const int r1 = ref.next(), r2 = ref.next(), r3 = ref.next();
        stars[{r1 % 480, r2 % 640}] = uint8_t(176 + r3 % 16);
    }
    match.generateBattlefield();
    EXPECT_EQ(crandState(), ref.state) << "exactly 901 numbers are drawn";
    EXPECT_EQ(std::vector<int>({match.fortX[0], match.fortY[0], match.fortX[1], match.fortY[1]}),
              std::vector<int>({56, 284, 568, 334}));

    // Above row 200, the highest ground of these hills, only sky and the stars show.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 640; ++x) {
            const auto it = stars.find({y, x});
            ASSERT_EQ(pixelAt(2, x, y), it == stars.end() ? 4 : it->second) << x << "," << y;
        }
    // At vertex 2 (x 64, height 300): eight bands of eight rows in entries 103 down to 96,
    // then entry 96 to the bottom edge.
    for (int row = 0; row < 64; ++row) EXPECT_EQ(pixelAt(2, 64, 300 + row), 103 - row / 8) << row;
    for (int y = 364; y < 480; ++y) ASSERT_EQ(pixelAt(2, 64, y), 96) << y;
    // The fortresses, their transparent corners left out.
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(pixelAt(2, match.fortX[side] + 8, match.fortY[side] + 8), kSpriteBody);
        EXPECT_NE(pixelAt(2, match.fortX[side], match.fortY[side]), 1);
    }
    EXPECT_EQ(basePalette[103].peGreen, green(103)) << "char.bmp's palette";
    std::filesystem::remove_all(std::filesystem::current_path());
}

// A fortress falls when the crater colour reaches its centre pixel, and only that pixel: each
// fortress's centre alone ends the match (waiting for a fire key, which it then clears); the
// crater colour on any pixel beside a centre does not.
TEST(Victory, OnlyTheFortressCentreDecides) {
    ASSERT_TRUE(screen.openScreen(1, 640, 480, 1, 8, 5));
    match.fortX[0] = 56, match.fortY[0] = 284, match.fortX[1] = 568, match.fortY[1] = 334;
    for (int side = 0; side < 2; ++side)
        for (const auto& [dx, dy] : {std::pair{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
            paint(kFrontSlot, 0, 0, 640, 480, kSpriteBody);
            paint(kFrontSlot, match.fortX[side] + 8 + dx, match.fortY[side] + 8 + dy, 1, 1,
                  kSkyIndex);
            keyDown[fireKey[side]] = 1;
            EXPECT_EQ(match.checkVictory(), dx == 0 && dy == 0) << side << ": " << dx << "," << dy;
            EXPECT_EQ(keyDown[fireKey[side]], dx == 0 && dy == 0 ? 0 : 1);
            keyDown[fireKey[side]] = 0;
        }
    screen.closeScreen();
}
