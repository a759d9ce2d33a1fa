#include <SDL.h>

#include "backends/sdl/pacing.h"

namespace platform {

// Pads arrive as SDL events here, so the wait on the event queue sees them.
bool SdlPacing::waitForEvent(double limitMs, bool, SDL_Event& e) {
    const int timeout = int(limitMs);
    if (timeout <= 0) {
        nap();
        return false;
    }
    return SDL_WaitEventTimeout(&e, timeout) != 0;
}

}  // namespace platform
