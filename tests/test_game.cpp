// The random generator, the title screen and the battlefield.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "game/crand.h"
#include "game/match.h"
#include "game/titlemenu.h"
#include "gfx/palette.h"
#include "test_game_support.h"

using namespace gametest;

namespace {

constexpr int kItemX = 170, kItemTop = 240, kItemH = 42;

// A pixel inside item `item` on the front surface, and what each look puts there.
uint8_t itemPixel(int item) { return pixelAt(0, kItemX + 5, kItemTop + kItemH * item + 5); }
uint8_t highlighted(int item) { return titlePixel(5, kItemTop + kItemH * item + 5); }
uint8_t plain(int item) { return titlePixel(325, kItemTop + kItemH * item + 5); }

}  // namespace

TEST(CRand, FollowsTheCLibrarySequence) {
    crandSeed(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169};
    for (int v : expected) EXPECT_EQ(crand(), v);
    // Values stay within 0..32767 and the state wraps modulo 2^32.
    crandSeed(0xFFFFFFFFu);
    RefRand ref{0xFFFFFFFFu};
    for (int i = 0; i < 1000; ++i) {
        const int v = crand();
        ASSERT_EQ(v, ref.next());
        ASSERT_LE(v, 32767);
    }
    EXPECT_EQ(crandState(), ref.state);
}

TEST(TitleMenu, CursorWrapsBothWaysAndRedrawsBothLooks) {
    freshGame();
    titleMenu.selectedItem = 0;
    titleMenu.show();
    EXPECT_EQ(itemPixel(0), highlighted(0));
    EXPECT_EQ(itemPixel(1), plain(1));
    EXPECT_EQ(itemPixel(2), plain(2));
    // The upper picture and the lower strip came through the back buffer.
    EXPECT_EQ(pixelAt(0, 10, 10), titlePixel(10, 10));
    EXPECT_EQ(pixelAt(0, 600, 410), titlePixel(600, 410));

    titleMenu.moveCursor(-1);
    EXPECT_EQ(titleMenu.selectedItem, 2);
    EXPECT_EQ(itemPixel(0), plain(0));
    EXPECT_EQ(itemPixel(2), highlighted(2));

    titleMenu.moveCursor(+1);
    EXPECT_EQ(titleMenu.selectedItem, 0);
    EXPECT_EQ(itemPixel(2), plain(2));
    EXPECT_EQ(itemPixel(0), highlighted(0));

    titleMenu.moveCursor(+1);
    titleMenu.moveCursor(0);
    EXPECT_EQ(titleMenu.selectedItem, 1);
    EXPECT_EQ(itemPixel(1), highlighted(1));
    EXPECT_EQ(itemPixel(0), plain(0));
    titleMenu.selectedItem = 0;
}

TEST(TitleMenu, BlinkAlternatesFor51StepsWhileTheScreenDarkens) {
    ScriptedBackend& b = freshGame();
    titleMenu.selectedItem = 1;
    titleMenu.show();
    // Every look at the queue records the brightness of entry 255 (red 255 at full brightness)
    // and the item's look; consecutive repeats fold into one step.
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
        EXPECT_EQ(steps[i].first, 255 - 5 * i) << "step " << i;
        EXPECT_EQ(steps[i].second, i % 2 == 0 ? 0 : highlighted(1)) << "step " << i;
    }
    // Each step lasts at least 34 ms.
    EXPECT_GE(b.clock - start, 51u * 34u);
    EXPECT_LT(b.clock - start, 51u * 34u + 60u);
    // The colour key never dims.
    EXPECT_EQ(workPalette[1].peRed, basePalette[1].peRed);
    titleMenu.selectedItem = 0;
}

namespace {

// Runs the title menu in a child process with the given keys down at the given times; the child
// reports on stderr, at its exit, the item, the virtual time and the sounds played.
void runMenuAndExit(const std::vector<std::pair<uint32_t, uint32_t>>& taps,
                    std::initializer_list<int> heldAtStart) {
    ScriptedBackend& b = freshGame();
    titleMenu.selectedItem = 0;
    for (auto [ms, vk] : taps) b.tapAt(ms, vk);
    for (int vk : heldAtStart) keyDown[vk] = 1;
    b.onShutdown = [&b](int code) {
        std::string summary = "item=" + std::to_string(titleMenu.selectedItem) +
                              " code=" + std::to_string(code) +
                              " late=" + (b.clock > 1700 ? "yes" : "no");
        for (const std::string& s : b.linesOf("sound")) summary += " [" + s + "]";
        std::fprintf(stderr, "%s;\n", summary.c_str());
    };
    titleMenu.run();
}

}  // namespace

TEST(TitleMenuDeathTest, UpAndDownWrapAndPlayTheCursorSound) {
    // Up from item 0 reaches 2, Down twice wraps through 0 to 1.
    EXPECT_EXIT(runMenuAndExit({{10, 38}, {200, 40}, {400, 40}, {600, 27}}, {}),
                testing::ExitedWithCode(1),
                "item=1 code=1 late=no \\[sound 0 0 11025\\] \\[sound 0 0 11025\\] "
                "\\[sound 0 0 11025\\];");
}

