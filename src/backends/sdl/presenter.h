// Showing the front surface in the SDL window: what changed since it was last shown, converted
// through the device palette and scaled by whole pixels (present.h), at most once per display
// refresh, except that the first frame drawn after a key press goes out at once.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform/display.h"

namespace platform {

class SdlPresenter {
public:
    // The next presentation shows the whole picture (the window was exposed, resized, ...).
    void showAll() { showAll_ = true; }
    // A key went down: the frame that answers it is shown without waiting for its slot.
    void keyPressed();
    // Something is waiting to be shown in `window`.
    bool pending(SDL_Window* window) const {
        return window && (showAll_ || drawSerial != shownSerial_);
    }
    // Milliseconds until the next presentation may go out (negative when it may now).
    double msUntilDue(double periodMs) const;
    // Shows what changed, when due or when forced.
    void presentIfDue(SDL_Window* window, double periodMs, bool force = false);
    // Frees the staging surface (before the window goes).
    void release();

private:
    void present(SDL_Window* window);

    bool keyAnswerDue_ = false;
    uint64_t keySerial_ = 0;
    SDL_Surface* staging_ = nullptr;
    uint64_t shownSerial_ = ~uint64_t(0);
    uint64_t lastShown_ = 0;
    bool showAll_ = true;
    int canvasW_ = 0, canvasH_ = 0;
    uint32_t canvasFormat_ = 0;
    std::vector<uint8_t> shown_;
    PaletteEntry shownPalette_[256] = {};
    uint32_t lut_[256] = {};
};

}  // namespace platform
