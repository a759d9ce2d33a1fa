// Placeholder: texts land with the graphics work.
#include "gfx/screen.h"

void Screen::textOut(int32_t, int32_t, int32_t, const char*) {}
void Screen::drawText(int32_t, int32_t, int32_t, int32_t, const char*, int32_t, int32_t, int32_t,
                      int32_t, uint32_t, int32_t, const char*, int32_t, int32_t, int32_t) {}
