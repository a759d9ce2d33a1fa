// The process's own figures for --stats, from the system (stats_posix.cpp, stats_win32.cpp).
#pragma once

namespace platform::stats {

// Processor time of the whole process (user and system), in seconds; -1 where the system does
// not tell (the browser).
double cpuSeconds();
// The most memory the process has held at once, in megabytes; -1 where the system does not tell.
double peakMemoryMB();

}  // namespace platform::stats
