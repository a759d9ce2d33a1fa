#include <SDL.h>

#include <algorithm>

#include "backends/sdl/pacing.h"
#include "platform/win32.h"

namespace platform {

// SDL's event wait rests on SetTimer here, which ends up to a system tick late: the wait is the
// system's own, on a precise timer. Pads are read by polling, not through window messages: while
// one is connected the wait wakes every millisecond. Events are taken by the next poll.
bool SdlPacing::waitForEvent(double limitMs, bool gamepadsPolled, SDL_Event&) {
    if (gamepadsPolled) limitMs = std::min(limitMs, 1.0);
    if (limitMs <= 0) {
        nap();
        return false;
    }
    win32::waitForInputUntil(Steady::now() + std::chrono::microseconds(int64_t(limitMs * 1000)));
    return false;
}

}  // namespace platform
