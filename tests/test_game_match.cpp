// The match: wind, aiming, the shell's flight and crater, the victory check and the turn loop.
#include <gtest/gtest.h>

#include <cstring>

#include "app/texts.h"
#include "game/crand.h"
#include "game/match.h"
#include "game/titlemenu.h"
#include "test_game_support.h"

using namespace gametest;

namespace {

constexpr uint8_t kSolid = 50;

// A fresh game with char.bmp's palette, so the trail (entry 255) and aim line (entry 173) colours
// come out as those indices.
ScriptedBackend& freshMatch(int selectedItem) {
    ScriptedBackend& b = freshGame();
    screen.loadPalette("char.bmp");
    titleMenu.selectedItem = selectedItem;
    match = Match{};
    match.blastRadius = 10.0f;
    return b;
}

void paint(int slot, int x, int y, int w, int h, uint8_t v) {
    screen.lockSurface(slot);
    for (int row = y; row < y + h; ++row) std::memset(surfacePixels[slot] + row * surfacePitch[slot] + x, v, size_t(w));
    screen.unlockSurface(slot);
}

int countPixels(int slot, uint8_t v) {
    int n = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) n += pixelAt(slot, x, y) == v;
    return n;
}

// "sound <slot> <pan> <frequency>" lines as numbers.
struct Sound {
    int slot, pan, frequency;
};
std::vector<Sound> sounds(const ScriptedBackend& b) {
    std::vector<Sound> out;
    for (const std::string& l : b.linesOf("sound")) {
        Sound s{};
        if (std::sscanf(l.c_str(), "sound %d %d %d", &s.slot, &s.pan, &s.frequency) == 3) out.push_back(s);
    }
    return out;
}

// A seed whose generator, after `skip` draws, gives a draw satisfying `want`.
template <typename F>
uint32_t seedWhere(int skip, F want) {
    for (uint32_t seed = 1;; ++seed) {
        RefRand r{seed};
        for (int i = 0; i < skip; ++i) r.next();
        if (want(r.next())) return seed;
    }
}

}  // namespace

TEST(Wind, TextsForNoneLeftAndRight) {
    struct Case {
        int wind;
        const char* format;
        const char* utf8;
    } cases[] = {
        {0, kTextWindNone, "風向き：無し"},
        {-7, kTextWindLeft, "風向き：←　風力：7"},
        {20, kTextWindRight, "風向き：→　風力：20"},
        {-20, kTextWindLeft, "風向き：←　風力：20"},
    };
    for (const Case& c : cases) {
        ScriptedBackend& b = freshMatch(0);
        crandSeed(seedWhere(0, [&](int v) { return v % 41 - 20 == c.wind; }));
        paint(0, 180, 0, 280, 40, 9);
        match.rollWind();
        EXPECT_EQ(match.wind, c.wind);
        char expected[64];
        std::snprintf(expected, sizeof expected, c.format, c.wind < 0 ? -c.wind : c.wind);
        EXPECT_STREQ(textBuffer, expected);
        const auto texts = b.linesOf("text");
        ASSERT_EQ(texts.size(), 1u);
        // Centred on x 320 with its top at y 8.
        int x = 0, y = 0;
        char shown[128] = {};
        ASSERT_EQ(std::sscanf(texts[0].c_str(), "text %d %d %127[^\n]", &x, &y, shown), 3);
        EXPECT_EQ(y, 8);
        EXPECT_STREQ(shown, c.utf8);
        EXPECT_NEAR(x + screen.lastTextExtent.width / 2, 320, 1);
        // The panel 192..447 by 8..27 was blanked to sky; its surroundings were not.
        EXPECT_EQ(pixelAt(0, 193, 27), 4);
        EXPECT_EQ(pixelAt(0, 446, 27), 4);
        EXPECT_EQ(pixelAt(0, 191, 27), 9);
        EXPECT_EQ(pixelAt(0, 448, 27), 9);
        EXPECT_EQ(pixelAt(0, 300, 28), 9);
    }
}

