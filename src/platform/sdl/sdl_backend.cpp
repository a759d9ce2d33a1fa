#include "platform/sdl/sdl_backend.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <ctime>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "platform/display.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/present.h"
#include "platform/stats.h"

#ifdef _WIN32
#include "platform/win32/win32.h"
namespace platform {
bool systemMessageBox(SDL_Window* owner, const std::string& text, const char* caption);
}
#endif

namespace platform {

namespace {

constexpr int32_t kWidth = 640, kHeight = 480;
// How long before a deadline the waits stop blocking on the event queue and sleep precisely.
constexpr double kFinalStretchMs = 2.0;

using Steady = std::chrono::steady_clock;

class SdlBackend final : public Backend {
public:
    explicit SdlBackend(bool windowed) : windowed_(windowed) {
        // For measuring only: every wait spins as the original's did, never yielding the processor.
        const char* spin = std::getenv("VARNIS_SPIN_WAITS");
        spinWaits_ = spin && spin[0] == '1';
        // Also for measuring: the texts drawn and sounds played, one line each, so a script
        // driving the real game can tell where it is (the winner's announcement, say).
        if (const char* path = std::getenv("VARNIS_TRACE_FILE"); path && *path)
            traceFile_ = std::fopen(path, "w");
        askForShortSlices();
    }
    ~SdlBackend() override { shutdown(0); }

    bool createWindow(const char* caption) override {
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
        if (driver && std::strcmp(driver, "x11") == 0 && !SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION))
            SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        window_ = SDL_CreateWindow(caption ? caption : "", SDL_WINDOWPOS_CENTERED,
                                   SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                                   SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (!window_) return false;
        SDL_SetWindowMinimumSize(window_, kWidth, kHeight);
        if (!windowed_) setFullscreen(true);
        SDL_ShowCursor(SDL_DISABLE);
        readRefreshRate();
        return true;
    }
    void showWindow() override {
        if (!window_) return;
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        showAll_ = true;
    }
    void hideCursor() override {
        if (videoUp_) SDL_ShowCursor(SDL_DISABLE);
    }
    void getWindowRect(Rect& rect) override {
        int x = 0, y = 0;
        if (window_) SDL_GetWindowPosition(window_, &x, &y);
        // The drawing area starts 3 pixels right of and 42 below the outer corner.
        rect = Rect{x - 3, y - 42, x + kWidth + 3, y + kHeight + 2};
    }

    void poll(bool) override {
        if (!videoUp_) return;
        SDL_Event e;
        while (SDL_PollEvent(&e)) translate(e);
        presentIfDue();
    }
    // Milliseconds since the back end started, counted on the monotonic clock by the back end
    // itself rather than taken from SDL_GetTicks: a wait then knows the exact moment the count
    // reaches its deadline.
    uint32_t now() override { return uint32_t((Steady::now() - origin_) / std::chrono::milliseconds(1)); }

    void idle(bool hasDeadline, uint32_t deadline) override {
        if (spinWaits_) return;
        // A pass that follows drawing never waits: drawing loops pump once per line.
        if (drawSerial != idleSerial_) {
            idleSerial_ = drawSerial;
            return;
        }
        if (!videoUp_ || !messageQueueEmpty()) return;
        SDL_PumpEvents();
        if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return;
        double limit = periodMs();
        const bool pending = presentationPending();
        const double due = pending ? msUntilPresentationDue() : 0;
        if (pending) {
            if (due <= 0) return;
            limit = std::min(limit, std::ceil(due));
        }
        if (hasDeadline) {
            const Steady::time_point reached = momentOfTick(deadline);
            const double left = std::chrono::duration<double, std::milli>(reached - Steady::now()).count();
            // Just passed: the caller's next end check finishes the wait, so do not block now. A
            // deadline long past belongs to a loop that only polls; it blocks as if it had none.
            if (left <= 0 && left > -2) return;
            if (left > 0 && left <= kFinalStretchMs) {
                // The last stretch is one precise sleep to the moment the count reaches the
                // deadline. Each wake-up is another chance for the system to wake the game late,
                // so there are no naps here; a presentation falling due within the stretch goes out
                // now, a little early, rather than between the deadline and the caller's return.
                if (pending && due <= left) presentIfDue(true);
#ifdef _WIN32
                win32::sleepUntil(reached);
#else
                std::this_thread::sleep_until(reached);
#endif
                return;
            }
            // Blocking on the event queue wakes up to a couple of milliseconds late at times; it
            // ends where the final stretch begins, so such a delay eats into the stretch instead.
            if (left > 0) limit = std::min(limit, left - kFinalStretchMs);
        }
#ifdef _WIN32
        if (limit <= 0) return nap();
        return win32::waitForInputUntil(Steady::now() + std::chrono::microseconds(int64_t(limit * 1000)));
#endif
        const int timeout = int(limit);
        if (timeout <= 0) return nap();
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, timeout)) translate(e);
    }

