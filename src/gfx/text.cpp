// Texts on the surfaces: plain text in the default font, and text in a font made for the call
// with optional centring and drop shadow. Glyphs come from the font stand-in in platform/text.
#include <algorithm>
#include <cstdint>
#include <string>

#include "gfx/screen.h"
#include "platform/host.h"
#include "platform/raster.h"
#include "platform/text.h"
#include "shell/shell.h"
#include "shell/texts.h"

namespace {

// The palette index whose device colour is nearest to a COLORREF (0x00BBGGRR): an exact match
// ends the search, otherwise the smallest unweighted squared distance, the lowest index on ties.
uint8_t nearestIndexForText(uint32_t colour) {
    return ddPalette ? platform::nearestColour(ddPalette->entries(), colour) : 0;
}

// Positions are added up in 64 bits and clamped, so extreme arguments cannot overflow; anything
// that far out is off every surface anyway.
int32_t clampPosition(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

// The default font has no colour or background set: it draws in the index nearest to black,
// GDI's default text colour. GDI's default opaque white background box is left out; nothing in
// the game relies on it and a transparent default keeps the drawing of the two calls alike.
void Screen::textOut(int32_t slot, int32_t x, int32_t y, const char* text) {
    platform::TextFont font;
    if (!font.open(kFontFace, platform::kDefaultTextHeight, 0, 400, false)) fatalExit(kTextFont);
    if (platform::Surface* s = drawableSurface(slot))
        font.draw(*s, x, y, platform::decodeShiftJis(text), nearestIndexForText(0x000000));
}

void Screen::drawText(int32_t x, int32_t y, int32_t centreX, int32_t centreY, const char* text,
                      int32_t height, int32_t width, int32_t weight, int32_t shadow,
                      uint32_t colour, int32_t italic, const char* face, int32_t /*charSet*/,
                      int32_t slot, int32_t /*escapement: the game always passes 0*/) {
    platform::TextFont font;
    if (!font.open(face, height, width, weight, italic != 0)) fatalExit(kTextFont);

    const std::u32string codes = platform::decodeShiftJis(text);
    lastTextExtent.width = font.measure(codes);
    lastTextExtent.height = font.cellHeight();

    if (x == -1) x = clampPosition(int64_t(centreX) - lastTextExtent.width / 2);
    if (y == -1) y = clampPosition(int64_t(centreY) - lastTextExtent.height / 2);
    if (platform::tracing())
        platform::trace("text " + std::to_string(x) + " " + std::to_string(y) + " " +
                        platform::sjisToUtf8(text));

    int64_t ox = 0, oy = 0;
    if (!fullScreen && slot == 0) {
        ox = windowOrigin.x;
        oy = windowOrigin.y;
    }
    platform::Surface* s = drawableSurface(slot);
    if (!s) return;
    if (shadow != 0)
        font.draw(*s, clampPosition(x + ox + shadow), clampPosition(y + oy + shadow), codes,
                  nearestIndexForText(0x010101));
    font.draw(*s, clampPosition(x + ox), clampPosition(y + oy), codes, nearestIndexForText(colour));
}
