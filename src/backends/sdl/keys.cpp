#include "backends/sdl/keys.h"

#include <SDL_keyboard.h>
#include <SDL_keycode.h>

namespace platform {

uint32_t virtualKeyFromSdl(int32_t sdlKey) {
    if (sdlKey >= SDLK_a && sdlKey <= SDLK_z) return uint32_t('A' + (sdlKey - SDLK_a));
    if (sdlKey >= SDLK_0 && sdlKey <= SDLK_9) return uint32_t('0' + (sdlKey - SDLK_0));
    if (sdlKey >= SDLK_F1 && sdlKey <= SDLK_F12) return VK_F1 + uint32_t(sdlKey - SDLK_F1);
    switch (sdlKey) {
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT: return VK_MENU;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_PAGEUP: return 33;
        case SDLK_PAGEDOWN: return 34;
        case SDLK_END: return 35;
        case SDLK_HOME: return 36;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return 45;
        case SDLK_DELETE: return 46;
        default: return 0;
    }
}

bool keyMessageFromSdl(bool pressed, bool repeat, int32_t sdlKey, uint16_t sdlMods, Message& out) {
    const uint32_t vk = virtualKeyFromSdl(sdlKey);
    if (vk == 0) return false;
    out = keyMessage(vk, pressed, repeat, (sdlMods & KMOD_ALT) != 0);
    return true;
}

}  // namespace platform
