// The match's turn loop, the wind and the aiming sweep.
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

Match match;

namespace {

constexpr uint8_t kBoxIndex = 255;

struct AimConstants {
    int32_t boxX;        // aiming box left edge; top at 16, 128 by 128
    int32_t originX;     // aim line origin, at y 142
    int32_t startAngle;  // where the sweep starts and the box is cleared
    int32_t step;        // degrees per frame
    int32_t wrap;        // reaching this returns to the start angle
};

constexpr AimConstants kAim[2] = {
    {16, 17, 0, +1, 91},
    {496, 622, 180, -1, 89},
};

// The shoot sound, its pan following the fortress; the frequency's number is drawn first.
void playShootSound(int32_t fortX) {
    const int frequency = crand() % 12001 + 9025;
    soundBank.play(0, (fortX * 2 - 640) * 15, frequency);
}

}  // namespace

bool Match::run() {
    generateBattlefield();
    blastRadius = 10.0f;
    screen.blit(0, 0, 0, 0, 640, 480, kFrontSlot, kFieldSlot, DDBLTFAST_WAIT);
    // The right-hand fortress always shoots first.
    int32_t active = 1;
    for (;;) {
        rollWind();
        if (aim(active)) return true;
        if (flyShell(active)) return true;
        if (checkVictory()) return true;
        active = 1 - active;
        // Craters grow each time the turn comes back to the left fortress; the sum is kept in
        // single precision, as the crater sizes have always been.
        if (active == 0) blastRadius = float(double(blastRadius) + 0.4);
        waitUntil(0);
    }
}

void Match::rollWind() {
    wind = crand() % 41 - 20;
    if (wind == 0)
        std::snprintf(textBuffer, sizeof textBuffer, "%s", kTextWindNone);
    else if (wind < 0)
        std::snprintf(textBuffer, sizeof textBuffer, kTextWindLeft, -wind);
    else
        std::snprintf(textBuffer, sizeof textBuffer, kTextWindRight, wind);
    screen.fillRect(kFrontSlot, 192, 8, 256, 20, kSkyIndex);
    screen.drawText(-1, 8, 320, 8, textBuffer, 18, 0, 400, 0, paletteColour(255), 0, kFontFace, 128,
                    kFrontSlot, 0);
}

bool Match::aim(int32_t side) {
    // The aiming side's player drives the whole turn; the computer's turns are the first player's.
    awaitPlayer(side == 1 && titleMenu.selectedItem == 1 ? 1 : 0, true);
    const AimConstants& c = kAim[side];
    // Drawn every turn, human or not, so the random sequence does not depend on who plays.
    const int32_t target = crand() % 91 + 90;
    screen.drawFrame(kFrontSlot, c.boxX, 16, 128, 128, kBoxIndex);
    aimAngle[side] = c.startAngle;
    const uint32_t lineColour = paletteColour(173);
    const bool computerPlays = side == 1 && titleMenu.selectedItem == 0;

    for (;;) {
        startFrame();
        if (aimAngle[side] == c.startAngle) {
            screen.fillRect(kFrontSlot, c.boxX + 1, 17, 126, 126, kSkyIndex);
        } else {
            const double a = aimAngle[side] * kRadiansPerDegree;
            const int32_t x2 = int32_t(c.originX + 126.0 * std::cos(a));
            const int32_t y2 = int32_t(142 - 126.0 * std::sin(a));
            screen.drawLine(kFrontSlot, c.originX, 142, x2, y2, lineColour);
        }
        aimAngle[side] += c.step;
        if (aimAngle[side] == c.wrap) aimAngle[side] = c.startAngle;

        if (computerPlays) {
            // Space and Enter are left alone: they mean nothing to the computer's turn.
            if (aimAngle[1] == target) {
                playShootSound(fortX[side]);
                return false;
            }
        } else if (keyDown[fireKey[side]]) {
            playShootSound(fortX[side]);
            keyDown[fireKey[side]] = 0;
            return false;
        }
        if (keyDown[platform::VK_ESCAPE]) {
            keyDown[platform::VK_ESCAPE] = 0;
            return true;
        }
        waitUntil(13);
    }
}
