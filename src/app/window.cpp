#include "app/window.h"

#include "game/crand.h"
#include "game/titlemenu.h"
#include "gfx/screen.h"
#include "platform/host.h"
#include "shell/frameclock.h"
#include "shell/shell.h"
#include "shell/texts.h"
#include "sound/soundbank.h"

using namespace platform;

int32_t mainWindowProc(uint32_t message, uint32_t wParam, int32_t lParam) {
    switch (message) {
        case WM_DESTROY: postQuitMessage(0); return 1;
        case WM_MOVE: screen.updateWindowOrigin(); return 1;
        case WM_CLOSE: fatalExit();
        case WM_SETCURSOR: hideCursor(); return 1;
        case WM_KEYDOWN:
            if (wParam == VK_PAUSE) fatalExit();
            keyDown[wParam & 0xFF] = 1;
            if (wParam == VK_CONTROL) waitEnabled = 0;
            return 1;
        case WM_KEYUP:
            keyDown[wParam & 0xFF] = 0;
            if (wParam == VK_CONTROL) waitEnabled = 1;
            return 1;
        default: return defWindowProc(message, wParam, lParam);
    }
}

int winMain(uint32_t seed) {
    if (!registerWindowClass(mainWindowProc)) return 0;
    // The window's result is not tested: without a window system the display cannot be opened
    // either, and that failure is the one the user is told about.
    createWindow("Varnis");
    mainWindow = 1;
    showWindow();
    if (!screen.openScreen(mainWindow, 640, 480, 1, 8, 5)) fatalExit(kTextDirectDrawFailed);
    soundBank.open(2);
    soundBank.loadSlot("shoot.wav", 0, 6);
    soundBank.loadSlot("bomb.wav", 1, 6);
    crandSeed(seed);
    titleMenu.run();
    for (;;) waitUntil(0);
}
