// The game: the random generator, the title screen, the battlefield, and the match (wind, aiming,
// the shell's flight and crater, the victory check and the turn loop).
#include <gtest/gtest.h>

#include <tuple>

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
uint8_t plain(int i) { return titlePixel(325, 245 + 42 * i); }
constexpr uint8_t kSolid = kSpriteBody;  // ground to a shell

// A fresh game on char.bmp's palette, so the trail (entry 255) and the aim line (entry 173)
// come out in those indices; fortresses where profile 2 puts them.
ScriptedBackend& freshMatch(int selectedItem) {
    ScriptedBackend& b = freshGame();
    screen.loadPalette("char.bmp");
    titleMenu.selectedItem = selectedItem;
    match = Match{{56, 568}, {284, 334}, {0, 0}, 10.0f, 0};
    return b;
}

struct Sound { int slot, pan, frequency; };
std::vector<Sound> sounds(const ScriptedBackend& b) {
    std::vector<Sound> out;
    for (const std::string& l : b.linesOf("sound")) {
        Sound s{};
        if (std::sscanf(l.c_str(), "sound %d %d %d", &s.slot, &s.pan, &s.frequency) == 3) out.push_back(s);
    }
    return out;
}

// The first seed whose first number satisfies `want`.
template <typename F>
uint32_t seedWhere(F want) {
    uint32_t seed = 1;
    while (!want(RefRand{seed}.next())) ++seed;
    return seed;
}

// The one text line of the trace: where it was drawn and what it says.
struct Shown { int x = 0, y = 0; std::string text; };
Shown onlyText(const ScriptedBackend& b) {
    const auto texts = b.linesOf("text");
    Shown s;
    char buf[128] = {};
    EXPECT_TRUE(texts.size() == 1 && std::sscanf(texts[0].c_str(), "text %d %d %127[^\n]", &s.x, &s.y, buf) == 3);
    s.text = buf;
    return s;
}

}  // namespace

