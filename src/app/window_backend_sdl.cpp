#include "app/window_backend.h"
#include "backends/sdl/sdl_backend.h"

std::unique_ptr<platform::Backend> makeWindowBackend(bool windowed) {
    return platform::makeSdlBackend(windowed);
}
