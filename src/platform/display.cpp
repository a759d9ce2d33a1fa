#include "platform/display.h"

#include <algorithm>
#include <cstring>

#include "platform/backend.h"

namespace platform {

uint64_t drawSerial = 0;

namespace {

DisplayDevice* currentDevice = nullptr;

bool inside(const Rect& r, int32_t w, int32_t h) {
    return r.left >= 0 && r.top >= 0 && r.right <= w && r.bottom <= h && r.left < r.right &&
           r.top < r.bottom;
}

}  // namespace

Surface::Surface(int32_t width, int32_t height)
    : width_(width), height_(height), pitch_(width), pixels_(size_t(width) * size_t(height), 0) {}

int32_t Surface::fill(const Rect* rect, uint32_t value) {
    Rect r = rect ? *rect : Rect{0, 0, width_, height_};
    if (locked_) return DDERR_SURFACEBUSY;
    if (!inside(r, width_, height_)) return DDERR_INVALIDRECT;
    const uint8_t v = uint8_t(value);
    for (int32_t y = r.top; y < r.bottom; ++y)
        std::memset(&pixels_[size_t(y) * pitch_ + r.left], v, size_t(r.right - r.left));
    markWritten();
    return DD_OK;
}

int32_t Surface::bltFast(int32_t x, int32_t y, Surface& src, const Rect* srcRect, uint32_t flags) {
    Rect s = srcRect ? *srcRect : Rect{0, 0, src.width_, src.height_};
    if (locked_ || src.locked_) return DDERR_SURFACEBUSY;
    if (!inside(s, src.width_, src.height_)) return DDERR_INVALIDRECT;
    const int32_t w = s.right - s.left, h = s.bottom - s.top;
    // 64-bit sums: x + w cannot overflow for any caller's x.
    if (x < 0 || y < 0 || int64_t(x) + w > width_ || int64_t(y) + h > height_)
        return DDERR_INVALIDRECT;
    const bool keyed = (flags & DDBLTFAST_SRCCOLORKEY) != 0;
    if (keyed && !src.hasColorKey_) return DDERR_NOCOLORKEY;
    // Rows are copied through memmove in an order that is safe when source and destination
    // overlap inside one surface.
    const bool bottomUp = (&src == this) && y > s.top;
    for (int32_t i = 0; i < h; ++i) {
        const int32_t row = bottomUp ? h - 1 - i : i;
        uint8_t* d = &pixels_[size_t(y + row) * pitch_ + x];
        const uint8_t* p = &src.pixels_[size_t(s.top + row) * src.pitch_ + s.left];
        if (!keyed) {
            std::memmove(d, p, size_t(w));
        } else if (&src == this) {
            std::vector<uint8_t> tmp(p, p + w);
            for (int32_t c = 0; c < w; ++c)
                if (tmp[c] < src.colorKeyLow_ || tmp[c] > src.colorKeyHigh_) d[c] = tmp[c];
        } else {
            for (int32_t c = 0; c < w; ++c)
                if (p[c] < src.colorKeyLow_ || p[c] > src.colorKeyHigh_) d[c] = p[c];
        }
    }
    markWritten();
    return DD_OK;
}

int32_t Surface::lock(uint8_t** pixels, int32_t* pitch) {
    if (locked_) {
        *pixels = nullptr;
        *pitch = 0;
        return DDERR_SURFACEBUSY;
    }
    locked_ = true;
    *pixels = pixels_.data();
    *pitch = pitch_;
    return DD_OK;
}

int32_t Surface::unlock(const void*) {
    if (!locked_) return DDERR_NOTLOCKED;
    locked_ = false;
    markWritten();  // the holder of the lock may have written anything
    return DD_OK;
}

void Surface::setColorKey(uint8_t low, uint8_t high) {
    hasColorKey_ = true;
    colorKeyLow_ = low;
    colorKeyHigh_ = high;
}

int32_t Surface::flip() {
    if (!attached_) return DDERR_NOTFLIPPABLE;
    if (locked_ || attached_->locked_) return DDERR_SURFACEBUSY;
    pixels_.swap(attached_->pixels_);
    markWritten();
    return DD_OK;
}

int32_t Palette::setEntries(uint32_t, uint32_t start, uint32_t count, const PaletteEntry* entries) {
    if (start > 256 || count > 256 - start || !entries) return DDERR_INVALIDPARAMS;
    std::memcpy(&entries_[start], entries, count * sizeof(PaletteEntry));
    ++drawSerial;
    return DD_OK;
}

DisplayDevice* DisplayDevice::create() {
    if (!backend().openDisplay()) return nullptr;
    currentDevice = new DisplayDevice();
    return currentDevice;
}

DisplayDevice* DisplayDevice::current() { return currentDevice; }

int32_t DisplayDevice::setCooperativeLevel(uint32_t) { return DD_OK; }

int32_t DisplayDevice::setDisplayMode(int32_t width, int32_t height, int32_t bitsPerPixel) {
    // The stand-in shows any 8-bit mode up to the size of its frame.
    if (bitsPerPixel != 8 || width < 1 || height < 1 || width > 4096 || height > 4096)
        return DDERR_INVALIDPARAMS;
    width_ = width;
    height_ = height;
    return DD_OK;
}

Surface* DisplayDevice::createPrimary(int backBuffers) {
    if (primary_) return nullptr;
    surfaces_.push_back(std::make_unique<Surface>(width_, height_));
    primary_ = surfaces_.back().get();
    if (backBuffers == 1) {
        surfaces_.push_back(std::make_unique<Surface>(width_, height_));
        primary_->attached_ = surfaces_.back().get();
    }
    ++drawSerial;
    return primary_;
}

Surface* DisplayDevice::createOffscreen(int32_t width, int32_t height) {
    if (width < 1 || height < 1 || width > 4096 || height > 4096) return nullptr;
    surfaces_.push_back(std::make_unique<Surface>(width, height));
    return surfaces_.back().get();
}

Palette* DisplayDevice::createPalette(const PaletteEntry entries[256]) {
    palettes_.push_back(std::make_unique<Palette>());
    std::memcpy(palettes_.back()->entries_, entries, sizeof(PaletteEntry) * 256);
    return palettes_.back().get();
}

int32_t DisplayDevice::setPalette(Palette* palette) {
    palette_ = palette;
    ++drawSerial;
    return DD_OK;
}

int32_t DisplayDevice::waitForVerticalBlank() {
    platform::waitVerticalBlank();
    return DD_OK;
}

const PaletteEntry* DisplayDevice::devicePalette() const {
    static const PaletteEntry black[256] = {};
    return palette_ ? palette_->entries() : black;
}

void DisplayDevice::releaseSurface(Surface* surface) {
    if (!surface) return;
    if (surface == primary_) {
        Surface* back = primary_->attached_;
        primary_ = nullptr;
        std::erase_if(surfaces_, [&](auto& p) { return p.get() == surface || p.get() == back; });
        ++drawSerial;
        return;
    }
    std::erase_if(surfaces_, [&](auto& p) { return p.get() == surface; });
}

void DisplayDevice::releasePalette(Palette* palette) {
    if (palette == palette_) palette_ = nullptr;
    std::erase_if(palettes_, [&](auto& p) { return p.get() == palette; });
    ++drawSerial;
}

void DisplayDevice::release() {
    if (currentDevice == this) currentDevice = nullptr;
    backend().closeDisplay();
    delete this;
}

}  // namespace platform
