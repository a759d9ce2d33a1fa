#include "backends/sdl/pacing.h"

#include <algorithm>

#include "platform/process.h"

namespace platform {

SdlPacing::SdlPacing() { askForShortSlices(); }

// Counted by the back end itself rather than taken from SDL_GetTicks: a wait then knows the exact
// moment the count reaches its deadline.
uint32_t SdlPacing::now() const {
    return uint32_t((Steady::now() - origin_) / std::chrono::milliseconds(1));
}

SdlPacing::Steady::time_point SdlPacing::momentOfTick(uint32_t tick) const {
    using std::chrono::milliseconds;
    const int64_t current = std::chrono::floor<milliseconds>(Steady::now() - origin_).count();
    return origin_ + milliseconds(current + int32_t(tick - uint32_t(current)));
}

void SdlPacing::waitVerticalBlank(int refreshRate) {
    // The next tick of a grid at the refresh rate: one precise sleep, as at the end of a wait.
    const auto period = std::chrono::nanoseconds(1'000'000'000 / std::max(refreshRate, 1));
    const auto since = Steady::now().time_since_epoch();
    sleepUntil(Steady::time_point(
        std::chrono::duration_cast<Steady::duration>((since / period + 1) * period)));
}

void SdlPacing::nap() { platform::sleepUntil(Steady::now() + std::chrono::microseconds(100)); }

void SdlPacing::sleepUntil(Steady::time_point moment) { platform::sleepUntil(moment); }

}  // namespace platform
