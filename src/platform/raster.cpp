#include "platform/raster.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

using Wide = __int128;

// The quadrant walk over a w-by-h box (both > 2): the inset of each lower-half row y
// (floor(h / 2) <= y < h) is the x the walk has reached when it enters that row. Records the rows
// yFrom..yTo into out (-1 for a row the walk never enters) and stops once past yTo, so only the
// rows that are needed cost anything. 128-bit arithmetic keeps the error terms exact for any box
// a 32-bit coordinate can describe.
void walkInsets(int64_t w, int64_t h, int64_t yFrom, int64_t yTo, std::vector<int64_t>& out) {
    out.assign(size_t(yTo - yFrom + 1), -1);
    const Wide a = w - 1, b = h - 1, b1 = b & 1;
    const Wide stepX = 8 * b * b, stepY = 8 * a * a;
    Wide dx = 4 * (1 - a) * b * b;
    Wide dy = 4 * (1 + b1) * a * a;
    Wide err = dx + dy + b1 * a * a;
    int64_t x = 0, y = h / 2;
    const int64_t xEnd = w / 2;
    if (y >= yFrom && y <= yTo) out[size_t(y - yFrom)] = x;
    while (x <= xEnd && y <= yTo) {
        const Wide e2 = 2 * err;
        if (e2 >= dx) {
            ++x;
            dx += stepX;
            err += dx;
        }
        if (e2 <= dy) {
            ++y;
            dy += stepY;
            err += dy;
            if (y >= yFrom && y <= yTo) out[size_t(y - yFrom)] = x;
        }
    }
}

inline void span(Surface& s, int64_t row, int64_t x0, int64_t x1, uint8_t index) {
    // x0..x1 inclusive, clipped to the row.
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, s.width() - 1);
    if (x0 > x1) return;
    std::memset(s.data() + size_t(row) * size_t(s.pitch()) + size_t(x0), index,
                size_t(x1 - x0 + 1));
}

}  // namespace

void rasterLine(Surface& s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t index) {
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    if (dx == 0 && dy == 0) return;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;

    // Octants clockwise from +x (y grows downwards). The bias decides the exact half-way ties so
    // that a line lights the same pixels whichever way it is drawn.
    int octant;
    if (dx > 0 && dy > 0)
        octant = adx > ady ? 1 : 2;
    else if (dx <= 0 && dy > 0)
        octant = -dx <= dy ? 3 : 4;
    else if (dx < 0 && dy <= 0)
        octant = -dx > -dy ? 5 : 6;
    else
        octant = dx <= -dy ? 7 : 8;
    const bool xMajor = octant == 1 || octant == 4 || octant == 5 || octant == 8;
    const int64_t bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;

    const int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const int64_t sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int64_t sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t startMajor = xMajor ? x1 : y1, startMinor = xMajor ? y1 : x1;
    const int64_t limitMajor = xMajor ? s.width() : s.height();
    const int64_t limitMinor = xMajor ? s.height() : s.width();

    // Steps 0..major-1 light pixels. Keep only the steps whose major coordinate is on the
    // surface: startMajor + sMajor * i in [0, limitMajor).
    int64_t iFirst, iLast;  // inclusive
    if (sMajor > 0) {
        iFirst = -startMajor;
        iLast = limitMajor - 1 - startMajor;
    } else {
        iFirst = startMajor - (limitMajor - 1);
        iLast = startMajor;
    }
    iFirst = std::max<int64_t>(iFirst, 0);
    iLast = std::min<int64_t>(iLast, major - 1);
    if (iFirst > iLast) return;

    // The walk's state after iFirst steps, in closed form: the minor axis has moved
    // floor((2 * minor * i + major + bias - 1) / (2 * major)) times.
    const Wide twoMinor = 2 * Wide(minor), twoMajor = 2 * Wide(major);
    int64_t moved = int64_t((twoMinor * iFirst + major + bias - 1) / twoMajor);
    Wide err = twoMinor - major + twoMinor * iFirst - twoMajor * moved;

    uint8_t* const pixels = s.data();
    const int64_t pitch = s.pitch();
    for (int64_t i = iFirst; i <= iLast; ++i) {
        const int64_t pm = startMajor + sMajor * i, pn = startMinor + sMinor * moved;
        if (pn >= 0 && pn < limitMinor) {
            const int64_t px = xMajor ? pm : pn, py = xMajor ? pn : pm;
            pixels[py * pitch + px] = index;
        }
        if (err + bias > 0) {
            ++moved;
            err += twoMinor - twoMajor;
        } else {
            err += twoMinor;
        }
    }
}

std::vector<int64_t> discInsets(int64_t d) {
    const int64_t rows = (d + 1) / 2;
    if (d <= 2) return std::vector<int64_t>(size_t(std::max<int64_t>(rows, 0)), 0);
    std::vector<int64_t> lower;
    walkInsets(d, d, d / 2, d - 1, lower);
    std::vector<int64_t> out(static_cast<size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) {
        const int64_t y = i >= d / 2 ? i : d - 1 - i;
        out[size_t(i)] = lower[size_t(y - d / 2)];
    }
    return out;
}

void rasterFillEllipse(Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom,
                       uint8_t index) {
    const int64_t w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0) return;
    // Visible rows of the box, 0 at its top row.
    const int64_t iTop = std::max<int64_t>(0, -int64_t(top));
    const int64_t iEnd = std::min<int64_t>(h, int64_t(s.height()) - top);
    // Beyond 2^33 pixels across the walk's terms would leave 128 bits; no such box is asked for.
    if (w > (int64_t(1) << 33) || h > (int64_t(1) << 33)) return;
    if (iTop >= iEnd || right <= 0 || left >= s.width()) return;

    if (w <= 2 || h <= 2) {
        for (int64_t i = iTop; i < iEnd; ++i) span(s, top + i, left, right - 1, index);
        return;
    }

    const int64_t half = h / 2;
    auto quadrantRow = [&](int64_t i) { return i >= half ? i : h - 1 - i; };
    int64_t yMin = std::min(quadrantRow(iTop), quadrantRow(iEnd - 1));
    const int64_t yMax = std::max(quadrantRow(iTop), quadrantRow(iEnd - 1));
    if (iTop <= half && half < iEnd) yMin = half;
    std::vector<int64_t> insets;
    walkInsets(w, h, yMin, yMax, insets);
    for (int64_t i = iTop; i < iEnd; ++i) {
        const int64_t inset = insets[size_t(quadrantRow(i) - yMin)];
        if (inset < 0) continue;
        span(s, top + i, left + inset, left + w - 1 - inset, index);
    }
}

uint8_t nearestColour(const PaletteEntry palette[256], uint32_t colour) {
    const int r = int(colour & 0xFF), g = int((colour >> 8) & 0xFF), b = int((colour >> 16) & 0xFF);
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = palette[i].peRed - r, dg = palette[i].peGreen - g,
                  db = palette[i].peBlue - b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance == 0) return uint8_t(i);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return uint8_t(best);
}

}  // namespace platform
