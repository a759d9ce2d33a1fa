#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <thread>

#include "platform/process.h"

namespace platform {

void prepareProcess() {}

void unsetEnvironment(const char* name) { unsetenv(name); }

void sleepUntil(std::chrono::steady_clock::time_point moment) {
    std::this_thread::sleep_until(moment);
}

void askForShortSlices() {
#if defined(SYS_sched_setattr)  // Linux only
    struct {                    // the kernel's struct sched_attr, first published layout
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

}  // namespace platform
