// The SDL back end's one window: the video subsystem, the window itself, full screen as a
// borderless window covering the desktop, the display's refresh rate and message boxes.
#pragma once

#include <SDL.h>

#include <string>

namespace platform {

class SdlWindow {
public:
    static constexpr int kWidth = 640, kHeight = 480;

    // Starts the video subsystem and creates the hidden window, full screen unless `windowed`.
    // False when there is no window system (SDL's invisible drivers count as none unless chosen).
    bool create(const char* caption, bool windowed);
    void show();
    void hideCursor();
    // Between full screen and a window; the whole picture must be shown again afterwards.
    void setFullscreen(bool full);
    bool fullscreen() const { return fullscreen_; }
    // A box over the window (out of full screen first); standard error when none can be shown.
    void messageBox(const std::string& text, const char* caption);
    void readRefreshRate();
    int refreshRate() const { return refreshRate_; }
    double periodMs() const { return 1000.0 / refreshRate_; }

    bool videoUp() const { return videoUp_; }
    SDL_Window* handle() const { return window_; }
    // Destroys the window and shuts SDL down; safe to call again.
    void destroy();

private:
    SDL_Window* window_ = nullptr;
    bool videoUp_ = false;
    bool fullscreen_ = false;
    int refreshRate_ = 60;
};

}  // namespace platform