TEST(Aim, AKeyHeldWhenAimingBeginsFiresAtTheFirstStep) {
    for (int side = 0; side < 2; ++side) {
        ScriptedBackend& b = freshMatch(1);
        match.fortX[0] = 56;
        match.fortX[1] = 568;
        crandSeed(77);
        RefRand ref{77};
        ref.next();  // the computer's target, drawn for humans too
        const int frequency = ref.next() % 12001 + 9025;
        keyDown[fireKey[side]] = 1;
        EXPECT_FALSE(match.aim(side));
        EXPECT_EQ(match.aimAngle[side], side == 0 ? 1 : 179);
        EXPECT_EQ(keyDown[fireKey[side]], 0);
        EXPECT_EQ(crandState(), ref.state);
        const auto s = sounds(b);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_EQ(s[0].slot, 0);
        EXPECT_EQ(s[0].pan, side == 0 ? -7920 : 7440);
        EXPECT_EQ(s[0].frequency, frequency);
        // The box outline in 255, its interior cleared to sky in the first frame.
        const int boxX = side == 0 ? 16 : 496;
        EXPECT_EQ(pixelAt(0, boxX, 16), 255);
        EXPECT_EQ(pixelAt(0, boxX + 127, 143), 255);
        EXPECT_EQ(pixelAt(0, boxX + 64, 80), 4);
        EXPECT_EQ(pixelAt(0, boxX + 1, 142), 4);
    }
}

TEST(Aim, AKeySeenInTheNinetyDegreeFrameFiresHorizontally) {
    // Frames last 14 ms from a clock at 0: frame 89 runs from 1246 to 1260, frame 90 draws the
    // 90 degree line and is the first to see a key that arrives during frame 89's wait.
    for (int side = 0; side < 2; ++side) {
        ScriptedBackend& b = freshMatch(1);
        b.keyDownAt(14 * 89 + 5, uint32_t(fireKey[side]));
        EXPECT_FALSE(match.aim(side));
        EXPECT_EQ(match.aimAngle[side], side == 0 ? 0 : 180);
        // The whole fan is on screen in the aim line colour, the vertical line included.
        const int ox = side == 0 ? 17 : 622;
        EXPECT_EQ(pixelAt(0, ox, 60), 173);
        EXPECT_EQ(pixelAt(0, ox, 17), 173);
        int fan = 0;
        for (int y = 17; y < 143; ++y)
            for (int x = ox == 17 ? 17 : 497; x < (ox == 17 ? 143 : 623); ++x) fan += pixelAt(0, x, y) == 173;
        EXPECT_GT(fan, 3000) << "a quarter circle of lines";
    }
}

TEST(Aim, ComputerFiresAtItsTargetAndIgnoresTheFireKeys) {
    // Ordinary targets and 180, which comes round in the frame after the 90 degree line.
    for (int wanted : {135, 90, 180}) {
        ScriptedBackend& b = freshMatch(0);
        const uint32_t seed = seedWhere(0, [&](int v) { return v % 91 + 90 == wanted; });
        crandSeed(seed);
        keyDown[32] = 1;
        keyDown[13] = 1;
        EXPECT_FALSE(match.aim(1));
        EXPECT_EQ(match.aimAngle[1], wanted);
        EXPECT_EQ(keyDown[32], 1);
        EXPECT_EQ(keyDown[13], 1);
        const uint32_t frames = wanted == 180 ? 91 : uint32_t(180 - wanted);
        EXPECT_GE(b.clock, (frames - 1) * 14) << wanted;
        EXPECT_LE(b.clock, frames * 14) << wanted;
        ASSERT_EQ(sounds(b).size(), 1u);
    }
}

TEST(Aim, EscapeAndTheOtherSidesKey) {
    // Only the side's own key fires: Enter means nothing to the left fortress, and Escape
    // abandons (and is consumed).
    {
        ScriptedBackend& b = freshMatch(1);
        keyDown[13] = 1;
        b.keyDownAt(300, 27);
        EXPECT_TRUE(match.aim(0));
        EXPECT_EQ(keyDown[13], 1);
        EXPECT_EQ(keyDown[27], 0);
        EXPECT_TRUE(sounds(b).empty());
    }
    // Fire and Escape in the same frame: the shot goes and Escape stays for the flight.
    {
        freshMatch(1);
        keyDown[32] = 1;
        keyDown[27] = 1;
        EXPECT_FALSE(match.aim(0));
        EXPECT_EQ(keyDown[27], 1);
    }
    // In the computer's turn only Escape is read.
    {
        freshMatch(0);
        keyDown[27] = 1;
        keyDown[13] = 1;
        EXPECT_TRUE(match.aim(1));
        EXPECT_EQ(keyDown[27], 0);
        EXPECT_EQ(keyDown[13], 1);
    }
}

