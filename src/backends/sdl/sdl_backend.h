// The SDL2 back end: the game's window, keyboard and clock on a real desktop, and the front
// surface shown through the device palette.
#pragma once

#include <memory>

#include "platform/backend.h"

namespace platform {

// windowed: start in a window instead of desktop full screen (Alt+Enter toggles either way).
std::unique_ptr<Backend> makeSdlBackend(bool windowed);

}  // namespace platform
