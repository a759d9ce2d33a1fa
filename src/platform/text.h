// Fonts for the text stand-in: faces found through fontconfig, glyphs rendered by FreeType without
// antialiasing, and Shift-JIS (code page 932) decoding.
//
// A TextFont is the cheap per-call object; the face files it draws from are opened once per
// process and kept, and rendered glyphs are kept per face, size and style.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/display.h"

namespace platform {

// Shift-JIS bytes (zero-terminated) to code points; every undecodable byte becomes U+FFFD.
std::u32string decodeShiftJis(const char* sjis);
// Code points to UTF-8 bytes.
std::string encodeUtf8(const std::u32string& text);

struct Strike;

class TextFont {
public:
    // Finds a face for the request and sizes it. face is a Shift-JIS family name (null or empty:
    // the substitutes only). height > 0 asks for that cell height, < 0 for that em height, 0 for
    // the default height; width 0 is the face's natural width. False when no face at all can be
    // found or opened.
    bool open(const char* face, int32_t height, int32_t width, int32_t weight, bool italic);

    bool isOpen() const { return strike_ != nullptr; }
    // Height of a text line: what the extent reports.
    int32_t cellHeight() const;
    // Distance from the top of the cell down to the baseline.
    int32_t baseline() const;
    // Sum of the glyphs' advances in whole pixels (the synthetic bold pixel included).
    int32_t measure(const std::u32string& text);
    // Draws the text with the top of its cell at (x, y): every glyph pixel becomes index, every
    // other pixel is left alone. Clipped to the surface.
    void draw(Surface& surface, int32_t x, int32_t y, const std::u32string& text, uint8_t index);

    // What was chosen, for diagnostics and tests.
    const std::string& fileName() const;
    bool substitute() const;
    bool syntheticBold() const;
    bool syntheticItalic() const;

private:
    std::shared_ptr<Strike> strike_;
};

// The cell height a text gets when nothing asks for one (height 0, and the default font).
inline constexpr int32_t kDefaultTextHeight = 16;

}  // namespace platform