TEST(Flight, AShellLeavingTheTopComesBackAndBlastsACrater) {
    ScriptedBackend& b = freshMatch(1);
    paint(0, 0, 0, 640, 400, 4);
    paint(0, 0, 400, 640, 80, kSolid);
    paint(0, 0, 100, 640, 10, 180);  // stars do not stop a shell
    match.fortX[0] = 312;
    match.fortY[0] = 200;
    match.aimAngle[0] = 90;
    crandSeed(5);
    RefRand ref{5};
    EXPECT_FALSE(match.flyShell(0));
    // Straight up past row 0 (the trail reached the top) and back down onto the ground.
    EXPECT_EQ(pixelAt(0, 320, 0), 255);
    EXPECT_EQ(pixelAt(0, 320, 150), 255);
    EXPECT_EQ(pixelAt(0, 320, 405), 4);
    EXPECT_EQ(pixelAt(0, 320, 420), kSolid);
    EXPECT_EQ(countPixels(0, 240), 0) << "the crater covers the flash";
    const auto s = sounds(b);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].slot, 1);
    EXPECT_EQ(s[0].pan, 0);
    EXPECT_EQ(s[0].frequency, ref.next() % 12001 + 9025);
}

TEST(Flight, CraterRadiusFollowsTheFloatRadiusAndThePacing) {
    // A flat shot from inside solid ground bursts at its first probe, at (314, 300).
    struct Case {
        float radius;
        int r;
    } cases[] = {{10.0f, 10}, {10.4f, 10}, {11.999998f, 11}, {12.0f, 12}};
    for (const Case& c : cases) {
        ScriptedBackend& b = freshMatch(1);
        paint(0, 0, 0, 640, 480, kSolid);
        match.fortX[0] = 300;
        match.fortY[0] = 300;
        match.aimAngle[0] = 0;
        match.blastRadius = c.radius;
        EXPECT_FALSE(match.flyShell(0));
        // The widest row spans 2r pixels, from cx - r to cx + r - 1.
        EXPECT_EQ(pixelAt(0, 314 - c.r, 300), 4) << c.radius;
        EXPECT_EQ(pixelAt(0, 314 - c.r - 1, 300), kSolid) << c.radius;
        EXPECT_EQ(pixelAt(0, 314 + c.r - 1, 300), 4) << c.radius;
        EXPECT_EQ(pixelAt(0, 314 + c.r, 300), kSolid) << c.radius;
        EXPECT_EQ(pixelAt(0, 314, 300 - c.r), 4) << c.radius;
        EXPECT_EQ(pixelAt(0, 314, 300 - c.r - 1), kSolid) << c.radius;
        // Flash and crater: 2r circles of at least 9 ms each.
        EXPECT_GE(b.clock, uint32_t(2 * c.r * 9)) << c.radius;
        EXPECT_LT(b.clock, uint32_t(2 * c.r * 9 + 8)) << c.radius;
    }
}

TEST(Flight, BurstsBelowTheBottomEdgeEvenOffScreen) {
    // Falling straight down a one-pixel shaft through the bottom rows: no solid probe on screen,
    // the burst comes at y >= 480 and only the top of the crater shows.
    {
        freshMatch(1);
        paint(0, 0, 0, 640, 470, 4);
        paint(0, 0, 470, 640, 10, kSolid);
        paint(0, 320, 470, 1, 10, 4);
        match.fortX[0] = 312;
        match.fortY[0] = 460;
        match.aimAngle[0] = 270;
        EXPECT_FALSE(match.flyShell(0));
        EXPECT_EQ(pixelAt(0, 315, 479), 4);
        EXPECT_EQ(pixelAt(0, 300, 479), kSolid);
        EXPECT_EQ(pixelAt(0, 320, 469), 255) << "trail";
    }
    // Off the right edge: the pan goes to the sound bank beyond its range, unchanged.
    {
        ScriptedBackend& b = freshMatch(1);
        paint(0, 0, 0, 640, 480, 4);
        match.fortX[0] = 620;
        match.fortY[0] = 100;
        match.aimAngle[0] = 0;
        EXPECT_FALSE(match.flyShell(0));
        const auto s = sounds(b);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_GT(s[0].pan, 10000);
        EXPECT_EQ(s[0].pan % 30, 0);
        EXPECT_EQ(countPixels(0, 4), 640 * 480 - countPixels(0, 255));
    }
}

TEST(Flight, EscapeAbandonsWhileTheShellFlies) {
    ScriptedBackend& b = freshMatch(1);
    paint(0, 0, 0, 640, 480, 4);
    match.fortX[0] = 56;
    match.fortY[0] = 284;
    match.aimAngle[0] = 45;
    keyDown[27] = 1;
    EXPECT_TRUE(match.flyShell(0));
    EXPECT_EQ(keyDown[27], 0);
    EXPECT_TRUE(sounds(b).empty());
    EXPECT_LT(b.clock, 16u);
}

