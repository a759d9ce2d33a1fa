// The Windows side of the platform layer: what the POSIX build gets from /proc, getrusage,
// nanosleep, iconv and fontconfig, the Windows build gets from the system's own calls here.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace platform::win32 {

// Gives a program without a console window the console it was started from, when it has one and
// the standard streams are not already redirected, so --help, --stats and the trace print there.
// Both streams are put in binary mode: a trace line ends in "\n" as on other systems.
void attachParentConsole();

// The folder holding varnis.exe, with a trailing backslash, in the encoding the C library's file
// calls take (the program's code page, UTF-8 where the system honours the program's manifest).
const std::string& programFolder();

// Sleeps to the moment without spinning, on a high-resolution waitable timer where the system
// has one and on a timer at the 1 ms scheduler period otherwise.
void sleepUntil(std::chrono::steady_clock::time_point moment);
// The same, but ends early when a message arrives for the calling thread's windows. (SDL's own
// wait for events rests on SetTimer, which ends up to a system tick late.)
void waitForInputUntil(std::chrono::steady_clock::time_point moment);

double cpuSeconds();
double peakMemoryMB();

// Shift-JIS (code page 932) to UTF-32 through the system's tables; U+FFFD for each undecodable
// byte.
std::u32string decodeShiftJis(const char* sjis);

// Face files worth trying, in order: for a family, only the files that are that family; for no
// family, the Japanese serif face of the system, then any face in the system's fonts folder.
std::vector<std::pair<std::string, int>> faceFiles(const char* family);

}  // namespace platform::win32
