// Waits hand control back to the browser: the program is suspended (ASYNCIFY) and resumed by a
// timeout, or earlier by a key, so the game's straight loops run unchanged while the page stays
// alive. Each time it yields, whatever changed on the front surface is put on the canvas.
#include "backends/web/web_backend.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "platform/pads.h"
#include "platform/present.h"
#include "platform/stats.h"

namespace platform {

namespace {

constexpr double kFrameMs = 1000.0 / 60;
// How often ?stats prints its report while the game runs.
constexpr double kStatsPeriodMs = 10000;

// JavaScript, which clang-format would take for C++.
// clang-format off
// Sleeps ms (0: just lets the browser run what is due), ending early when jsWake is called. A
// precise sleep ends on time: the timeout ends about a millisecond early (browsers wake up to a
// couple of milliseconds late) and the rest is passed in turns through a message port, which the
// browser runs as soon as it has nothing else to do. Every timeout is set from such a turn too: a
// timeout set from a timeout's callback counts as nested, and browsers stretch nested timeouts to
// at least 4 ms.
EM_ASYNC_JS(void, jsSleep, (double ms, int precise), {
    await new Promise(function(resolve) {
        const id = (Module.varnisSleep = (Module.varnisSleep | 0) + 1);
        const end = performance.now() + ms;
        const margin = precise ? 1.5 : 0;
        let timer = 0;
        const done = function() {
            if (Module.varnisSleep !== id) return;
            Module.varnisSleep = id + 1;
            clearTimeout(timer);
            resolve();
        };
        Module.varnisWake = done;
        if (!Module.varnisPort) Module.varnisPort = new MessageChannel();
        const port = Module.varnisPort;
        const turn = function() { port.port2.postMessage(id); };
        port.port1.onmessage = function(e) {
            if (e.data !== id || Module.varnisSleep !== id) return;
            const left = end - performance.now();
            if (left <= 0 || (!precise && left < 1)) done();
            else if (left > margin + 1) timer = setTimeout(turn, Math.floor(left - margin));
            else turn();
        };
        turn();
    });
});

EM_JS(void, jsWake, (), {
    if (Module.varnisWake) Module.varnisWake();
});

EM_JS(int, jsSetUpCanvas, (int w, int h), {
    if (typeof document === 'undefined' || !Module.canvas) return 0;
    Module.canvas.width = w;
    Module.canvas.height = h;
    Module.varnisContext = Module.canvas.getContext('2d', {alpha: false});
    return Module.varnisContext ? 1 : 0;
});

EM_JS(void, jsPutImage, (const uint8_t* rgba, int w, int h, int x, int y, int bw, int bh), {
    const image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, w * h * 4), w, h);
    Module.varnisContext.putImageData(image, 0, 0, x, y, bw, bh);
});

// The moment (on the page's clock, from the start of its loading) the first picture was shown.
EM_JS(void, jsFirstPicture, (), {
    Module.varnisFirstPicture = performance.now();
});

EM_JS(void, jsMessage, (const char* text), {
    const t = UTF8ToString(text);
    if (Module.varnisMessage) Module.varnisMessage(t); else console.warn(t);
});

EM_JS(void, jsStatus, (const char* text), {
    const t = UTF8ToString(text);
    if (Module.varnisStatus) Module.varnisStatus(t); else console.info(t);
});
// clang-format on

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void* self);
EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void* self);

class WebBackend final : public Backend {
public:
    bool createWindow(const char*) override {
        if (ready_) return true;
        if (!jsSetUpCanvas(kWidth, kHeight)) return false;
        const char* target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
        emscripten_set_keydown_callback(target, this, true, onKey);
        emscripten_set_keyup_callback(target, this, true, onKey);
        emscripten_set_blur_callback(target, this, true, onBlur);
        rgba_.assign(size_t(kWidth) * kHeight * 4, 0);
        ready_ = true;
        return true;
    }

    void poll(bool) override {
        readPads();
        for (const Message& m : pending_) enqueueMessage(m);
        pending_.clear();
        // A game following another machine's waits without idling here: what it drew goes on the
        // canvas at most once a frame, and the browser shows it when the wait yields.
        if (drawSerial != shownSerial_ && emscripten_get_now() - lastShown_ >= kFrameMs) present();
    }
    uint32_t now() override { return uint32_t(int64_t(emscripten_get_now() - origin_)); }

