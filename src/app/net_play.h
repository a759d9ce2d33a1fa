// Network play from the command line: --host or --join (in the browser, --join only).
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/options.h"

// Starts hosting or joins, installs the back end and sets the seed; 0, or the exit status after a
// line on standard error.
// trace: where the trace goes (standard output headless, VARNIS_TRACE_FILE in a window, or null).
int startNetPlay(const Options& options, std::FILE* trace, uint32_t& seed);
