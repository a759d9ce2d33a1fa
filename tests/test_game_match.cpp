// The match: wind, aiming, the shell's flight and crater, the victory check and the turn loop.
#include <gtest/gtest.h>

#include <tuple>

#include "app/texts.h"
#include "game/crand.h"
#include "game/match.h"
#include "game/titlemenu.h"
#include "support.h"

using namespace support;

namespace {

constexpr uint8_t kSolid = 50;

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
    EXPECT_EQ(texts.size(), 1u);
    if (texts.size() == 1) {
        EXPECT_EQ(std::sscanf(texts[0].c_str(), "text %d %d %127[^\n]", &s.x, &s.y, buf), 3);
    }
    s.text = buf;
    return s;
}

}  // namespace

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