    void waitVerticalBlank() override {
        // The next tick of a grid at the display's refresh rate.
        const uint64_t freq = SDL_GetPerformanceFrequency();
        const uint64_t now = SDL_GetPerformanceCounter();
        const double period = double(freq) / refreshRate_;
        const uint64_t tick = uint64_t(double(now) / period) + 1;
        uint64_t target = uint64_t(double(tick) * period);
        if (target <= now) target = now + 1;
        sleepUntil(target);
    }

    void messageBox(const std::string& text, const char* caption) override {
        const char* title = caption ? caption : "Error";
        // Out of full screen first, so the box is not hidden behind the game.
        if (window_ && fullscreen_) setFullscreen(false);
#ifdef _WIN32
        if (systemMessageBox(window_, text, title)) return;
#endif
        if (!videoUp_ ||
            SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title, text.c_str(), window_) != 0)
            std::fprintf(stderr, "%s: %s\n", title, text.c_str());
    }

    bool openDisplay() override {
        if (!window_) return false;
        showAll_ = true;
        return true;
    }
    void closeDisplay() override {
        // The window goes black until a display is opened again.
        showAll_ = true;
        presentIfDue(true);
    }

    bool realAudio() const override { return true; }

    bool tracing() const override { return traceFile_ != nullptr; }
    void trace(const std::string& text) override {
        if (!traceFile_) return;
        std::fprintf(traceFile_, "%u %s\n", unsigned(now()), text.c_str());
        std::fflush(traceFile_);
    }

    void toggleFullscreen() override {
        if (window_) setFullscreen(!fullscreen_);
    }

    void shutdown(int) override {
        // Each step is forgotten before it is taken: Xlib's default error handler may call exit()
        // from inside SDL_Quit, and the exit handlers run this again.
        if (std::FILE* trace = std::exchange(traceFile_, nullptr)) std::fclose(trace);
        SDL_Surface* staging = std::exchange(staging_, nullptr);
        if (staging) SDL_FreeSurface(staging);
        SDL_Window* window = std::exchange(window_, nullptr);
        if (window) SDL_DestroyWindow(window);
        if (std::exchange(videoUp_, false)) SDL_Quit();
    }

