#include <string>

struct SDL_Window;

namespace platform {

// SDL's own message box is the desktop's here.
bool systemMessageBox(SDL_Window*, const std::string&, const char*) { return false; }

}  // namespace platform