    void idle(bool hasDeadline, uint32_t deadline) override {
        const double t = emscripten_get_now();
        const bool drew = drawSerial != idleSerial_;
        idleSerial_ = drawSerial;
        // A loop that draws or takes keys without pausing (Ctrl held) still lets the browser
        // run once a frame, or the page would hang.
        const bool busy = drew || !messageQueueEmpty() || !pending_.empty();
        double wait = kFrameMs;
        if (!busy && hasDeadline) {
            const uint32_t current = now();
            const double left = origin_ + double(current) + int32_t(deadline - current) - t;
            if (left > 0 && left <= wait) return yieldFor(left, true);
            if (left <= 0 && left > -2)
                return yieldIfOverdue(t);  // just passed: the caller ends its wait
        }
        if (busy) return yieldIfOverdue(t);
        yieldFor(wait);
    }

    void waitVerticalBlank() override {
        const double since = emscripten_get_now() - origin_;
        yieldFor((std::floor(since / kFrameMs) + 1) * kFrameMs - since, true);
    }

    // Who joined, the host gone: on the page, beside the picture, never in it.
    void setStatus(const std::string& text) override { jsStatus(text.c_str()); }

    void messageBox(const std::string& text, const char* caption) override {
        const std::string line = std::string(caption ? caption : "Error") + ": " + text;
        jsMessage(line.c_str());
    }

    bool openDisplay() override {
        showAll_ = true;
        return ready_;
    }
    void closeDisplay() override {
        showAll_ = true;
        present();
    }
    bool realAudio() const override { return ready_; }
    std::unique_ptr<AudioOutput> openAudio(AudioPull pull, void* user, uint32_t& rate) override {
        return openWebAudio(pull, user, rate);
    }

    void key(const Message& m, bool pressed, bool repeat) {
        if (pressed && !repeat) {
            stats::keyArrived(drawSerial);
            held_[m.wParam & 0xFF] = true;
        }
        if (!pressed) held_[m.wParam & 0xFF] = false;
        pending_.push_back(m);
        jsWake();
    }
    // Focus lost: the keys held down are let go, as the desktop's window system does.
    void releaseHeldKeys() {
        for (uint32_t vk = 0; vk < 256; ++vk)
            if (std::exchange(held_[vk], false))
                pending_.push_back(keyMessage(vk, false, false, false));
        jsWake();
    }

private:
    static constexpr int32_t kWidth = 640, kHeight = 480;
    static constexpr int kMaxPads = 4;

    // The pads, sampled at each look at the queue (the browser has no events for their buttons).
    // A pad is numbered by its place in the browser's list, 1 first, which keeps a pad's number
    // while it stays connected and gives a pad plugged in again the lowest free one. A key held
    // through several controls goes down with each press and up with the last release.
    void readPads() {
        if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return;
        EmscriptenGamepadEvent state[kMaxPads];
        bool connected[kMaxPads] = {};
        int pads = 0;
        for (int i = 0; i < kMaxPads && i < emscripten_get_num_gamepads(); ++i) {
            connected[i] =
                emscripten_get_gamepad_status(i, &state[i]) == EMSCRIPTEN_RESULT_SUCCESS &&
                state[i].connected && std::string(state[i].mapping) == "standard";
            pads += connected[i];
        }
        for (int i = 0; i < kMaxPads; ++i) {
            const EmscriptenGamepadEvent& s = state[i];
            auto button = [&](int b) {
                return connected[i] && b < s.numButtons && s.digitalButton[b];
            };
            // Sticks and the trigger: pressed past half way, released below a quarter.
            auto past = [&](PadControl c, double amount) {
                const bool held = padHeld_[i][size_t(c)] != 0;
                return connected[i] && (held ? amount >= 0.25 : amount >= 0.5);
            };
            const double stickY = connected[i] && s.numAxes > 1 ? s.axis[1] : 0;
            const double trigger = connected[i] && s.numButtons > 7 ? s.analogButton[7] : 0;
            // In PadControl's order; the standard layout's buttons 0 and 1 are A and B, 8 and 9
            // Back and Start, 4 and 5 the shoulders, 12 and 13 the D-pad's up and down.
            const bool down[size_t(PadControl::Count)] = {button(0),
                                                          button(1),
                                                          button(8),
                                                          button(9),
                                                          button(4),
                                                          button(5),
                                                          button(12),
                                                          button(13),
                                                          past(PadControl::StickUp, -stickY),
                                                          past(PadControl::StickDown, stickY),
                                                          past(PadControl::RightTrigger, trigger)};
            for (size_t c = 0; c < size_t(PadControl::Count); ++c) {
                uint32_t& held = padHeld_[i][c];
                if (down[c] && !held) {
                    held = padKey(PadControl(c), i + 1, pads);
                    if (held)
                        pending_.push_back(keyMessage(held, true, padHolders_[held]++ > 0, false));
                } else if (!down[c] && held) {
                    if (--padHolders_[held] == 0)
                        pending_.push_back(keyMessage(held, false, false, false));
                    held = 0;
                }
            }
        }
    }

