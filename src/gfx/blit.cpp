// Placeholder: fills, clipping and copies land with the graphics work.
#include "gfx/screen.h"

int32_t Screen::fillRect(int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t) { return 0; }
int32_t Screen::fillRect(int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t Screen::fillSurface(int32_t, uint32_t) { return 0; }
int32_t Screen::clearRect(int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
int32_t Screen::drawFrame(int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
void Screen::setClip(int32_t, int32_t, int32_t, int32_t) {}
bool Screen::clipBlit(int32_t&, int32_t&, int32_t&, int32_t&, int32_t&, int32_t&) { return true; }
int32_t Screen::blitRect(int32_t, int32_t, const platform::Rect*, int32_t, int32_t, uint32_t) { return 0; }
int32_t Screen::blit(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t Screen::blitClipped(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 1; }
