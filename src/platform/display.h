// The software stand-in for DirectDraw: 8-bit surfaces, a primary surface with one attached back
// buffer, a 256-entry device palette and the vertical blank. Fills and fast copies follow the
// original platform's refusal rules: a rectangle not wholly inside its surface is refused and
// nothing is drawn. Nothing here ever reads or writes outside a surface's memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/host.h"

namespace platform {

struct PaletteEntry {
    uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

// Result codes (the values DirectDraw uses; callers mostly ignore them).
enum : int32_t {
    DD_OK = 0,
    DDERR_GENERIC = int32_t(0x80004005),
    DDERR_INVALIDPARAMS = int32_t(0x80070057),
    DDERR_INVALIDRECT = int32_t(0x88760096),
    DDERR_NOCOLORKEY = int32_t(0x887600D7),
    DDERR_SURFACEBUSY = int32_t(0x887601AE),
    DDERR_NOTLOCKED = int32_t(0x887602E6),
    DDERR_NOTFLIPPABLE = int32_t(0x887600FA),
};

// BltFast flags.
enum : uint32_t { DDBLTFAST_NOCOLORKEY = 0, DDBLTFAST_SRCCOLORKEY = 1, DDBLTFAST_WAIT = 0x10 };

// Every change to any surface or to the device palette bumps this counter. Presentation and the
// idle logic of the waits compare it with the value they saw last.
extern uint64_t drawSerial;

class Surface {
public:
    Surface(int32_t width, int32_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t pitch() const { return pitch_; }

    // Colour fill; null rect = whole surface. Refused (DDERR_INVALIDRECT) unless wholly inside.
    int32_t fill(const Rect* rect, uint32_t value);
    // Fast copy from src's rectangle (null = whole src) to (x, y). flags & DDBLTFAST_SRCCOLORKEY
    // leaves out source pixels of src's colour key (refused when src has none). Refused when
    // either rectangle is not wholly inside its surface. Source and destination may be the same.
    int32_t bltFast(int32_t x, int32_t y, Surface& src, const Rect* srcRect, uint32_t flags);
    // Lock the whole surface; pixels/pitch are null/0 when refused (already locked).
    int32_t lock(uint8_t** pixels, int32_t* pitch);
    int32_t unlock(const void* pointer);
    bool locked() const { return locked_; }

    void setColorKey(uint8_t low, uint8_t high);
    void clearColorKey() { hasColorKey_ = false; }
    bool hasColorKey() const { return hasColorKey_; }
    uint8_t colorKey() const { return colorKeyLow_; }

    // Direct access for the drawing stand-ins (lines, discs, text, bitmaps), which clip
    // themselves. Call markWritten() after writing.
    uint8_t* data() { return pixels_.data(); }
    const uint8_t* data() const { return pixels_.data(); }
    void markWritten() { ++drawSerial; }

    // Flip chain: the back buffer attached to a primary surface.
    Surface* attached() const { return attached_; }
    // Swaps the memory of this primary surface and its back buffer.
    int32_t flip();

    bool isLost() const { return false; }
    int32_t restore() { return DD_OK; }

private:
    friend class DisplayDevice;
    int32_t width_, height_, pitch_;
    std::vector<uint8_t> pixels_;
    bool locked_ = false;
    bool hasColorKey_ = false;
    uint8_t colorKeyLow_ = 0, colorKeyHigh_ = 0;
    Surface* attached_ = nullptr;
};

class Palette {
public:
    int32_t setEntries(uint32_t flags, uint32_t start, uint32_t count, const PaletteEntry* entries);
    const PaletteEntry* entries() const { return entries_; }

private:
    friend class DisplayDevice;
    PaletteEntry entries_[256] = {};
};

// The display device. One exists while the Screen is open; the presentation of the active back
// end shows its primary surface through its palette.
class DisplayDevice {
public:
    // DirectDrawCreate: null when there is no display to open (no window system).
    static DisplayDevice* create();
    // The device that presentation and snapshots read; null while none is open.
    static DisplayDevice* current();

    int32_t setCooperativeLevel(uint32_t flags);
    int32_t setDisplayMode(int32_t width, int32_t height, int32_t bitsPerPixel);
    // Primary surface (with one attached back buffer when backBuffers is 1).
    Surface* createPrimary(int backBuffers);
    Surface* createOffscreen(int32_t width, int32_t height);
    Palette* createPalette(const PaletteEntry entries[256]);
    // Attaches a palette to the primary surface: it becomes the device palette.
    int32_t setPalette(Palette* palette);
    int32_t waitForVerticalBlank();
    void releaseSurface(Surface* surface);
    void releasePalette(Palette* palette);
    void release();

    Surface* primary() const { return primary_; }
    const PaletteEntry* devicePalette() const;

private:
    DisplayDevice() = default;
    int32_t width_ = 640, height_ = 480;
    Surface* primary_ = nullptr;
    Palette* palette_ = nullptr;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    std::vector<std::unique_ptr<Palette>> palettes_;
};

}  // namespace platform
