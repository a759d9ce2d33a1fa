// What the process entry asks of the system before anything else, in one file per system.
#pragma once

namespace platform {

// Process-wide preparation, first thing in main: on Windows a program without a console window
// takes over the console it was started from, so --help, --stats and the trace print there.
void prepareProcess();
// Takes a variable out of the process's environment.
void unsetEnvironment(const char* name);

}  // namespace platform
