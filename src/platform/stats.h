// Run figures for --stats: what the process cost (wall and CPU time, peak memory), how often and
// how dearly the front surface was presented, how long after a key press its effect was shown,
// how long the paced steps of the frame clock really lasted, and how soon the title appeared.
// Everything is a no-op until enable() is called; report() prints once, to standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::stats {

// Milliseconds on some clock; the default is the monotonic wall clock.
using Clock = double (*)();

void enable();
bool enabled();
// The clock that paced steps are measured on (the headless runner's virtual clock, say), and
// whether it is virtual: a virtual clock's span is also reported against the wall time.
void useStepClock(Clock clock, bool isVirtual);

// Monotonic wall-clock milliseconds since the program was loaded.
double wallMs();

// Frame clock: a step begun by startFrame and ended by waitUntil(ms).
void frameStarted();
void stepEnded(uint32_t ms);

// Back end: a key press taken from the window system, when the drawing counter stood at `serial`;
// a presentation that cost costMs and showed drawing up to `serial`; titleVisible when the
// picture shown is not all black (the first such one ends the start-up).
void keyArrived(uint64_t serial);
void presented(double costMs, uint64_t serial, bool pictureVisible);

// Order statistics of a sample (sorted in place); 0 for an empty one.
struct Summary {
    size_t count = 0;
    double median = 0, p99 = 0;
};
Summary summarise(std::vector<double>& sample);

// The report as text (also used by report()).
std::string format();
// Prints the report to standard error, once per process; later calls do nothing.
void report();

// Forgets everything recorded (tests).
void reset();

}  // namespace platform::stats
