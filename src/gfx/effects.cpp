// Pixel effects of the display layer: mosaic copy, bitmap-font text, colour probe, rotation,
// 16-stage ordered dissolve and wave copy.
//
// The effects that work on locked memory lock the destination slot first and the source slot
// second, and unlock in the same order. Every rectangle is trimmed against the surfaces it
// touches: a pixel whose read or write would fall outside its surface is left out, so no caller
// can make an effect touch memory outside a surface. An unopened slot, a slot index outside the
// table or a failed lock (null pointer) draws nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "gfx/screen.h"
#include "platform/raster.h"

using platform::Surface;

// Column and row offset, inside each 4 by 4 cell, of the pixel that each dissolve stage copies.
// The 16 stages visit every position of the cell exactly once.
const uint8_t dissolveColumnOffsets[16] = {0, 2, 2, 0, 1, 3, 1, 3, 1, 3, 1, 3, 0, 2, 0, 2};
const uint8_t dissolveRowOffsets[16] = {0, 2, 0, 2, 1, 3, 3, 1, 0, 2, 2, 0, 1, 3, 3, 1};

namespace {

constexpr uint8_t kTransparent = 1;  // colour key of the keyed effects
constexpr int32_t kFontSlot = 2;     // the bitmap font's glyph strip lives here
constexpr int32_t kFontRow = 464;
constexpr int32_t kGlyphSize = 16;

// One locked slot as the effects see it.
struct PixelView {
    uint8_t* pixels = nullptr;
    int64_t pitch = 0;
    int64_t width = 0;
    int64_t height = 0;

    uint8_t* row(int64_t y) const { return pixels + y * pitch; }
};

// Holds the destination and source slots locked for the life of one effect. When both are the same
// slot it is locked once and both views share the one pointer, so an effect may work in place.
class LockedPair {
public:
    LockedPair(Screen& screen, int32_t dstSlot, int32_t srcSlot)
        : screen_(screen), dstSlot_(dstSlot), srcSlot_(srcSlot) {
        Surface* d = slotSurface(dstSlot);
        Surface* s = slotSurface(srcSlot);
        if (!d || !s) return;
        // Only a lock that was granted is given back: a refused lock (the slot is already held
        // elsewhere) must not release the holder's lock.
        screen_.lockSurface(dstSlot_);
        dstLocked_ = surfacePixels[dstSlot_] != nullptr;
        if (srcSlot_ != dstSlot_) {
            screen_.lockSurface(srcSlot_);
            srcLocked_ = surfacePixels[srcSlot_] != nullptr;
        }
        dst = view(dstSlot_, *d);
        src = view(srcSlot_, *s);
    }
    ~LockedPair() {
        if (dstLocked_) screen_.unlockSurface(dstSlot_);
        if (srcLocked_) screen_.unlockSurface(srcSlot_);
    }
    LockedPair(const LockedPair&) = delete;
    LockedPair& operator=(const LockedPair&) = delete;

    bool ok() const { return dst.pixels && src.pixels; }

    PixelView dst, src;

private:
    static PixelView view(int32_t slot, const Surface& s) {
        PixelView v;
        v.pixels = surfacePixels[slot];
        v.pitch = surfacePitch[slot];
        v.width = s.width();
        v.height = s.height();
        // A lock that failed leaves a null pointer or a zero pitch: nothing may be touched.
        if (!v.pixels || v.pitch < v.width) v = PixelView{};
        return v;
    }

    Screen& screen_;
    int32_t dstSlot_, srcSlot_;
    bool dstLocked_ = false, srcLocked_ = false;
};

// The offsets i in [0, count) for which origin + i lies inside [0, size).
struct Span {
    int64_t begin, end;
    bool empty() const { return begin >= end; }
};

Span inside(int64_t origin, int64_t count, int64_t size) {
    return Span{std::max<int64_t>(0, -origin), std::min<int64_t>(count, size - origin)};
}

Span overlap(Span a, Span b) { return Span{std::max(a.begin, b.begin), std::min(a.end, b.end)}; }

// Glyph of the bitmap font for one byte of text, or -1 when the byte has none.
int glyphOf(unsigned char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'Z') return 10 + (ch - 'A');
    if (ch >= 'a' && ch <= 'z') return 10 + (ch - 'a');
    if (ch == '.') return 36;
    return -1;
}

