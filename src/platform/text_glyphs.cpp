#include "platform/text_glyphs.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "platform/text.h"

namespace platform {

namespace text {

// Face lookups are slow (fontconfig walks its whole cache), so each request is resolved once.
Resolved resolveFace(const std::string& family, bool bold, bool italic) {
    static std::map<std::tuple<std::string, bool, bool>, Resolved> resolved;
    const auto key = std::make_tuple(family, bold, italic);
    if (auto it = resolved.find(key); it != resolved.end()) return it->second;
    Resolved r;
    if (!family.empty()) r.face = findFace(family.c_str(), Need::Family, bold, italic);
    if (!r.face) {
        r.substitute = true;
        r.face = findFace("IPAPMincho", Need::Family, bold, italic);
        if (!r.face) r.face = findFace("serif", Need::JapaneseSerif, bold, italic);
        if (!r.face) r.face = findFace(nullptr, Need::Anything, bold, italic);
        if (!r.face) r.face = anyInstalledFace();
    }
    if (r.face) resolved.emplace(key, r);  // a failure is retried: fonts may yet be installed
    return r;
}

}  // namespace text

const text::Glyph& Strike::glyph(char32_t c) {
    if (auto it = glyphs.find(c); it != glyphs.end()) return it->second;
    text::Glyph g;
    FT_Face ft = face->ft;
    // Strikes share the face; the size is set again for every glyph rendered.
    if (FT_Set_Pixel_Sizes(ft, FT_UInt(emX), FT_UInt(emY)) == 0) {
        const FT_UInt index = FT_Get_Char_Index(ft, FT_ULong(c));
        const FT_Int32 flags = FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO;
        if ((FT_Load_Glyph(ft, index, flags) == 0 ||
             (index != 0 && FT_Load_Glyph(ft, 0, flags) == 0)) &&
            ft->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_GlyphSlot slot = ft->glyph;
            g.advance = int32_t((slot->advance.x + 32) >> 6);
            if (bold) {
                FT_Outline_Embolden(&slot->outline, FT_Pos(emY) * 64 / 24);
                g.advance += 1;
            }
            if (italic) {
                FT_Matrix shear{0x10000, 0x4000, 0, 0x10000};  // x += 0.25 * y
                FT_Outline_Transform(&slot->outline, &shear);
            }
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0 &&
                slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                const FT_Bitmap& bm = slot->bitmap;
                g.left = slot->bitmap_left;
                g.top = slot->bitmap_top;
                g.width = int32_t(bm.width);
                g.rows = int32_t(bm.rows);
                g.bits.assign(size_t(g.width) * size_t(g.rows), 0);
                const int32_t stride = bm.pitch < 0 ? -bm.pitch : bm.pitch;
                for (int32_t r = 0; r < g.rows; ++r) {
                    const uint8_t* row =
                        bm.buffer + size_t(bm.pitch < 0 ? g.rows - 1 - r : r) * size_t(stride);
                    for (int32_t col = 0; col < g.width; ++col)
                        g.bits[size_t(r) * size_t(g.width) + size_t(col)] =
                            (row[col >> 3] >> (7 - (col & 7))) & 1;
                }
            }
        }
    }
    return glyphs.emplace(c, std::move(g)).first->second;
}

namespace text {

namespace {

// Sizes beyond this are clamped: a glyph bitmap grows with the square of the size.
constexpr int32_t kMaxPixels = 2048;

int32_t clampSize(int64_t v) { return int32_t(std::clamp<int64_t>(v, 1, kMaxPixels)); }
int32_t roundDiv(int64_t num, int64_t den) { return den > 0 ? int32_t((num + den / 2) / den) : 0; }

}  // namespace

std::shared_ptr<Strike> strikeFor(const Resolved& r, int32_t height, int32_t width, bool bold,
                                  bool italic) {
    const Face& f = *r.face;
    if (height == 0) height = kDefaultTextHeight;
    const int64_t h = std::clamp<int64_t>(height, -kMaxPixels, kMaxPixels);
    const int64_t sum = f.winAscent + f.winDescent;
    int32_t em, cell, baseline;
    if (r.substitute) {
        // The replaced face's own metrics: ascent + descent = em, ascent 0.86 em.
        em = cell = int32_t(h < 0 ? -h : h);
        baseline = int32_t(std::lround(0.86 * cell));
    } else if (h > 0) {
        cell = int32_t(h);
        em = clampSize(roundDiv(h * f.unitsPerEm, sum));
        baseline = roundDiv(h * f.winAscent, sum);
    } else {
        em = int32_t(-h);
        cell = clampSize(roundDiv(-h * sum, f.unitsPerEm));
        baseline = roundDiv(-h * f.winAscent, f.unitsPerEm);
    }
    const int32_t emX =
        width > 0 ? clampSize(roundDiv(int64_t(width) * f.unitsPerEm, f.avgCharWidth)) : em;
    const bool synthBold = bold && !f.hasBold;
    const bool synthItalic = italic && !f.hasItalic;

    using Key = std::tuple<const Face*, int32_t, int32_t, int32_t, int32_t, bool, bool, bool>;
    static std::map<Key, std::shared_ptr<Strike>> strikes;
    const Key key{&f, emX, em, cell, baseline, synthBold, synthItalic, r.substitute};
    if (auto it = strikes.find(key); it != strikes.end()) return it->second;
    if (strikes.size() >= 64) strikes.clear();  // fonts in use keep their strike alive
    auto s = std::make_shared<Strike>();
    s->face = r.face;
    s->substitute = r.substitute;
    s->emX = emX;
    s->emY = em;
    s->cell = cell;
    s->baseline = baseline;
    s->bold = synthBold;
    s->italic = synthItalic;
    strikes.emplace(key, s);
    return s;
}

}  // namespace text

}  // namespace platform