TEST(CRand, FollowsTheCLibrarySequenceAndWraps) {
    crandSeed(1);
    for (int v : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(crand(), v);
    crandSeed(0xFFFFFFFFu);
    RefRand ref{0xFFFFFFFFu};
    for (int i = 0; i < 100; ++i) ASSERT_EQ(crand(), ref.next());
    EXPECT_EQ(crandState(), ref.state);
}

TEST(TitleMenu, CursorWrapsBothWaysAndRedrawsBothLooks) {
    freshGame();
    titleMenu.selectedItem = 0;
    titleMenu.show();
    EXPECT_EQ(itemPixel(0), highlighted(0));
    EXPECT_EQ(itemPixel(1), plain(1));

    titleMenu.moveCursor(-1);
    EXPECT_EQ(titleMenu.selectedItem, 2);
    EXPECT_EQ(itemPixel(0), plain(0));
    EXPECT_EQ(itemPixel(2), highlighted(2));
    titleMenu.moveCursor(+1);
    EXPECT_EQ(titleMenu.selectedItem, 0);
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

TEST(Wind, TextsForNoneLeftAndRight) {
    struct Case { int wind; const char* shown; } cases[] = {
        {0, "風向き：無し"}, {-7, "風向き：←　風力：7"}, {20, "風向き：→　風力：20"}};
    for (const Case& c : cases) {
        ScriptedBackend& b = freshMatch(0);
        crandSeed(seedWhere([&](int v) { return v % 41 - 20 == c.wind; }));
        paint(0, 180, 0, 280, 40, 9);
        match.rollWind();
        EXPECT_EQ(match.wind, c.wind);
        const Shown t = onlyText(b);
        EXPECT_EQ(t.text, c.shown);
        EXPECT_EQ(t.y, 8);
        EXPECT_NEAR(t.x + screen.lastTextExtent.width / 2, 320, 1);
        // Only the panel, 192..447 by 8..27, is blanked to sky.
        for (auto [x, y, v] : {std::tuple{192, 27, 4}, {447, 27, 4}, {191, 27, 9}, {448, 27, 9}, {300, 28, 9}})
            EXPECT_EQ(pixelAt(0, x, y), v) << x << "," << y;
    }
}

TEST(Aim, AKeyHeldWhenAimingBeginsFiresAtTheFirstStep) {
    for (int side = 0; side < 2; ++side) {
        ScriptedBackend& b = freshMatch(1);
        crandSeed(77);
        RefRand ref{77};
        ref.next();  // the computer's target, drawn in human turns too
        const int frequency = ref.next() % 12001 + 9025;
        keyDown[fireKey[side]] = 1;
        EXPECT_FALSE(match.aim(side));
        EXPECT_EQ(match.aimAngle[side], side == 0 ? 1 : 179);
        EXPECT_EQ(keyDown[fireKey[side]], 0);
        const auto s = sounds(b);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_EQ(s[0].slot, 0);
        EXPECT_EQ(s[0].pan, side == 0 ? -7920 : 7440);
        EXPECT_EQ(s[0].frequency, frequency);
    }
}

TEST(Aim, ComputerFiresAtItsTargetAndIgnoresTheFireKeys) {
    // 180 comes round in the frame after the 90 degree line.
    ScriptedBackend& b = freshMatch(0);
    crandSeed(seedWhere([](int v) { return v % 91 + 90 == 180; }));
    keyDown[32] = keyDown[13] = 1;
    EXPECT_FALSE(match.aim(1));
    EXPECT_EQ(match.aimAngle[1], 180);
    EXPECT_EQ(keyDown[32] + keyDown[13], 2);
    EXPECT_GE(b.clock, 90u * 14);
    EXPECT_LE(b.clock, 91u * 14);
}

TEST(Aim, EscapeAndTheOtherSidesKey) {
    // Enter means nothing to the left fortress; Escape abandons and is consumed.
    ScriptedBackend& b = freshMatch(1);
    keyDown[13] = 1;
    b.keyDownAt(300, 27);
    EXPECT_TRUE(match.aim(0));
    EXPECT_EQ(keyDown[13], 1);
    EXPECT_EQ(keyDown[27], 0);
    EXPECT_TRUE(sounds(b).empty());
    // Fire and Escape in one frame: the shot goes and Escape stays set for the flight.
    freshMatch(1);
    keyDown[32] = keyDown[27] = 1;
    EXPECT_FALSE(match.aim(0));
    EXPECT_EQ(keyDown[27], 1);
}

TEST(Flight, AShellLeavingTheTopComesBackThroughStarsAndBlastsACrater) {
    ScriptedBackend& b = freshMatch(1);
    paint(0, 0, 0, 640, 400, 4);
    paint(0, 0, 400, 640, 80, kSolid);
    paint(0, 0, 100, 640, 10, 180);
    match.fortX[0] = 312;
    match.fortY[0] = 200;
    match.aimAngle[0] = 90;
    crandSeed(5);
    EXPECT_FALSE(match.flyShell(0));
    EXPECT_EQ(pixelAt(0, 320, 0), 255) << "the trail reached the top";
    EXPECT_EQ(pixelAt(0, 320, 150), 255);
    EXPECT_EQ(pixelAt(0, 320, 405), 4);
    EXPECT_EQ(pixelAt(0, 320, 420), kSolid);
    const auto s = sounds(b);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].slot, 1);
    EXPECT_EQ(s[0].pan, 0);
    EXPECT_EQ(s[0].frequency, RefRand{5}.next() % 12001 + 9025);
}

