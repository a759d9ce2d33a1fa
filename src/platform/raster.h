// Pixel-exact drawing on an 8-bit surface in the manner of the original platform's drawing
// context: one-pixel lines without their end point, filled ellipses bounded by a box, and the
// nearest palette entry of an RGB colour. Everything is clipped to the surface, whatever the
// coordinates; the work done grows with the visible part, not with the size of the shape.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/display.h"

namespace platform {

// Lights the pixels of the line from (x1, y1) towards (x2, y2); the end point itself is not lit
// and a zero-length line lights nothing. The same pixels are lit in either direction, apart from
// the dropped end.
void rasterLine(Surface& surface, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t index);

// Fills the ellipse inscribed in the box (left, top, right, bottom), right column and bottom row
// excluded. An empty box fills nothing; a box 2 pixels or less in either direction is filled
// whole.
// The box is taken in 64 bits so that a circle around any 32-bit centre with any 32-bit radius
// keeps its shape.
void rasterFillEllipse(Surface& surface, int64_t left, int64_t top, int64_t right, int64_t bottom,
                       uint8_t index);

// The inset of each row of a filled d-by-d disc from its top row down to its middle row
// (floor((d + 1) / 2) values), as rasterFillEllipse paints it. For d <= 2 every inset is 0.
std::vector<int64_t> discInsets(int64_t d);

// The palette index closest to a COLORREF (0x00BBGGRR): unweighted squared distance over red,
// green and blue, an exact match first, the lowest index on equal distances.
uint8_t nearestColour(const PaletteEntry palette[256], uint32_t colour);

}  // namespace platform
