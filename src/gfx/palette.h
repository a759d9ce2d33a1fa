// The two process-wide palettes and the fader that keeps the device palette in step with them.
#pragma once

#include <cstdint>

#include "platform/display.h"

using platform::PaletteEntry;

enum : uint8_t { PC_RESERVED = 1 };

// Colours as loaded from the last bitmap file; the reference for every brightness change.
extern PaletteEntry basePalette[256];
// What was last sent to the device: basePalette with a brightness offset.
extern PaletteEntry workPalette[256];

class PaletteFader {
public:
    int32_t applyPalette();
    int32_t resetPalette();
    int32_t setPaletteEntry(int32_t index, int32_t red, int32_t green, int32_t blue);
    int32_t setBrightnessRange(int32_t first, int32_t last, int32_t offset);
    int32_t setBrightness(int32_t index, int32_t offset);
    int32_t setBrightnessAll(int32_t offset);
    int32_t fadeUp(int32_t from, int32_t to, int32_t step, uint32_t ms);
    int32_t fadeUpRange(int32_t from, int32_t to, int32_t first, int32_t last, int32_t step,
                        uint32_t ms);
    int32_t fadeDown(int32_t from, int32_t to, int32_t step, uint32_t ms);
    int32_t fadeDownRange(int32_t from, int32_t to, int32_t first, int32_t last, int32_t step,
                          uint32_t ms);
};

extern PaletteFader paletteFader;
