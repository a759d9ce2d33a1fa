// The game's pinned pieces: the random generator, the title menu's blink and the seeded
// battlefield. Whole matches are pinned by the golden traces of test_runs.
#include <gtest/gtest.h>

#include "app/texts.h"
#include "game/crand.h"
#include "game/match.h"
#include "game/titlemenu.h"
#include "gfx/palette.h"
#include "support.h"

using namespace support;

namespace {
// A pixel inside menu item i on the front surface, and what each look puts there.
uint8_t itemPixel(int i) { return pixelAt(0, 175, 245 + 42 * i); }
uint8_t highlighted(int i) { return titlePixel(5, 245 + 42 * i); }
}  // namespace

TEST(CRand, FollowsTheCLibrarySequenceAndWraps) {
    crandSeed(1);
    for (int v : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(crand(), v);
    crandSeed(0xFFFFFFFFu);
    RefRand ref{0xFFFFFFFFu};
    for (int i = 0; i < 100; ++i) ASSERT_EQ(crand(), ref.next());
    EXPECT_EQ(crandState(), ref.state);
}

TEST(TitleMenu, BlinkAlternatesFor51StepsWhileTheScreenDarkens) {
    ScriptedBackend& b = freshGame();
    titleMenu.selectedItem = 1;
    titleMenu.show();
    // On every look at the queue: the brightness of entry 255 (red 255 when full) and the item's
    // look; repeats fold into one step.
    std::vector<std::pair<int, int>> steps;
    b.onPoll = [&] {
        const std::pair<int, int> now{workPalette[255].peRed, itemPixel(1)};
        if (steps.empty() || steps.back() != now) steps.push_back(now);
    };
    const uint32_t start = b.clock;
    titleMenu.blinkSelection();
    b.onPoll = nullptr;
    ASSERT_EQ(steps.size(), 51u);
    for (int i = 0; i < 51; ++i) {
        EXPECT_EQ(steps[i].first, 255 - 5 * i) << i;
        EXPECT_EQ(steps[i].second, i % 2 ? highlighted(1) : 0) << i;
    }
    EXPECT_GE(b.clock - start, 51u * 34u);
    EXPECT_LT(b.clock - start, 51u * 34u + 60u);
    titleMenu.selectedItem = 0;
}

TEST(Battlefield, SeedOneBuildsTheRuggedHillsThePinnedWay) {
    ScriptedBackend& b = freshGame();
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
    // char.bmp's palette, and the waiting text.
    EXPECT_EQ(basePalette[103].peGreen, green(103));
    const auto texts = b.linesOf("text");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(" Ｊｕｓｔ　ａ　ｍｏｍｅｎｔ．．．"), std::string::npos);
}
