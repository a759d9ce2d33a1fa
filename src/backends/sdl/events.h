// SDL events as window messages: keys through keys.h, the close button as WM_CLOSE, the pointer
// entering as WM_SETCURSOR, a move as WM_MOVE. What an event means to the back end itself (a key
// press to answer quickly, a window to repaint, a display with another refresh rate) comes back
// in EventEffects.
#pragma once

#include <SDL.h>

namespace platform {

struct EventEffects {
    bool keyPressed = false;      // a key went down (not an auto-repeat)
    bool repaint = false;         // the whole picture must be shown again
    bool displayChanged = false;  // the window moved to another display
};

// Queues the messages for `e` (enqueueMessage) and reports its effects.
EventEffects translateSdlEvent(const SDL_Event& e);

}  // namespace platform
