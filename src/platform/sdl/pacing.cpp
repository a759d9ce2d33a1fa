#include "platform/sdl/pacing.h"

#include <SDL.h>

#include <ctime>
#include <thread>

#ifdef _WIN32
#include "platform/win32/win32.h"
#endif

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// The game thread runs for a fraction of a millisecond per frame and then sleeps to a deadline.
// Asking the scheduler for short time slices (honoured by Linux 6.12 and later; older kernels
// accept and ignore it) lets its wake-ups preempt a busy task on the same processor, where it
// would otherwise wait out that task's slice and end the frame up to a few milliseconds late.
void askForShortSlices() {
#if defined(__linux__) && defined(SYS_sched_setattr)
    struct {  // the kernel's struct sched_attr, first published layout
        uint32_t size, policy;
        uint64_t flags;
        int32_t nice;
        uint32_t priority;
        uint64_t runtime, deadline, period;
    } attr{};
    attr.size = sizeof attr;
    attr.policy = 0;  // SCHED_OTHER, at the thread's own nice level
    attr.nice = getpriority(PRIO_PROCESS, 0);
    attr.runtime = 100000;  // ns: the shortest slice the kernel grants
    syscall(SYS_sched_setattr, 0, &attr, 0);
#endif
}

void sleepToCounter(uint64_t target) {
    const uint64_t freq = SDL_GetPerformanceFrequency();
#ifdef _WIN32
    // One precise timer wait, no spinning.
    const uint64_t now = SDL_GetPerformanceCounter();
    if (target > now)
        win32::sleepUntil(SdlPacing::Steady::now() +
                          std::chrono::nanoseconds((target - now) * 1000000000 / freq));
    return;
#endif
    for (;;) {
        const uint64_t now = SDL_GetPerformanceCounter();
        if (now >= target) return;
        const uint64_t leftMs = (target - now) * 1000 / freq;
        // Sleep until about a millisecond before, then spin: sleeps overshoot.
        if (leftMs >= 2) SDL_Delay(Uint32(leftMs - 1));
    }
}

}  // namespace

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
    const uint64_t freq = SDL_GetPerformanceFrequency();
    const uint64_t now = SDL_GetPerformanceCounter();
    const double period = double(freq) / refreshRate;
    const uint64_t tick = uint64_t(double(now) / period) + 1;
    uint64_t target = uint64_t(double(tick) * period);
    if (target <= now) target = now + 1;
    sleepToCounter(target);
}

void SdlPacing::nap() {
#ifdef _WIN32
    win32::sleepUntil(Steady::now() + std::chrono::microseconds(100));
#else
    const timespec t{0, 100000};
    nanosleep(&t, nullptr);
#endif
}

void SdlPacing::sleepUntil(Steady::time_point moment) {
#ifdef _WIN32
    win32::sleepUntil(moment);
#else
    std::this_thread::sleep_until(moment);
#endif
}

}  // namespace platform
