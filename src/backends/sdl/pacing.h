// Time in the SDL back end: the game's millisecond count, kept on the monotonic clock, the exact
// moment the count reaches a value, precise sleeps, the display-refresh grid of the vertical
// blank, and the request for short scheduler slices that keeps wake-ups on time.
#pragma once

#include <chrono>
#include <cstdint>

union SDL_Event;

namespace platform {

class SdlPacing {
public:
    using Steady = std::chrono::steady_clock;

    // Asks the scheduler for short time slices for the calling thread (the game's).
    SdlPacing();

    // Milliseconds since the back end started.
    uint32_t now() const;
    // When now() comes to read `tick` (the nearest such moment: the count wraps after 49 days).
    Steady::time_point momentOfTick(uint32_t tick) const;
    // Sleeps to the next tick of a grid at `refreshRate` ticks a second.
    static void waitVerticalBlank(int refreshRate);
    // A tenth of a millisecond's sleep.
    static void nap();
    // One precise sleep to the moment (on Windows a high-resolution timer, never a spin).
    static void sleepUntil(Steady::time_point moment);
    // Blocks until an event may have arrived or limitMs have passed; true with the event in `e`
    // when one was taken. Pads are polled on some systems (gamepadsPolled): the wait then wakes
    // each millisecond. One file per system: wait_posix.cpp, wait_win32.cpp.
    static bool waitForEvent(double limitMs, bool gamepadsPolled, SDL_Event& e);

private:
    const Steady::time_point origin_ = Steady::now();
};

}  // namespace platform
