// Building the battlefield off screen in slot 2 while the front surface says "Just a moment".
#include "game/crand.h"
#include "game/match.h"
#include "gfx/palette.h"
#include "gfx/screen.h"
#include "shell/frameclock.h"
#include "shell/texts.h"

const int16_t landscapeProfiles[3][21] = {
    // Two tall walls on flat ground.
    {400, 400, 400, 400, 400, 60,  60,  60,  60,  400, 400,
     400, 60,  60,  60,  60,  400, 400, 400, 400, 400},
    // One tall wall in the middle, two small rises.
    {400, 400, 400, 400, 300, 400, 400, 400, 400, 60, 60,
     60,  400, 400, 400, 400, 300, 400, 400, 400, 400},
    // Rugged hills.
    {250, 400, 300, 350, 270, 410, 350, 450, 250, 300, 200,
     320, 350, 400, 300, 350, 270, 410, 350, 450, 250},
};

void Match::generateBattlefield() {
    const int p = crand() % 3;
    screen.loadPalette("char.bmp");
    screen.loadBitmap("char.bmp", 48, 32, 0, 0, 0, 0, kSpriteSlot);
    screen.fillSurface(kFieldSlot, kSkyIndex);
    screen.clearSurface(kFrontSlot);
    screen.drawText(-1, -1, 320, 240, kTextJustAMoment, 20, 0, 400, 0, paletteColour(255), 1,
                    kFontFace, 128, kFrontSlot, 0);

    screen.lockSurface(kFieldSlot);
    uint8_t* pixels = surfacePixels[kFieldSlot];
    const int32_t pitch = surfacePitch[kFieldSlot];
    for (int i = 0; i < 300; ++i) {
        // Three draws per star, always made, so the sequence does not depend on the lock.
        const int r1 = crand(), r2 = crand(), r3 = crand();
        if (pixels) pixels[(r1 % 480) * pitch + (r2 % 640)] = uint8_t(176 + r3 % 16);
    }
    screen.unlockSurface(kFieldSlot);

    const int16_t* h = landscapeProfiles[p];
    for (int i = 0; i < 20; ++i) {
        const int32_t x0 = 32 * i, x1 = 32 * i + 32;
        // Eight bands of eight rows, brightest on top, following the column's slope.
        for (int j = 0; j < 8; ++j)
            for (int k = 0; k < 8; ++k)
                screen.drawLine(kFieldSlot, x0, h[i] + 8 * j + k, x1, h[i + 1] + 8 * j + k,
                                paletteColour(103 - j));
        // Solid ground below, down past the bottom edge at both ends of the column.
        for (int k = 0;; ++k) {
            screen.drawLine(kFieldSlot, x0, h[i] + 64 + k, x1, h[i + 1] + 64 + k,
                            paletteColour(96));
            if (h[i] + 64 + k > 480 && h[i + 1] + 64 + k > 480) break;
            waitUntil(0);
        }
    }

    fortX[0] = 56;
    fortX[1] = 568;
    fortY[0] = h[2] - 16;
    fortY[1] = h[18] - 16;
    for (int side = 0; side < 2; ++side)
        screen.blit(fortX[side], fortY[side], 32, 0, 16, 16, kFieldSlot, kSpriteSlot,
                    DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT);
}
