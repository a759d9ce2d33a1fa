#include "backends/sdl/presenter.h"

#include <cstring>
#include <utility>

#include "platform/present.h"
#include "platform/stats.h"

namespace platform {

void SdlPresenter::keyPressed() {
    stats::keyArrived(drawSerial);
    if (!keyAnswerDue_) keySerial_ = drawSerial;
    keyAnswerDue_ = true;
}

double SdlPresenter::msUntilDue(double periodMs) const {
    const uint64_t now = SDL_GetPerformanceCounter();
    const double since = double(now - lastShown_) * 1000.0 / double(SDL_GetPerformanceFrequency());
    return periodMs - since;
}

void SdlPresenter::presentIfDue(SDL_Window* window, double periodMs, bool force) {
    if (!pending(window)) return;
    // The first frame drawn after a key press goes out at once, not at the next refresh slot:
    // the answer to a key should not wait up to a refresh longer than it must.
    const bool answersKey = keyAnswerDue_ && drawSerial != keySerial_;
    if (!force && !answersKey && lastShown_ != 0 && msUntilDue(periodMs) > 0) return;
    keyAnswerDue_ = false;
    const double began = stats::enabled() ? stats::wallMs() : 0;
    const uint64_t serial = drawSerial;
    present(window);
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

void SdlPresenter::release() {
    if (SDL_Surface* staging = std::exchange(staging_, nullptr)) SDL_FreeSurface(staging);
}

void SdlPresenter::present(SDL_Window* window) {
    // Stamped first: a window without a surface (minimised, say) is retried once a refresh.
    shownSerial_ = drawSerial;
    lastShown_ = SDL_GetPerformanceCounter();
    SDL_Surface* target = SDL_GetWindowSurface(window);
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
        SDL_UpdateWindowSurface(window);
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
    const Box out =
        convertScaled(front->data(), front->pitch(), box, lut_, place,
                      static_cast<uint8_t*>(canvas->pixels), canvas->pitch, canvas->w, canvas->h);
    if (SDL_MUSTLOCK(canvas)) SDL_UnlockSurface(canvas);
    if (showAll_) {
        if (!direct) SDL_BlitSurface(canvas, nullptr, target, nullptr);
        SDL_UpdateWindowSurface(window);
    } else if (!out.empty()) {
        SDL_Rect r{out.left, out.top, out.right - out.left, out.bottom - out.top};
        if (!direct) {
            SDL_Rect d = r;
            SDL_BlitSurface(canvas, &r, target, &d);
        }
        SDL_UpdateWindowSurfaceRects(window, &r, 1);
    }
    showAll_ = false;
}

}  // namespace platform