// The arc-tangent angle, in degrees, of a pixel at (ex, ey) from the centre, y pointing up.
double pixelAngle(int64_t ex, int64_t ey) {
    constexpr double K = 57.29577951;
    const double x = double(ex), y = double(ey);
    if (ex == 0) return ey == 0 ? 0.0 : (ey > 0 ? 90.0 : 270.0);
    if (ey == 0) return ex < 0 ? 180.0 : 0.0;
    if (ex < 0 && ey > 0) return 180.0 - std::atan(y / -x) * K;
    if (ex > 0 && ey > 0) return std::atan(y / x) * K;
    if (ex < 0) return 180.0 + std::atan(-y / -x) * K;
    return 360.0 - std::atan(-y / x) * K;
}

}  // namespace

void Screen::mosaicCopy(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                        int32_t dstSlot, int32_t srcSlot, int32_t n) {
    if (n < 1 || w < 1 || h < 1) return;
    LockedPair lock(*this, dstSlot, srcSlot);
    if (!lock.ok()) return;
    const PixelView& dst = lock.dst;
    const PixelView& src = lock.src;
    const Span cols = inside(dx, w, dst.width);
    const Span rows = inside(dy, h, dst.height);
    if (cols.empty() || rows.empty()) return;

    for (int64_t r = rows.begin; r < rows.end; ++r) {
        const int64_t srcY = int64_t(sy) + n * (r / n);
        if (srcY < 0 || srcY >= src.height) continue;
        const uint8_t* srcRow = src.row(srcY);
        uint8_t* dstRow = dst.row(dy + r);
        // Each run is the part of one n-pixel block that lies inside the destination; it takes
        // the source pixel at the block's left edge, read just before the run is written, as a
        // pixel-by-pixel walk would read it.
        uint8_t* d = dstRow + dx;
        if (n == 1) {  // a plain copy of the columns inside both surfaces
            const Span copy = overlap(cols, inside(sx, w, src.width));
            if (!copy.empty())
                std::memmove(d + copy.begin, srcRow + sx + copy.begin,
                             size_t(copy.end - copy.begin));
            continue;
        }
        int64_t c = cols.begin;
        for (int64_t blockStart = n * (c / n); c < cols.end; blockStart += n) {
            const int64_t runEnd = std::min<int64_t>(blockStart + n, cols.end);
            const int64_t srcX = int64_t(sx) + blockStart;
            if (srcX >= 0 && srcX < src.width) {
                const uint8_t v = srcRow[srcX];
                for (; c < runEnd; ++c) d[c] = v;
            }
            c = runEnd;
        }
    }
}

void Screen::drawBitmapText(int32_t slot, int32_t x, int32_t y, const char* text, uint8_t flags) {
    if (!text || !slotSurface(slot) || !slotSurface(kFontSlot)) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    int64_t penX = x;
    if (x == -1) penX = 320 - 8 * int64_t(std::strlen(text));
    for (; *bytes; ++bytes, penX += kGlyphSize) {
        const int g = glyphOf(*bytes);
        if (g < 0) continue;
        // Positions beyond the 32-bit range cannot lie on any surface.
        if (penX < std::numeric_limits<int32_t>::min() ||
            penX > std::numeric_limits<int32_t>::max())
            continue;
        blit(int32_t(penX), y, kGlyphSize * g, kFontRow, kGlyphSize, kGlyphSize, slot, kFontSlot,
             flags);
    }
}

uint8_t Screen::probeColourIndex(uint32_t colour) {
    constexpr int32_t probeSlot = 1;
    Surface* s = slotSurface(probeSlot);
    if (!s || !ddraw || s->width() < 1 || s->height() < 1) return 0;

    // Lock the probe slot and give it back only when the lock was granted.
    const auto withPixel = [&](auto&& use) {
        lockSurface(probeSlot);
        uint8_t* p = surfacePixels[probeSlot];
        if (!p) return false;
        use(p[0]);
        unlockSurface(probeSlot);
        return true;
    };

    uint8_t kept = 0;
    if (!withPixel([&](uint8_t& px) { kept = px; })) return 0;
    // What SetPixel through a device context of the surface does on an 8-bit surface: the colour
    // becomes the nearest entry of the palette the surface is shown with.
    const uint8_t index = platform::nearestColour(ddraw->devicePalette(), colour);
    withPixel([&](uint8_t& px) { px = index; });
    uint8_t result = 0;
    withPixel([&](uint8_t& px) {
        result = px;
        px = kept;
    });
    return result;
}