TEST(Victory, AnnouncementsForEveryOutcome) {
    struct Case {
        int selected;
        bool leftFalls, rightFalls;
        const char* text;  // null: no announcement
    } cases[] = {
        {0, false, false, nullptr},          {1, false, false, nullptr},
        {0, true, false, "Computer Win!"},   {1, true, false, "2 Player Win!"},
        {0, false, true, "1 Player Win!"},   {1, false, true, "1 Player Win!"},
        {0, true, true, "1 Player Win!"},    {1, true, true, "1 Player Win!"},
    };
    for (const Case& c : cases) {
        ScriptedBackend& b = freshMatch(c.selected);
        paint(0, 0, 0, 640, 480, kSolid);
        match.fortX[0] = 56;
        match.fortY[0] = 284;
        match.fortX[1] = 568;
        match.fortY[1] = 334;
        // Everything of the sprites but the centre is blasted away: only the centre counts.
        paint(0, 56, 284, 16, 16, 4);
        paint(0, 568, 334, 16, 16, 4);
        setPixel(0, 64, 292, c.leftFalls ? 4 : kSolid);
        setPixel(0, 576, 342, c.rightFalls ? 4 : kSolid);
        keyDown[32] = 1;
        keyDown[27] = 1;
        const bool over = match.checkVictory();
        EXPECT_EQ(over, c.text != nullptr);
        if (!c.text) {
            EXPECT_EQ(keyDown[32], 1) << "keys are not read while both stand";
            EXPECT_TRUE(b.linesOf("text").empty());
            continue;
        }
        EXPECT_STREQ(textBuffer, c.text);
        EXPECT_EQ(keyDown[32] | keyDown[13] | keyDown[27], 0);
        const auto texts = b.linesOf("text");
        ASSERT_EQ(texts.size(), 1u);
        int x = 0, y = 0;
        ASSERT_EQ(std::sscanf(texts[0].c_str(), "text %d %d", &x, &y), 2);
        EXPECT_EQ(y, 195) << "a 90 pixel text centred on 240";
        EXPECT_NE(texts[0].find(c.text), std::string::npos);
        EXPECT_GT(countPixels(0, 255), 100);
    }
}

TEST(Victory, AnnouncementWaitsForEitherFireKeyOrEscape) {
    for (uint32_t vk : {32u, 13u, 27u}) {
        ScriptedBackend& b = freshMatch(0);
        paint(0, 0, 0, 640, 480, kSolid);
        match.fortX[0] = 56;
        match.fortY[0] = 284;
        match.fortX[1] = 568;
        match.fortY[1] = 334;
        setPixel(0, 576, 342, 4);
        b.keyDownAt(400, vk);
        EXPECT_TRUE(match.checkVictory());
        EXPECT_GE(b.clock, 400u);
        EXPECT_LT(b.clock, 410u);
        EXPECT_EQ(keyDown[vk], 0);
    }
}

TEST(MatchRun, RightFortressShootsFirstAndCratersGrowOnTheLeftsTurn) {
    // Two players. Enter goes down while the battlefield is built (about 2.6 s for seed 1) and
    // fires the first frame; Space and Enter follow; Escape comes in the fourth turn's aiming.
    ScriptedBackend& b = freshMatch(1);
    crandSeed(1);
    b.keyDownAt(500, 13);
    b.keyDownAt(4000, 32);
    b.keyDownAt(8000, 13);
    b.keyDownAt(12000, 27);
    EXPECT_TRUE(match.run());
    EXPECT_EQ(keyDown[27], 0);
    EXPECT_EQ(match.fortY[0], 284);
    EXPECT_EQ(match.fortY[1], 334);
    const auto s = sounds(b);
    // Shoot and bomb for each of three shots: right, left, right.
    ASSERT_EQ(s.size(), 6u);
    EXPECT_EQ(s[0].slot, 0);
    EXPECT_EQ(s[0].pan, 7440);
    EXPECT_EQ(s[1].slot, 1);
    EXPECT_EQ(s[2].pan, -7920);
    EXPECT_EQ(s[4].pan, 7440);
    // After three shots the turn came back to the left twice; the sum is single precision
    // (10.8 rounded once would be 10.80000019).
    EXPECT_EQ(match.blastRadius, 10.79999924f);
    // A wind text for each of the four turns.
    int winds = 0;
    for (const std::string& l : b.linesOf("text")) winds += l.find("風向き") != std::string::npos;
    EXPECT_EQ(winds, 4);
}

TEST(MatchRun, ComputerOpensWithoutAnyKey) {
    ScriptedBackend& b = freshMatch(0);
    crandSeed(3);
    b.keyDownAt(9000, 27);
    EXPECT_TRUE(match.run());
    EXPECT_EQ(keyDown[27], 0);
    const auto s = sounds(b);
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[0].pan, 7440);
    EXPECT_GE(match.aimAngle[1], 90);
    EXPECT_LE(match.aimAngle[1], 180);
}
