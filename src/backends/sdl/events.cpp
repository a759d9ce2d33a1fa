#include "backends/sdl/events.h"

#include "backends/sdl/gamepad.h"
#include "backends/sdl/keys.h"
#include "platform/backend.h"

namespace platform {

EventEffects translateSdlEvent(const SDL_Event& e) {
    EventEffects fx;
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            fx.keyPressed = e.type == SDL_KEYDOWN && e.key.repeat == 0;
            Message m;
            if (keyMessageFromSdl(e.type == SDL_KEYDOWN, e.key.repeat != 0, e.key.keysym.sym,
                                  e.key.keysym.mod, m))
                enqueueMessage(m);
            break;
        }
        case SDL_QUIT: enqueueMessage({WM_CLOSE, 0, 0}); break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE: enqueueMessage({WM_CLOSE, 0, 0}); break;
                case SDL_WINDOWEVENT_ENTER: enqueueMessage({WM_SETCURSOR, 0, 0}); break;
                case SDL_WINDOWEVENT_MOVED: enqueueMessage({WM_MOVE, 0, 0}); break;
                case SDL_WINDOWEVENT_DISPLAY_CHANGED:
                    fx.displayChanged = true;
                    fx.repaint = true;
                    break;
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_RESIZED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_MAXIMIZED: fx.repaint = true; break;
                default: break;
            }
            break;
        default: gamepads.handle(e); break;  // pads: their presses become key messages
    }
    return fx;
}

}  // namespace platform
