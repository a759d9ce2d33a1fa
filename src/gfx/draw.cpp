// Lines, filled circles and bitmap files on surface slots. Colours arrive as RGB and are turned
// back into palette indices by nearest colour against the device palette, as the original
// platform's drawing did on an 8-bit surface.
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "gfx/palette.h"
#include "gfx/screen.h"
#include "platform/bitmap.h"
#include "platform/datafile.h"
#include "platform/raster.h"
#include "shell/shell.h"
#include "shell/texts.h"

using namespace platform;

namespace {

// The device palette as last set; black while there is none.
const PaletteEntry* devicePalette() {
    static const PaletteEntry black[256] = {};
    return ddPalette ? ddPalette->entries() : black;
}

}  // namespace

void Screen::drawLine(int32_t slot, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      uint32_t colour) {
    Surface* s = drawableSurface(slot);
    if (!s) return;
    rasterLine(*s, x1, y1, x2, y2, nearestColour(devicePalette(), colour));
    s->markWritten();
}

void Screen::drawCircle(int32_t slot, int32_t cx, int32_t cy, int32_t radius, int32_t index) {
    const uint32_t colour = paletteColour(index);
    if (radius < 0) radius = 0;
    Surface* s = drawableSurface(slot);
    if (!s) return;
    rasterFillEllipse(*s, int64_t(cx) - radius, int64_t(cy) - radius, int64_t(cx) + radius,
                      int64_t(cy) + radius, nearestColour(devicePalette(), colour));
    s->markWritten();
}

// Copies the width-by-height region at (sx, sy) of the picture to (dx, dy) of the slot, clipped
// to both. An 8-bit picture keeps its indices; others are matched to the device palette.
void Screen::loadBitmap(const char* fileName, int32_t width, int32_t height, int32_t dx, int32_t dy,
                        int32_t sx, int32_t sy, int32_t slot) {
    BitmapImage image;
    if (!readBitmapFile(dataFilePath(fileName).c_str(), image)) {
        std::snprintf(textBuffer, sizeof textBuffer, kTextFileNotFound, fileName ? fileName : "");
        fatalExit(textBuffer);
    }
    Surface* s = drawableSurface(slot);
    if (!s) return;

    const int64_t kx0 = std::max<int64_t>({int64_t(0), -int64_t(sx), -int64_t(dx)});
    const int64_t kx1 =
        std::min<int64_t>({int64_t(width), int64_t(image.width) - sx, int64_t(s->width()) - dx});
    const int64_t ky0 = std::max<int64_t>({int64_t(0), -int64_t(sy), -int64_t(dy)});
    const int64_t ky1 =
        std::min<int64_t>({int64_t(height), int64_t(image.height) - sy, int64_t(s->height()) - dy});
    if (kx0 >= kx1 || ky0 >= ky1) return;

    const bool keepIndices = image.indexed && image.bitsPerPixel == 8;
    const PaletteEntry* palette = devicePalette();
    std::unordered_map<uint32_t, uint8_t> matched;
    for (int64_t ky = ky0; ky < ky1; ++ky) {
        // Rows and columns are indexed from their starts: with a negative offset, a pointer to
        // "column 0 of the copy" would lie outside the row.
        uint8_t* row = s->data() + size_t(dy + ky) * size_t(s->pitch());
        const int32_t srcY = int32_t(sy + ky);
        if (keepIndices) {
            const uint8_t* in = image.indices.data() + size_t(srcY) * size_t(image.width);
            std::copy(in + (sx + kx0), in + (sx + kx1), row + (dx + kx0));
            continue;
        }
        for (int64_t kx = kx0; kx < kx1; ++kx) {
            const uint32_t colour = image.colourAt(int32_t(sx + kx), srcY);
            auto [it, fresh] = matched.try_emplace(colour, 0);
            if (fresh) it->second = nearestColour(palette, colour);
            row[dx + kx] = it->second;
        }
    }
    s->markWritten();
}
