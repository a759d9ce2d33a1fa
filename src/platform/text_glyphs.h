// Inside the text stand-in: which face answers a request, and the glyphs rendered from it, kept
// per face, size and style.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/text_face.h"

namespace platform {

namespace text {

struct Resolved {
    Face* face = nullptr;
    bool substitute = false;
};

// The face for a family (UTF-8; "" for the substitutes only), resolved once per request.
Resolved resolveFace(const std::string& family, bool bold, bool italic);

struct Glyph {
    int32_t advance = 0;
    int32_t left = 0, top = 0;  // bitmap origin relative to the pen on the baseline (y up)
    int32_t width = 0, rows = 0;
    std::vector<uint8_t> bits;  // rows * width, 1 where the glyph covers the pixel
};

}  // namespace text

// One face at one size and style, with the glyphs rendered so far.
struct Strike {
    text::Face* face = nullptr;
    bool substitute = false;
    int32_t emX = 0, emY = 0;
    int32_t cell = 0, baseline = 0;
    bool bold = false, italic = false;
    std::unordered_map<char32_t, text::Glyph> glyphs;

    const text::Glyph& glyph(char32_t c);
};

namespace text {

// The strike for a resolved face at a requested height and width (0 for the defaults).
std::shared_ptr<Strike> strikeFor(const Resolved& r, int32_t height, int32_t width, bool bold,
                                  bool italic);

}  // namespace text

}  // namespace platform
