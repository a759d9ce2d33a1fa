#include "platform/stats_system.h"

namespace platform::stats {

// A browser tells a page neither its processor time nor its memory's peak.
double cpuSeconds() { return -1; }
double peakMemoryMB() { return -1; }

}  // namespace platform::stats
