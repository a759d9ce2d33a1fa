// Faces through fontconfig, monochrome glyphs through FreeType, Shift-JIS through iconv.
//
// The game asks for one face, "ＭＳ Ｐ明朝", which is rarely installed. When fontconfig does not
// have the requested face itself, a substitute stands in: IPAPMincho, then any Japanese serif
// face, then any face at all. A substitute is sized with the vertical metrics of the face it
// replaces (ascent + descent = em, baseline at 0.86 of the cell), so texts are placed and centred
// as they were designed; sized by its own metrics it would come out about 9% too small.
#include "platform/text.h"

#include <algorithm>

#include "platform/text_glyphs.h"

namespace platform {

// ---- TextFont ------------------------------------------------------------------------------

bool TextFont::open(const char* face, int32_t height, int32_t width, int32_t weight, bool italic) {
    strike_.reset();
    std::string family;
    if (face && *face) {
        family = encodeUtf8(decodeShiftJis(face));  // fontconfig takes UTF-8 names
    }
    const bool bold = weight >= 600;
    const text::Resolved r = text::resolveFace(family, bold, italic);
    if (!r.face) return false;
    strike_ = text::strikeFor(r, height, width, bold, italic);
    return true;
}

int32_t TextFont::cellHeight() const { return strike_ ? strike_->cell : 0; }
int32_t TextFont::baseline() const { return strike_ ? strike_->baseline : 0; }

int32_t TextFont::measure(const std::u32string& text) {
    if (!strike_) return 0;
    int64_t w = 0;
    for (char32_t c : text) w += strike_->glyph(c).advance;
    return int32_t(std::min<int64_t>(w, INT32_MAX));
}

void TextFont::draw(Surface& surface, int32_t x, int32_t y, const std::u32string& text,
                    uint8_t index) {
    if (!strike_) return;
    const int64_t sw = surface.width(), sh = surface.height(), pitch = surface.pitch();
    uint8_t* pixels = surface.data();
    const int64_t baseY = int64_t(y) + strike_->baseline;
    int64_t pen = x;
    bool wrote = false;
    for (char32_t c : text) {
        const text::Glyph& g = strike_->glyph(c);
        const int64_t gx = pen + g.left, gy = baseY - g.top;
        pen += g.advance;
        // The part of the glyph's bitmap that lies on the surface.
        const int64_t r0 = std::max<int64_t>(0, -gy), r1 = std::min<int64_t>(g.rows, sh - gy);
        const int64_t c0 = std::max<int64_t>(0, -gx), c1 = std::min<int64_t>(g.width, sw - gx);
        for (int64_t r = r0; r < r1; ++r) {
            const uint8_t* src = g.bits.data() + r * g.width;
            uint8_t* dst = pixels + (gy + r) * pitch + gx;
            for (int64_t col = c0; col < c1; ++col)
                if (src[col]) {
                    dst[col] = index;
                    wrote = true;
                }
        }
    }
    if (wrote) surface.markWritten();
}

const std::string& TextFont::fileName() const {
    static const std::string none;
    return strike_ ? strike_->face->path : none;
}
bool TextFont::substitute() const { return strike_ && strike_->substitute; }
bool TextFont::syntheticBold() const { return strike_ && strike_->bold; }
bool TextFont::syntheticItalic() const { return strike_ && strike_->italic; }

}  // namespace platform
