#include "platform/stats_system.h"
#include "platform/win32.h"

namespace platform::stats {

double cpuSeconds() { return win32::cpuSeconds(); }
double peakMemoryMB() { return win32::peakMemoryMB(); }

}  // namespace platform::stats
