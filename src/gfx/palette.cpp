// Placeholder: palette and fades land with the graphics work.
#include "gfx/palette.h"

#include "gfx/screen.h"

PaletteEntry basePalette[256];
PaletteEntry workPalette[256];
PaletteFader paletteFader;

void Screen::loadPalette(const char*) {}
int32_t PaletteFader::applyPalette() { return 0; }
int32_t PaletteFader::resetPalette() { return 0; }
int32_t PaletteFader::setPaletteEntry(int32_t, int32_t, int32_t, int32_t) { return 0; }
int32_t PaletteFader::setBrightnessRange(int32_t, int32_t, int32_t) { return 0; }
int32_t PaletteFader::setBrightness(int32_t, int32_t) { return 0; }
int32_t PaletteFader::setBrightnessAll(int32_t) { return 0; }
int32_t PaletteFader::fadeUp(int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t PaletteFader::fadeUpRange(int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t PaletteFader::fadeDown(int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t PaletteFader::fadeDownRange(int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
