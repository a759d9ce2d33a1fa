// The SDL back end put together: the window (window.*), its events (events.*), the presentation
// of the front surface (presenter.*), the clock and the waits (pacing.*) and the audio device
// (audio_device.*). What lives here is how a wait spends its time between them.
#include "backends/sdl/sdl_backend.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "backends/sdl/audio_device.h"
#include "backends/sdl/desktop.h"
#include "backends/sdl/events.h"
#include "backends/sdl/gamepad.h"
#include "backends/sdl/pacing.h"
#include "backends/sdl/presenter.h"
#include "backends/sdl/window.h"

namespace platform {

namespace {

// How long before a deadline the waits stop blocking on the event queue and sleep precisely.
constexpr double kFinalStretchMs = 2.0;

class SdlBackend final : public Backend {
public:
    explicit SdlBackend(bool windowed) : windowed_(windowed) {
        // For measuring only: every wait spins as the original's did, never yielding the processor.
        const char* spin = std::getenv("VARNIS_SPIN_WAITS");
        spinWaits_ = spin && spin[0] == '1';
    }
    ~SdlBackend() override { shutdown(0); }

    bool createWindow(const char* caption) override {
        caption_ = caption ? caption : "";
        if (!window_.create(caption, windowed_)) return false;
        endWhenDisplayLost();
        return true;
    }
    void showWindow() override {
        if (!window_.handle()) return;
        window_.show();
        presenter_.showAll();
    }
    void hideCursor() override { window_.hideCursor(); }
    void setStatus(const std::string& text) override {
        if (window_.handle())
            SDL_SetWindowTitle(window_.handle(), (caption_ + " - " + text).c_str());
    }

    void poll(bool) override {
        if (!window_.videoUp()) return;
        SDL_Event e;
        while (SDL_PollEvent(&e)) translate(e);
        presenter_.presentIfDue(window_.handle(), window_.periodMs());
    }
    uint32_t now() override { return pacing_.now(); }

    void idle(bool hasDeadline, uint32_t deadline) override {
        if (spinWaits_) return;
        // A pass that follows drawing never waits: drawing loops pump once per line.
        if (drawSerial != idleSerial_) {
            idleSerial_ = drawSerial;
            return;
        }
        if (!window_.videoUp() || !messageQueueEmpty()) return;
        SDL_PumpEvents();
        if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return;
        double limit = window_.periodMs();
        const bool pending = presenter_.pending(window_.handle());
        const double due = pending ? presenter_.msUntilDue(window_.periodMs()) : 0;
        if (pending) {
            if (due <= 0) return;
            limit = std::min(limit, std::ceil(due));
        }
        if (hasDeadline) {
            const SdlPacing::Steady::time_point reached = pacing_.momentOfTick(deadline);
            const double left =
                std::chrono::duration<double, std::milli>(reached - SdlPacing::Steady::now())
                    .count();
            // Just passed: the caller's next end check finishes the wait, so do not block now. A
            // deadline long past belongs to a loop that only polls; it blocks as if it had none.
            if (left <= 0 && left > -2) return;
            if (left > 0 && left <= kFinalStretchMs) {
                // The last stretch is one precise sleep to the moment the count reaches the
                // deadline. Each wake-up is another chance for the system to wake the game late,
                // so there are no naps here; a presentation falling due within the stretch goes out
                // now, a little early, rather than between the deadline and the caller's return.
                if (pending && due <= left)
                    presenter_.presentIfDue(window_.handle(), window_.periodMs(), true);
                SdlPacing::sleepUntil(reached);
                return;
            }
            // Blocking on the event queue wakes up to a couple of milliseconds late at times; it
            // ends where the final stretch begins, so such a delay eats into the stretch instead.
            if (left > 0) limit = std::min(limit, left - kFinalStretchMs);
        }
        SDL_Event e;
        if (SdlPacing::waitForEvent(limit, gamepads.any(), e)) translate(e);
    }

    void waitVerticalBlank() override { SdlPacing::waitVerticalBlank(window_.refreshRate()); }

    void messageBox(const std::string& text, const char* caption) override {
        if (window_.fullscreen()) presenter_.showAll();
        window_.messageBox(text, caption);
    }

    bool openDisplay() override {
        if (!window_.handle()) return false;
        presenter_.showAll();
        return true;
    }
    void closeDisplay() override {
        // The window goes black until a display is opened again.
        presenter_.showAll();
        presenter_.presentIfDue(window_.handle(), window_.periodMs(), true);
    }

    bool realAudio() const override { return true; }
    std::unique_ptr<AudioOutput> openAudio(AudioPull pull, void* user, uint32_t& rate) override {
        return openSdlAudio(pull, user, rate);
    }

    void toggleFullscreen() override {
        if (!window_.handle()) return;
        window_.setFullscreen(!window_.fullscreen());
        presenter_.showAll();
    }

    void shutdown(int) override {
        // Each step is forgotten before it is taken (see SdlWindow::destroy).
        presenter_.release();
        window_.destroy();
    }

private:
    void translate(const SDL_Event& e) {
        const EventEffects fx = translateSdlEvent(e);
        if (fx.keyPressed) presenter_.keyPressed();
        if (fx.displayChanged) window_.readRefreshRate();
        if (fx.repaint) presenter_.showAll();
    }

    bool windowed_;
    std::string caption_;  // the window's own title, before any status
    bool spinWaits_ = false;
    uint64_t idleSerial_ = 0;
    SdlPacing pacing_;
    SdlWindow window_;
    SdlPresenter presenter_;
};

}  // namespace

std::unique_ptr<Backend> makeSdlBackend(bool windowed) {
    quietSystemLibraries();  // before SDL probes for a display and a sound device
    return std::make_unique<SdlBackend>(windowed);
}

}  // namespace platform
