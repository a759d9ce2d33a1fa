// Placeholder: lines, circles and bitmaps land with the graphics work.
#include "gfx/screen.h"

void Screen::drawLine(int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) {}
void Screen::drawCircle(int32_t, int32_t, int32_t, int32_t, int32_t) {}
void Screen::loadBitmap(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
