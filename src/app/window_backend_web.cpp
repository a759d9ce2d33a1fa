#include "app/window_backend.h"
#include "backends/web/web_backend.h"

// The page decides how the canvas is shown.
std::unique_ptr<platform::Backend> makeWindowBackend(bool) { return platform::makeWebBackend(); }
