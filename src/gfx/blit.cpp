// Fills, the clip rectangle and copies between surface slots. Rectangles go to the surfaces as
// given: a surface refuses one that is not wholly inside it, and only clipBlit (with blitClipped
// and drawFrame on top of it) trims anything.
#include <cstdint>

#include "gfx/screen.h"

using namespace platform;

namespace {

// {x, y, x + w, y + h}; false when a corner does not fit in 32 bits (no surface holds it).
bool makeRect(int32_t x, int32_t y, int32_t w, int32_t h, Rect& r) {
    const int64_t right = int64_t(x) + w, bottom = int64_t(y) + h;
    if (right < INT32_MIN || right > INT32_MAX || bottom < INT32_MIN || bottom > INT32_MAX)
        return false;
    r = Rect{x, y, int32_t(right), int32_t(bottom)};
    return true;
}

int32_t colourFill(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h, const DDBLTFX& fx) {
    Surface* s = slotSurface(slot);
    if (!s) return DDERR_INVALIDPARAMS;
    Rect r;
    if (!makeRect(x, y, w, h, r)) return DDERR_INVALIDRECT;
    return s->fill(&r, fx.dwFillColor);
}

}  // namespace

int32_t Screen::fillRect(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h, uint8_t index) {
    fillFx.dwFillColor = index;
    return colourFill(slot, x, y, w, h, fillFx);
}

int32_t Screen::fillRect(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value) {
    fillFx.dwFillColor = value;
    return colourFill(slot, x, y, w, h, fillFx);
}

int32_t Screen::fillSurface(int32_t slot, uint32_t value) {
    fillFx.dwFillColor = value;
    Surface* s = slotSurface(slot);
    return s ? s->fill(nullptr, fillFx.dwFillColor) : DDERR_INVALIDPARAMS;
}

int32_t Screen::clearRect(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h) {
    return colourFill(slot, x, y, w, h, clearFx);
}

int32_t Screen::drawFrame(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h,
                          uint32_t value) {
    DDBLTFX fx;
    fx.dwSize = 100;
    fx.dwFillColor = value;
    int32_t sx = 0, sy = 0;
    if (clipBlit(x, y, sx, sy, w, h)) return DD_OK;
    // Top, bottom, left, right: where the clip cut the outline, its edge runs along the border.
    int32_t result = colourFill(slot, x, y, w, 1, fx);
    result = colourFill(slot, x, int32_t(int64_t(y) + h - 1), w, 1, fx);
    result = colourFill(slot, x, y, 1, h, fx);
    result = colourFill(slot, int32_t(int64_t(x) + w - 1), y, 1, h, fx);
    return result;
}

void Screen::setClip(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    clipRect = ClipRect{left, top, right, bottom};
}

// True when nothing is left. The source moves by exactly as much as the destination, so the
// visible part of the picture stays where it would have been. Sums are taken in 64 bits and
// stored back modulo 2^32, so no argument can overflow.
bool Screen::clipBlit(int32_t& dx, int32_t& dy, int32_t& sx, int32_t& sy, int32_t& w, int32_t& h) {
    const ClipRect& c = clipRect;
    if (dx < c.left) {
        const int64_t d = int64_t(c.left) - dx;
        sx = int32_t(uint32_t(int64_t(sx) + d));
        const int64_t nw = int64_t(w) - d;
        dx = c.left;
        if (nw < 1) {
            w = int32_t(uint32_t(nw));
            return true;
        }
        w = int32_t(nw);
    }
    if (dy < c.top) {
        const int64_t d = int64_t(c.top) - dy;
        sy = int32_t(uint32_t(int64_t(sy) + d));
        const int64_t nh = int64_t(h) - d;
        dy = c.top;
        if (nh < 1) {
            h = int32_t(uint32_t(nh));
            return true;
        }
        h = int32_t(nh);
    }
    if (dx >= c.right || dy >= c.bottom) return true;
    if (int64_t(dx) + w > c.right) w = int32_t(int64_t(c.right) - dx);
    if (int64_t(dy) + h > c.bottom) h = int32_t(int64_t(c.bottom) - dy);
    return false;
}

int32_t Screen::blitRect(int32_t dx, int32_t dy, const Rect* src, int32_t dstSlot, int32_t srcSlot,
                         uint32_t flags) {
    Surface* d = slotSurface(dstSlot);
    Surface* s = slotSurface(srcSlot);
    if (!d || !s) return DDERR_INVALIDPARAMS;
    return d->bltFast(dx, dy, *s, src, flags);
}

int32_t Screen::blit(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                     int32_t dstSlot, int32_t srcSlot, uint32_t flags) {
    Rect r;
    if (!makeRect(sx, sy, w, h, r)) return DDERR_INVALIDRECT;
    return blitRect(dx, dy, &r, dstSlot, srcSlot, flags);
}

int32_t Screen::blitClipped(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                            int32_t dstSlot, int32_t srcSlot, uint32_t flags) {
    if (clipBlit(dx, dy, sx, sy, w, h)) return 1;
    return blit(dx, dy, sx, sy, w, h, dstSlot, srcSlot, flags);
}
