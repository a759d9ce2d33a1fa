// SDL keyboard events as the window messages of the original platform: Windows virtual-key
// codes, system keys (Alt held, Alt itself, F10) as WM_SYSKEYDOWN/WM_SYSKEYUP, and the lParam
// bits the window procedures look at. Pure functions, kept apart from the back end so they can be
// tested without a display.
#pragma once

#include <cstdint>

#include "platform/host.h"

namespace platform {

// The virtual-key code of an SDL key code (SDL_Keycode), or 0 for a key the game never sees.
uint32_t virtualKeyFromSdl(int32_t sdlKey);

// The message for one SDL key event. sdlMods is the event's modifier state (SDL_Keymod).
// lParam: repeat count 1, bit 29 while Alt is held, bit 30 for an auto-repeat or a release,
// bit 31 for a release. False when the key has no virtual-key code.
bool keyMessageFromSdl(bool pressed, bool repeat, int32_t sdlKey, uint16_t sdlMods, Message& out);

}  // namespace platform
