// What the process asks of the system directly: its start, its environment, its sleeps. One file
// per system (process_posix.cpp, process_win32.cpp).
#pragma once

#include <chrono>

namespace platform {

// Process-wide preparation, first thing in main: on Windows a program without a console window
// takes over the console it was started from, so --help, --stats and the trace print there.
void prepareProcess();
// Takes a variable out of the process's environment.
void unsetEnvironment(const char* name);

// One precise sleep to the moment, never a spin (on Windows a high-resolution waitable timer).
void sleepUntil(std::chrono::steady_clock::time_point moment);
// The game thread runs for a fraction of a millisecond per frame and then sleeps to a deadline.
// Asking the scheduler for short time slices (honoured by Linux 6.12 and later; older kernels
// accept and ignore it, other systems have no such request) lets its wake-ups preempt a busy task
// on the same processor, where it would otherwise wait out that task's slice and end the frame up
// to a few milliseconds late.
void askForShortSlices();

}  // namespace platform
