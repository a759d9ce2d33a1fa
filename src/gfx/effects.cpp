// Placeholder: pixel effects land later.
#include "gfx/screen.h"

void Screen::mosaicCopy(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void Screen::drawBitmapText(int32_t, int32_t, int32_t, const char*, uint8_t) {}
uint8_t Screen::probeColourIndex(uint32_t) { return 0; }
void Screen::rotateBlock(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void Screen::dissolveCopy(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t, int32_t) {}
void Screen::waveCopy(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t, float, float, float) {}