TEST(TitleMenuDeathTest, UpAndDownInOnePassMoveAndComeBack) {
    EXPECT_EXIT(runMenuAndExit({{300, 27}}, {38, 40}), testing::ExitedWithCode(1),
                "item=0 code=1 late=no \\[sound 0 0 11025\\] \\[sound 0 0 11025\\];");
}

TEST(TitleMenuDeathTest, EscapeBeatsEnterInTheSamePass) {
    // No selection sound and no blink: the program ends at once.
    EXPECT_EXIT(runMenuAndExit({}, {27, 13}), testing::ExitedWithCode(1), "item=0 code=1 late=no;");
}

TEST(TitleMenuDeathTest, QuitItemBlinksBeforeTheEnd) {
    EXPECT_EXIT(runMenuAndExit({{10, 38}, {200, 13}}, {}), testing::ExitedWithCode(1),
                "item=2 code=1 late=yes \\[sound 0 0 11025\\] \\[sound 1 0 11025\\];");
}

TEST(Battlefield, SeedOneBuildsTheRuggedHillsThePinnedWay) {
    ScriptedBackend& b = freshGame();
    crandSeed(1);
    RefRand ref{1};
    ASSERT_EQ(ref.next() % 3, 2);
    // The stars, in the order their numbers are drawn: row, column, colour.
    std::map<std::pair<int, int>, uint8_t> stars;
    for (int i = 0; i < 300; ++i) {
        const int r1 = ref.next(), r2 = ref.next(), r3 = ref.next();
        stars[{r1 % 480, r2 % 640}] = uint8_t(176 + r3 % 16);
    }
    match.generateBattlefield();
    EXPECT_EQ(crandState(), ref.state) << "exactly 901 numbers are drawn";

    EXPECT_EQ(match.fortX[0], 56);
    EXPECT_EQ(match.fortX[1], 568);
    EXPECT_EQ(match.fortY[0], 284);
    EXPECT_EQ(match.fortY[1], 334);

    // Profile 2's highest ground is row 200: above it only sky and the stars show.
    int starPixels = 0, expectedStars = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 640; ++x) {
            const auto it = stars.find({y, x});
            const uint8_t v = pixelAt(2, x, y);
            if (it != stars.end()) {
                ++expectedStars;
                ASSERT_EQ(v, it->second) << x << "," << y;
                ++starPixels;
            } else {
                ASSERT_EQ(v, 4) << x << "," << y;
            }
        }
    EXPECT_EQ(starPixels, expectedStars);
    EXPECT_GT(expectedStars, 50);

    // At vertex 2 (x 64, height 300): eight bands of eight rows from entry 103 down to 96, then
    // entry 96 to the bottom edge.
    for (int row = 0; row < 64; ++row) EXPECT_EQ(pixelAt(2, 64, 300 + row), 103 - row / 8) << row;
    for (int y = 364; y < 480; ++y) ASSERT_EQ(pixelAt(2, 64, y), 96) << y;
    // Under the steep column from vertex 10 (200) to 11 (320) the ground reaches the bottom.
    EXPECT_EQ(pixelAt(2, 330, 479), 96);

    // The fortresses stand on their vertices; the sprite's transparent corners are left out.
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(pixelAt(2, match.fortX[side] + 8, match.fortY[side] + 8), kSpriteBody);
        EXPECT_EQ(pixelAt(2, match.fortX[side] + 8, match.fortY[side] + 15), kSpriteBody);
        EXPECT_NE(pixelAt(2, match.fortX[side], match.fortY[side]), 1);
    }

    // The palette is char.bmp's; the front surface shows only the waiting text, in entry 255.
    uint8_t rgb[3];
    paletteEntryOf(103, rgb);
    EXPECT_EQ(basePalette[103].peGreen, rgb[1]);
    int textPixels = 0, other = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t v = pixelAt(0, x, y);
            textPixels += v == 255;
            other += v != 255 && v != 0;
        }
    EXPECT_GT(textPixels, 50);
    EXPECT_EQ(other, 0);
    const auto texts = b.linesOf("text");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("Ｊｕｓｔ　ａ　ｍｏｍｅｎｔ．．．"), std::string::npos) << texts[0];
}

TEST(Battlefield, EveryProfileGivesItsFortressRowsAndSolidGround) {
    const int expectedY[3][2] = {{384, 384}, {384, 384}, {284, 334}};
    std::set<int> seen;
    for (uint32_t seed = 1; seen.size() < 3 && seed < 50; ++seed) {
        RefRand ref{seed};
        const int p = ref.next() % 3;
        if (seen.count(p)) continue;
        seen.insert(p);
        freshGame();
        crandSeed(seed);
        match.generateBattlefield();
        EXPECT_EQ(match.fortY[0], expectedY[p][0]) << "profile " << p;
        EXPECT_EQ(match.fortY[1], expectedY[p][1]) << "profile " << p;
        // Ground under each vertex, down to the bottom edge, is solid for a shell.
        for (int v = 0; v < 20; ++v) {
            const int x = 32 * v, top = landscapeProfiles[p][v];
            for (int y = top; y < 480; ++y) {
                const uint8_t c = pixelAt(2, x, y);
                ASSERT_TRUE(c < 128 && c != 4) << "profile " << p << " at " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(seen.size(), 3u);
}
