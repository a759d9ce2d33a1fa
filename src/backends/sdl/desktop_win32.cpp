// Windows prints nothing while SDL looks for devices, and a lost display is not a state the game
// can be left in there.
#include "backends/sdl/desktop.h"

namespace platform {

void quietSystemLibraries() {}

void endWhenDisplayLost() {}

}  // namespace platform