TEST(Flight, CraterRadiusFollowsTheFloatRadiusAndThePacing) {
    // A flat shot from inside solid ground bursts at its first probe, (314, 300).
    struct Case { float radius; int r; } cases[] = {{10.4f, 10}, {11.999998f, 11}};
    for (const Case& c : cases) {
        ScriptedBackend& b = freshMatch(1);
        paint(0, 0, 0, 640, 480, kSolid);
        match.fortX[0] = 300;
        match.fortY[0] = 300;
        match.blastRadius = c.radius;
        EXPECT_FALSE(match.flyShell(0));
        // The widest row spans 2r pixels, cx - r to cx + r - 1; no flash colour is left.
        for (auto [x, y, v] : {std::tuple{314 - c.r, 300, 4}, {313 - c.r, 300, kSolid}, {313 + c.r, 300, 4},
                               {314 + c.r, 300, kSolid}, {314, 300 - c.r, 4}, {314, 299 - c.r, kSolid}})
            EXPECT_EQ(pixelAt(0, x, y), v) << c.radius << " at " << x << "," << y;
        // Flash and crater: 2r circles of 9 ms each.
        EXPECT_GE(b.clock, uint32_t(18 * c.r)) << c.radius;
        EXPECT_LT(b.clock, uint32_t(18 * c.r + 8)) << c.radius;
    }
}

TEST(Victory, AnnouncementsWaitForEitherFireKeyOrEscape) {
    const struct {
        int selected;
        bool leftFalls, rightFalls;
        const char* text;  // null: both stand
        uint32_t key;      // pressed at 400 ms
    } cases[] = {
        {0, false, false, nullptr, 32},        {0, true, false, "Computer Win!", 32},
        {1, true, false, "2 Player Win!", 13}, {1, true, true, "1 Player Win!", 27},
    };
    for (const auto& c : cases) {
        ScriptedBackend& b = freshMatch(c.selected);
        paint(0, 0, 0, 640, 480, kSolid);
        // The sprites are blasted away but for their centres: only the centre counts.
        paint(0, 56, 284, 16, 16, 4);
        paint(0, 568, 334, 16, 16, 4);
        paint(0, 64, 292, 1, 1, c.leftFalls ? 4 : kSolid);
        paint(0, 576, 342, 1, 1, c.rightFalls ? 4 : kSolid);
        b.keyDownAt(400, c.key);
        EXPECT_EQ(match.checkVictory(), c.text != nullptr);
        if (!c.text) {
            EXPECT_LT(b.clock, 400u) << "no key is waited for while both stand";
            EXPECT_TRUE(b.linesOf("text").empty());
            continue;
        }
        EXPECT_GE(b.clock, 400u);
        EXPECT_LT(b.clock, 410u);
        EXPECT_EQ(keyDown[c.key], 0);
        const Shown t = onlyText(b);
        EXPECT_EQ(t.y, 195) << "90 pixels high, centred on 240";
        EXPECT_EQ(t.text, c.text);
    }
}

TEST(MatchRun, RightFortressShootsFirstAndCratersGrowOnTheLeftsTurn) {
    // Two players, seed 1. Enter goes down while the battlefield is built (about 2.6 s) and
    // fires the first frame; Space and Enter follow; Escape comes in the fourth turn's aiming.
    ScriptedBackend& b = freshMatch(1);
    crandSeed(1);
    b.keyDownAt(500, 13);
    b.keyDownAt(4000, 32);
    b.keyDownAt(8000, 13);
    b.keyDownAt(12000, 27);
    EXPECT_TRUE(match.run());
    EXPECT_EQ(keyDown[27], 0);
    const auto s = sounds(b);
    ASSERT_EQ(s.size(), 6u) << "shoot and bomb for each of three shots";
    EXPECT_EQ(s[0].pan, 7440);
    EXPECT_EQ(s[1].slot, 1);
    EXPECT_EQ(s[2].pan, -7920);
    EXPECT_EQ(s[4].pan, 7440);
    // The turn came back to the left twice; the sum is kept in single precision (10.8 rounded
    // once would be 10.80000019).
    EXPECT_EQ(match.blastRadius, 10.79999924f);
}
