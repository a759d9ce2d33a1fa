// Network play from the command line: --host or --join (net_play.cpp; net_play_none.cpp where the
// program is built without it).
#pragma once

#include <cstdint>

#include "app/options.h"

// Starts hosting or joins, installs the back end and sets the seed; 0, or the exit status after a
// line on standard error.
int startNetPlay(const Options& options, uint32_t& seed);
