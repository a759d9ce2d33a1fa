// The process's own figures for --stats, from the system (stats_posix.cpp, stats_win32.cpp).
#pragma once

namespace platform::stats {

// Processor time of the whole process (user and system), in seconds.
double cpuSeconds();
// The most memory the process has held at once, in megabytes.
double peakMemoryMB();

}  // namespace platform::stats
