#include "backends/sdl/window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "backends/sdl/desktop.h"
#include "backends/sdl/gamepad.h"

namespace platform {

// The system's own message box where SDL's is a poor stand-in (messagebox_win32.cpp); false when
// it could not be shown or the system has none of its own (messagebox_posix.cpp).
bool systemMessageBox(SDL_Window* owner, const std::string& text, const char* caption);

bool SdlWindow::create(const char* caption, bool windowed) {
    if (window_) return true;
    // SDL quietly falls back to drivers that show nothing when there is no display; unless the
    // user chose one of them, that counts as no window system.
    const bool chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return false;
    videoUp_ = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!chosen && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        videoUp_ = false;
        return false;
    }
    // On X11 SDL would put the window surface on an OpenGL texture; without a GPU (Xvfb,
    // llvmpipe) that costs several times what X11's own shared-memory images do. Other
    // drivers keep SDL's choice (Wayland has no surface of its own).
    if (driver && std::strcmp(driver, "x11") == 0 &&
        !SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION))
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    window_ =
        SDL_CreateWindow(caption ? caption : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         kWidth, kHeight, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!window_) return false;
    gamepads.open();  // pads plugged in already arrive as events
    setWindowIcon(window_);
    SDL_SetWindowMinimumSize(window_, kWidth, kHeight);
    if (!windowed) setFullscreen(true);
    SDL_ShowCursor(SDL_DISABLE);
    readRefreshRate();
    return true;
}

void SdlWindow::show() {
    if (!window_) return;
    SDL_ShowWindow(window_);
    SDL_RaiseWindow(window_);
}

void SdlWindow::hideCursor() {
    if (videoUp_) SDL_ShowCursor(SDL_DISABLE);
}

// Full screen is a borderless window covering the desktop rather than SDL's desktop full-screen
// mode: that one asks the window manager to enlarge the window, and with none (a bare X server)
// the window stays 640 by 480 while SDL sizes its surface for the whole screen. A plain window
// at the desktop's bounds is the same to the player under any window manager and works without.
void SdlWindow::setFullscreen(bool full) {
    if (!window_) return;
    fullscreen_ = full;
    if (full) {
        const int display = SDL_GetWindowDisplayIndex(window_);
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) != 0) return;
        SDL_SetWindowBordered(window_, SDL_FALSE);
        SDL_SetWindowResizable(window_, SDL_FALSE);
        SDL_SetWindowPosition(window_, bounds.x, bounds.y);
        SDL_SetWindowSize(window_, std::max(bounds.w, kWidth), std::max(bounds.h, kHeight));
    } else {
        SDL_SetWindowBordered(window_, SDL_TRUE);
        SDL_SetWindowResizable(window_, SDL_TRUE);
        SDL_SetWindowSize(window_, kWidth, kHeight);
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

void SdlWindow::messageBox(const std::string& text, const char* caption) {
    const char* title = caption ? caption : "Error";
    // Out of full screen first, so the box is not hidden behind the game.
    if (window_ && fullscreen_) setFullscreen(false);
    if (systemMessageBox(window_, text, title)) return;
    if (!videoUp_ ||
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title, text.c_str(), window_) != 0)
        std::fprintf(stderr, "%s: %s\n", title, text.c_str());
}

void SdlWindow::readRefreshRate() {
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window_);
    refreshRate_ = 60;
    if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.refresh_rate > 0)
        refreshRate_ = mode.refresh_rate;
}

void SdlWindow::destroy() {
    // Each step is forgotten before it is taken: Xlib's default error handler may call exit()
    // from inside SDL_Quit, and the exit handlers run this again.
    if (SDL_Window* window = std::exchange(window_, nullptr)) SDL_DestroyWindow(window);
    if (std::exchange(videoUp_, false)) {
        gamepads.close();
        SDL_Quit();
    }
}

}  // namespace platform