void Screen::rotateBlock(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                         int32_t angle, int32_t dstSlot, int32_t srcSlot) {
    if (w < 1 || h < 1) return;
    const int64_t cx = w / 2, cy = h / 2;
    LockedPair lock(*this, dstSlot, srcSlot);
    if (!lock.ok()) return;
    const PixelView& dst = lock.dst;
    const PixelView& src = lock.src;
    // Writes stay inside the 639 by 479 area the rotation has always been bounded to, and inside
    // the destination surface.
    const int64_t maxX = std::min<int64_t>(639, dst.width);
    const int64_t maxY = std::min<int64_t>(479, dst.height);
    const Span cols = inside(sx, w, src.width);
    const Span rows = inside(sy, h, src.height);

    for (int64_t r = rows.begin; r < rows.end; ++r) {
        const uint8_t* srcRow = src.row(sy + r);
        const int64_t ey = cy - r;
        for (int64_t c = cols.begin; c < cols.end; ++c) {
            const uint8_t p = srcRow[sx + c];
            if (p == kTransparent) continue;
            const int64_t ex = c - cx;
            const double d = std::sqrt(double(ex) * double(ex) + double(ey) * double(ey));
            const double t = (double(angle) + pixelAngle(ex, ey)) * kRadiansPerDegree;
            const int64_t X = int64_t(dx) + int64_t(std::trunc(std::cos(t) * d + double(cx)));
            const int64_t Y = int64_t(dy) + int64_t(std::trunc(double(cy) - std::sin(t) * d));
            if (X >= 0 && X < maxX && Y >= 0 && Y < maxY) dst.row(Y)[X] = p;
        }
    }
}

void Screen::dissolveCopy(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                          int32_t dstSlot, int32_t srcSlot, uint8_t stage, int32_t mode) {
    if (stage > 15 || w < 1 || h < 1) return;
    LockedPair lock(*this, dstSlot, srcSlot);
    if (!lock.ok()) return;
    const PixelView& dst = lock.dst;
    const PixelView& src = lock.src;
    const Span cols = overlap(inside(dx, w, dst.width), inside(sx, w, src.width));
    const Span rows = overlap(inside(dy, h, dst.height), inside(sy, h, src.height));
    if (cols.empty() || rows.empty()) return;

    // First offset at or after the span's start that falls on the stage's column / row.
    const auto firstOnGrid = [](int64_t from, int64_t offset) {
        return from + ((offset - from) % 4 + 4) % 4;
    };
    const bool keyed = uint32_t(mode) == (DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT);
    for (int64_t r = firstOnGrid(rows.begin, dissolveRowOffsets[stage]); r < rows.end; r += 4) {
        const uint8_t* s = src.row(sy + r) + sx;
        uint8_t* d = dst.row(dy + r) + dx;
        for (int64_t c = firstOnGrid(cols.begin, dissolveColumnOffsets[stage]); c < cols.end;
             c += 4) {
            const uint8_t p = s[c];
            if (!(keyed && p == kTransparent)) d[c] = p;
        }
    }
}

void Screen::waveCopy(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                      int32_t dstSlot, int32_t srcSlot, uint32_t flags, float phase, float step,
                      float amplitude) {
    Surface* source = slotSurface(srcSlot);
    if (!slotSurface(dstSlot) || !source) return;
    bool first = true;
    int64_t previous = 0;
    for (int64_t i = 0; i < h; ++i) {
        const double angle = (double(i) * double(step) + double(phase)) * kRadiansPerDegree;
        const double wave = std::sin(angle) * double(amplitude) + double(int64_t(dy) + i);
        // A row whose target is not a number or lies beyond the 32-bit range cannot be drawn.
        if (!(wave > double(std::numeric_limits<int32_t>::min()) - 1.0 &&
              wave < double(std::numeric_limits<int32_t>::max()) + 1.0))
            continue;
        const int64_t t = int64_t(std::trunc(wave));
        if (!first && t == previous) continue;
        first = false;
        previous = t;
        const int64_t rowY = int64_t(sy) + i;
        // Every later row would come from below the source surface, and such copies are refused.
        if (rowY >= source->height()) break;
        blitClipped(dx, int32_t(t), sx, int32_t(rowY), w, 1, dstSlot, srcSlot, flags);
    }
}
