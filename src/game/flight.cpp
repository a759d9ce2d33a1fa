// The shell's flight, the burst and its crater, and the victory check. The front surface is the
// terrain: the flight and the check read palette indices back from it.
#include <cmath>
#include <cstdio>

#include "game/crand.h"
#include "game/match.h"
#include "game/titlemenu.h"
#include "gfx/screen.h"
#include "platform/host.h"
#include "shell/frameclock.h"
#include "shell/shell.h"
#include "shell/texts.h"
#include "sound/soundbank.h"

namespace {

constexpr double kMuzzleSpeed = 6.0;
constexpr double kGravity = 0.06;
constexpr double kWindDivisor = 900.0;

// The palette index under (x, y) of the front surface; off screen counts as passable.
uint8_t probe(float x, float y) {
    if (x < 0.0f || x > 639.0f || y < 0.0f || y > 479.0f) return 255;
    screen.lockSurface(kFrontSlot);
    const uint8_t* pixels = surfacePixels[kFrontSlot];
    const uint8_t value =
        pixels ? pixels[int32_t(y) * surfacePitch[kFrontSlot] + int32_t(x)] : uint8_t(255);
    screen.unlockSurface(kFrontSlot);
    return value;
}

bool solid(uint8_t index) { return index < kPassableFrom && index != kSkyIndex; }

// Growing filled circles of radius 1, 2, ... while they do not exceed the blast radius.
void blastCircles(float radius, int32_t cx, int32_t cy, int32_t index) {
    for (int32_t r = 1; float(r) <= radius; ++r) {
        startFrame();
        screen.drawCircle(kFrontSlot, cx, cy, r, index);
        waitUntil(8);
    }
}

}  // namespace

bool Match::flyShell(int32_t side) {
    // Positions and speeds are single precision; the trigonometry is done in double.
    const float windStep = float(double(wind) / kWindDivisor);
    const uint32_t trailColour = paletteColour(255);
    const double a = aimAngle[side] * kRadiansPerDegree;
    float x = float(fortX[side] + 8), y = float(fortY[side]);
    float vx = float(std::cos(a) * kMuzzleSpeed);
    float vy = float(-std::sin(a) * kMuzzleSpeed);

    for (;;) {
        startFrame();
        const float px = x, py = y;
        x = x + vx;
        y = y + vy;
        vy = float(double(vy) + kGravity);
        vx = vx + windStep;
        uint8_t under = probe(x, y);
        // Past the bottom edge the shell bursts, wherever it is across.
        if (y >= 480.0f) under = 0;
        screen.drawLine(kFrontSlot, int32_t(px), int32_t(py), int32_t(x), int32_t(y), trailColour);
        if (solid(under)) break;
        if (keyDown[platform::VK_ESCAPE]) {
            keyDown[platform::VK_ESCAPE] = 0;
            return true;
        }
        waitUntil(16);
    }

    const int frequency = crand() % 12001 + 9025;
    soundBank.play(1, int32_t(double(x) - 320.0) * 30, frequency);
    const int32_t cx = int32_t(x), cy = int32_t(y);
    blastCircles(blastRadius, cx, cy, kFlashIndex);
    blastCircles(blastRadius, cx, cy, kSkyIndex);
    return false;
}

bool Match::checkVictory() {
    screen.lockSurface(kFrontSlot);
    int32_t fallen = -1;
    if (const uint8_t* pixels = surfacePixels[kFrontSlot]) {
        const int32_t pitch = surfacePitch[kFrontSlot];
        for (int32_t side = 0; side < 2; ++side)
            if (pixels[(fortY[side] + 8) * pitch + fortX[side] + 8] == kSkyIndex) fallen = side;
    }
    screen.unlockSurface(kFrontSlot);
    if (fallen < 0) return false;

    if (titleMenu.selectedItem == 0 && fallen == 0)
        std::snprintf(textBuffer, sizeof textBuffer, "%s", kTextComputerWin);
    else
        std::snprintf(textBuffer, sizeof textBuffer, kTextPlayerWin, fallen == 0 ? 2 : 1);
    screen.drawText(-1, -1, 320, 240, textBuffer, 90, 0, 800, 3, paletteColour(255), 1, kFontFace,
                    128, kFrontSlot, 0);

    // The key that leaves the winner's text is the first player's.
    awaitPlayer(0, true);
    while (!keyDown[fireKey[0]] && !keyDown[fireKey[1]] && !keyDown[platform::VK_ESCAPE])
        waitUntil(0);
    keyDown[platform::VK_ESCAPE] = 0;
    keyDown[fireKey[1]] = 0;
    keyDown[fireKey[0]] = 0;
    return true;
}
