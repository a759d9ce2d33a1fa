#include "backends/sdl/pacing.h"

#include <algorithm>
#include <ctime>
#include <thread>

#ifdef _WIN32
#include "platform/win32.h"
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
    // The next tick of a grid at the refresh rate: one precise sleep, as at the end of a wait.
    const auto period = std::chrono::nanoseconds(1'000'000'000 / std::max(refreshRate, 1));
    const auto since = Steady::now().time_since_epoch();
    sleepUntil(Steady::time_point(
        std::chrono::duration_cast<Steady::duration>((since / period + 1) * period)));
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
