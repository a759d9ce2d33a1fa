// The back end of a real window, chosen by the program's target: an SDL window on the desktop
// (window_backend_sdl.cpp), the page's canvas in the browser (window_backend_web.cpp).
#pragma once

#include <memory>

#include "platform/backend.h"

// windowed: start in a window rather than full screen, where the back end has the choice.
std::unique_ptr<platform::Backend> makeWindowBackend(bool windowed);
