// Wall-clock stamps for measuring network play. With VARNIS_NET_TIMES=PATH set, every reading of
// the game's clock and every turn's hand-over is written to PATH with the monotonic time it was
// taken at, so the stamps of several machines on one computer line up: a follower's reading
// against the driver's shows how far it lags, a turn's stamps how long a hand-over took.
#pragma once

#include <cstdint>

namespace platform::net_times {

// The game took the reading `ms`, made here (driving) or taken from the stream (following); the
// drawing counter is stamped with it, so the readings the game drew from can be told apart.
void reading(uint32_t ms, bool driving);
// Turn `number` was passed and `driver` drives from here; this machine's game goes on now.
void turn(uint32_t number, int driver);

}  // namespace platform::net_times