private:
    // Full screen is a borderless window covering the desktop rather than SDL's desktop full-screen
    // mode: that one asks the window manager to enlarge the window, and with none (a bare X server)
    // the window stays 640 by 480 while SDL sizes its surface for the whole screen. A plain window
    // at the desktop's bounds is the same to the player under any window manager and works without.
    void setFullscreen(bool full) {
        fullscreen_ = full;
        showAll_ = true;
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

    // The game thread runs for a fraction of a millisecond per frame and then sleeps to a deadline.
    // Asking the scheduler for short time slices (honoured by Linux 6.12 and later; older kernels
    // accept and ignore it) lets its wake-ups preempt a busy task on the same processor, where it
    // would otherwise wait out that task's slice and end the frame up to a few milliseconds late.
    static void askForShortSlices() {
#if defined(__linux__) && defined(SYS_sched_setattr)
        struct {  // the kernel's struct sched_attr, first published layout
            uint32_t size, policy;
            uint64_t flags;
            int32_t nice;
            uint32_t priority;
            uint64_t runtime, deadline, period;
        } attr{};
        attr.size = sizeof attr;
        attr.policy = 0;  // SCHED_OTHER, at the thread's own nice level
        attr.nice = getpriority(PRIO_PROCESS, 0);
        attr.runtime = 100000;  // ns: the shortest slice the kernel grants
        syscall(SYS_sched_setattr, 0, &attr, 0);
#endif
    }

    // When now() comes to read `tick` (the nearest such moment: the count wraps after 49 days).
    Steady::time_point momentOfTick(uint32_t tick) const {
        using std::chrono::milliseconds;
        const int64_t current = std::chrono::floor<milliseconds>(Steady::now() - origin_).count();
        return origin_ + milliseconds(current + int32_t(tick - uint32_t(current)));
    }

    void readRefreshRate() {
        SDL_DisplayMode mode;
        const int display = SDL_GetWindowDisplayIndex(window_);
        refreshRate_ = 60;
        if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 &&
            mode.refresh_rate > 0)
            refreshRate_ = mode.refresh_rate;
    }
    double periodMs() const { return 1000.0 / refreshRate_; }
    static void nap() {
#ifdef _WIN32
        win32::sleepUntil(Steady::now() + std::chrono::microseconds(100));
#else
        const timespec t{0, 100000};
        nanosleep(&t, nullptr);
#endif
    }

    void sleepUntil(uint64_t target) {
        const uint64_t freq = SDL_GetPerformanceFrequency();
#ifdef _WIN32
        // One precise timer wait, no spinning.
        const uint64_t now = SDL_GetPerformanceCounter();
        if (target > now)
            win32::sleepUntil(Steady::now() + std::chrono::nanoseconds((target - now) * 1000000000 / freq));
        return;
#endif
        for (;;) {
            const uint64_t now = SDL_GetPerformanceCounter();
            if (now >= target) return;
            const uint64_t leftMs = (target - now) * 1000 / freq;
            // Sleep until about a millisecond before, then spin: sleeps overshoot.
            if (leftMs >= 2) SDL_Delay(Uint32(leftMs - 1));
        }
    }

    void translate(const SDL_Event& e) {
        switch (e.type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                if (e.type == SDL_KEYDOWN && e.key.repeat == 0) {
                    stats::keyArrived(drawSerial);
                    if (!keyAnswerDue_) keySerial_ = drawSerial;
                    keyAnswerDue_ = true;
                }
                Message m;
                if (keyMessageFromSdl(e.type == SDL_KEYDOWN, e.key.repeat != 0, e.key.keysym.sym,
                                      e.key.keysym.mod, m))
                    enqueueMessage(m);
                break;
            }
            case SDL_QUIT: enqueueMessage({WM_CLOSE, 0, 0}); break;
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE: enqueueMessage({WM_CLOSE, 0, 0}); break;
                    case SDL_WINDOWEVENT_ENTER: enqueueMessage({WM_SETCURSOR, 0, 0}); break;
                    case SDL_WINDOWEVENT_MOVED: enqueueMessage({WM_MOVE, 0, 0}); break;
                    case SDL_WINDOWEVENT_DISPLAY_CHANGED: readRefreshRate(); showAll_ = true; break;
                    case SDL_WINDOWEVENT_SHOWN:
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_RESIZED:
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                    case SDL_WINDOWEVENT_RESTORED:
                    case SDL_WINDOWEVENT_MAXIMIZED: showAll_ = true; break;
                    default: break;
                }
                break;
            default: break;
        }
    }

    bool presentationPending() const { return window_ && (showAll_ || drawSerial != shownSerial_); }
    double msUntilPresentationDue() const {
        const uint64_t now = SDL_GetPerformanceCounter();
        const double since = double(now - lastShown_) * 1000.0 / double(SDL_GetPerformanceFrequency());
        return periodMs() - since;
    }

    // Shows what changed on the front surface, at most once per display refresh unless forced.
    void presentIfDue(bool force = false) {
        if (!presentationPending()) return;
        // The first frame drawn after a key press goes out at once, not at the next refresh slot:
        // the answer to a key should not wait up to a refresh longer than it must.
        const bool answersKey = keyAnswerDue_ && drawSerial != keySerial_;
        if (!force && !answersKey && lastShown_ != 0 && msUntilPresentationDue() > 0) return;
        keyAnswerDue_ = false;
        const double began = stats::enabled() ? stats::wallMs() : 0;
        const uint64_t serial = drawSerial;
        present();
        if (stats::enabled()) {
            const DisplayDevice* device = DisplayDevice::current();
            bool visible = false;
            if (device && device->primary())
                for (int i = 0; i < 256 && !visible; ++i) {
                    const PaletteEntry& p = device->devicePalette()[i];
                    visible = p.peRed || p.peGreen || p.peBlue;
                }
            stats::presented(stats::wallMs() - began, serial, visible);
        }
    }

    void present() {
        // Stamped first: a window without a surface (minimised, say) is retried once a refresh.
        shownSerial_ = drawSerial;
        lastShown_ = SDL_GetPerformanceCounter();
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (!target) return;

        const DisplayDevice* device = DisplayDevice::current();
        const Surface* front = device ? device->primary() : nullptr;
        // The conversion writes 32-bit pixels; other window formats go through a staging copy.
        const bool direct = target->format->BytesPerPixel == 4;
        SDL_Surface* canvas = target;
        if (!direct) {
            if (!staging_ || staging_->w != target->w || staging_->h != target->h) {
                if (staging_) SDL_FreeSurface(staging_);
                staging_ = SDL_CreateRGBSurfaceWithFormat(0, target->w, target->h, 32,
                                                          SDL_PIXELFORMAT_XRGB8888);
                if (!staging_) {
                    showAll_ = true;
                    return;
                }
                showAll_ = true;
            }
            canvas = staging_;
        }
        if (canvas->w != canvasW_ || canvas->h != canvasH_ || canvas->format->format != canvasFormat_) {
            canvasW_ = canvas->w;
            canvasH_ = canvas->h;
            canvasFormat_ = canvas->format->format;
            showAll_ = true;
        }
        if (!front) {
            SDL_FillRect(canvas, nullptr, SDL_MapRGB(canvas->format, 0, 0, 0));
            if (!direct) SDL_BlitSurface(canvas, nullptr, target, nullptr);
            SDL_UpdateWindowSurface(window_);
            showAll_ = false;
            shown_.clear();
            return;
        }
        const int32_t w = front->width(), h = front->height();
        const PaletteEntry* pal = device->devicePalette();
        if (std::memcmp(pal, shownPalette_, sizeof shownPalette_) != 0 || showAll_) {
            std::memcpy(shownPalette_, pal, sizeof shownPalette_);
            for (int i = 0; i < 256; ++i)
                lut_[i] = SDL_MapRGB(canvas->format, pal[i].peRed, pal[i].peGreen, pal[i].peBlue);
            showAll_ = true;
        }
        if (shown_.size() != size_t(w) * size_t(h)) {
            shown_.assign(size_t(w) * size_t(h), 0);
            showAll_ = true;
        }
        const Placement place = placePicture(w, h, canvas->w, canvas->h);
        Box box = updateShadow(front->data(), front->pitch(), shown_.data(), w, w, h);
        if (SDL_MUSTLOCK(canvas)) SDL_LockSurface(canvas);
        if (showAll_) {
            SDL_FillRect(canvas, nullptr, SDL_MapRGB(canvas->format, 0, 0, 0));
            box = Box{0, 0, w, h};
        }
        const Box out = convertScaled(front->data(), front->pitch(), box, lut_, place,
                                      static_cast<uint8_t*>(canvas->pixels), canvas->pitch,
                                      canvas->w, canvas->h);
        if (SDL_MUSTLOCK(canvas)) SDL_UnlockSurface(canvas);
        if (showAll_) {
            if (!direct) SDL_BlitSurface(canvas, nullptr, target, nullptr);
            SDL_UpdateWindowSurface(window_);
        } else if (!out.empty()) {
            SDL_Rect r{out.left, out.top, out.right - out.left, out.bottom - out.top};
            if (!direct) {
                SDL_Rect d = r;
                SDL_BlitSurface(canvas, &r, target, &d);
            }
            SDL_UpdateWindowSurfaceRects(window_, &r, 1);
        }
        showAll_ = false;
    }

    bool windowed_;
    const Steady::time_point origin_ = Steady::now();
    bool spinWaits_ = false;
    bool keyAnswerDue_ = false;
    uint64_t keySerial_ = 0;
    std::FILE* traceFile_ = nullptr;
    bool fullscreen_ = false;
    bool videoUp_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Surface* staging_ = nullptr;
    int refreshRate_ = 60;
    uint64_t idleSerial_ = 0;
    uint64_t shownSerial_ = ~uint64_t(0);
    uint64_t lastShown_ = 0;
    bool showAll_ = true;
    int canvasW_ = 0, canvasH_ = 0;
    uint32_t canvasFormat_ = 0;
    std::vector<uint8_t> shown_;
    PaletteEntry shownPalette_[256] = {};
    uint32_t lut_[256] = {};
};

}  // namespace

std::unique_ptr<Backend> makeSdlBackend(bool windowed) {
    return std::make_unique<SdlBackend>(windowed);
}

}  // namespace platform
