// The title screen: the picture, the three-item menu and the selection blink.
#include "game/titlemenu.h"

#include "game/crand.h"
#include "game/match.h"
#include "gfx/palette.h"
#include "gfx/screen.h"
#include "platform/host.h"
#include "shell/frameclock.h"
#include "shell/shell.h"
#include "sound/soundbank.h"

TitleMenu titleMenu;

using namespace platform;

namespace {

constexpr int32_t kItemTop = 240, kItemHeight = 42, kItemX = 170, kItemWidth = 320;

// Item `item` from slot srcSlot at picture column sx onto the front surface.
void drawItem(int32_t item, int32_t sx, int32_t srcSlot) {
    const int32_t y = kItemTop + kItemHeight * item;
    screen.blit(kItemX, y, sx, y, kItemWidth, kItemHeight, kFrontSlot, srcSlot, DDBLTFAST_WAIT);
}

}  // namespace

void TitleMenu::show() {
    screen.loadPalette("title.bmp");
    screen.loadBitmap("title.bmp", 640, 480, 0, 0, 0, 0, kPictureSlot);
    screen.blit(0, 0, 0, 0, 640, 224, kBackSlot, kPictureSlot, DDBLTFAST_WAIT);
    screen.blit(0, 400, 0, 400, 640, 64, kBackSlot, kPictureSlot, DDBLTFAST_WAIT);
    screen.blit(170, 240, 320, 240, 304, 128, kBackSlot, kPictureSlot, DDBLTFAST_WAIT);
    screen.present();
    moveCursor(0);
}

void TitleMenu::moveCursor(int32_t delta) {
    // Plain look (right half of the picture) for the item left, highlighted look (left half)
    // for the item reached.
    drawItem(selectedItem, 320, kPictureSlot);
    selectedItem = (selectedItem + delta + 3) % 3;
    drawItem(selectedItem, 0, kPictureSlot);
}

void TitleMenu::blinkSelection() {
    screen.clearSurface(kBlankSlot);
    int32_t toggle = 0;
    for (int32_t n = 0; n > -255; n -= 5) {
        startFrame();
        paletteFader.setBrightnessAll(n);
        toggle ^= 1;
        drawItem(selectedItem, 0, kPictureSlot + toggle);
        waitUntil(33);
    }
}

void TitleMenu::run() {
    show();
    for (;;) {
        // One number per pass: where a match starts in the sequence depends on the menu's time.
        (void)crand();
        if (keyDown[VK_UP]) {
            keyDown[VK_UP] = 0;
            moveCursor(-1);
            soundBank.play(0, 0, 11025);
        }
        if (keyDown[VK_DOWN]) {
            keyDown[VK_DOWN] = 0;
            moveCursor(+1);
            soundBank.play(0, 0, 11025);
        }
        // Escape is seen before Enter and is not cleared: the program ends here.
        if (keyDown[VK_ESCAPE]) fatalExit();
        if (keyDown[VK_RETURN]) {
            keyDown[VK_RETURN] = 0;
            soundBank.play(1, 0, 11025);
            blinkSelection();
            screen.clearSurface(kFrontSlot);
            if (selectedItem == 2) fatalExit();
            match.run();
            awaitPlayer(0, false);
            screen.clearSurface(kFrontSlot);
            show();
        }
        waitUntil(0);
    }
}