    void yieldIfOverdue(double t) {
        if (t - lastYield_ >= kFrameMs) yieldFor(0);
    }
    void yieldFor(double ms, bool precise = false) {
        if (showAll_ || drawSerial != shownSerial_) present();
        if (stats::enabled() && stats::wallMs() - lastStats_ >= kStatsPeriodMs) {
            lastStats_ = stats::wallMs();
            std::fputs(stats::format().c_str(), stderr);
        }
        jsSleep(ms, precise);
        lastYield_ = emscripten_get_now();
    }

    void present() {
        if (!ready_) return;
        const double began = stats::enabled() ? stats::wallMs() : 0;
        const uint64_t serial = drawSerial;
        shownSerial_ = serial;
        lastShown_ = emscripten_get_now();
        const DisplayDevice* device = DisplayDevice::current();
        const Surface* front = device ? device->primary() : nullptr;
        bool visible = false;
        if (!front || front->width() != kWidth || front->height() != kHeight) {
            for (size_t i = 0; i < rgba_.size(); ++i) rgba_[i] = (i % 4 == 3) ? 255 : 0;
            jsPutImage(rgba_.data(), kWidth, kHeight, 0, 0, kWidth, kHeight);
            showAll_ = false;
            shown_.clear();  // the next picture goes out whole
        } else {
            const PaletteEntry* pal = device->devicePalette();
            for (int i = 0; i < 256; ++i) {
                const uint32_t c = uint32_t(pal[i].peRed) | uint32_t(pal[i].peGreen) << 8 |
                                   uint32_t(pal[i].peBlue) << 16 | 0xFF000000u;
                if (c != lut_[i]) showAll_ = true;
                lut_[i] = c;
                visible = visible || (c & 0xFFFFFF) != 0;
            }
            if (shown_.size() != size_t(kWidth) * kHeight) {
                shown_.assign(size_t(kWidth) * kHeight, 0);
                showAll_ = true;
            }
            Box box =
                updateShadow(front->data(), front->pitch(), shown_.data(), kWidth, kWidth, kHeight);
            if (showAll_) box = Box{0, 0, kWidth, kHeight};
            const Box out = convertScaled(front->data(), front->pitch(), box, lut_, Placement{},
                                          rgba_.data(), kWidth * 4, kWidth, kHeight);
            if (!out.empty())
                jsPutImage(rgba_.data(), kWidth, kHeight, out.left, out.top, out.right - out.left,
                           out.bottom - out.top);
            showAll_ = false;
        }
        if (visible && !shownPicture_) {
            shownPicture_ = true;
            jsFirstPicture();
        }
        if (stats::enabled()) stats::presented(stats::wallMs() - began, serial, visible);
    }

    const double origin_ = emscripten_get_now();
    bool ready_ = false;
    std::vector<Message> pending_;
    bool held_[256] = {};
    uint64_t idleSerial_ = 0;
    uint64_t shownSerial_ = ~uint64_t(0);
    bool showAll_ = true;
    bool shownPicture_ = false;
    double lastYield_ = 0;
    double lastShown_ = 0;
    uint32_t padHeld_[kMaxPads][size_t(PadControl::Count)] = {};  // the key each control sent
    int padHolders_[256] = {};
    double lastStats_ = 0;
    std::vector<uint8_t> shown_;
    std::vector<uint8_t> rgba_;
    uint32_t lut_[256] = {};
};

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void* self) {
    const bool pressed = type == EMSCRIPTEN_EVENT_KEYDOWN;
    Message m;
    if (!keyMessageFromDom(pressed, e->repeat, e->altKey, e->code, m)) return false;
    static_cast<WebBackend*>(self)->key(m, pressed, e->repeat);
    // The page keeps its own use of the function keys, Tab and Alt (reload, full screen, menus);
    // the rest, the arrows and Space among them, no longer scroll it. Ctrl with a letter stays the
    // browser's too (reload, address bar), as Ctrl alone means nothing but full speed to the game.
    if (e->ctrlKey && m.wParam >= 'A' && m.wParam <= 'Z') return false;
    return !(m.wParam >= VK_F1 && m.wParam <= VK_F12) && m.wParam != VK_TAB && m.wParam != VK_MENU;
}

EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void* self) {
    static_cast<WebBackend*>(self)->releaseHeldKeys();
    return false;
}

}  // namespace

std::unique_ptr<Backend> makeWebBackend() { return std::make_unique<WebBackend>(); }

}  // namespace platform
