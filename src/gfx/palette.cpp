// The two process-wide palettes, loading a colour table from a bitmap file, brightness offsets and
// the stepped fades.
#include "gfx/palette.h"

#include <cstdio>

#include "gfx/screen.h"
#include "platform/datafile.h"
#include "shell/frameclock.h"
#include "shell/shell.h"
#include "shell/texts.h"

using namespace platform;

PaletteEntry basePalette[256];
PaletteEntry workPalette[256];
PaletteFader paletteFader;

namespace {

constexpr long kColourTableOffset = 54;  // after the file header and a 40-byte info header

uint8_t clampChannel(int32_t base, int32_t offset) {
    const int64_t v = int64_t(base) + offset;
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A step below 1 would never finish a fade; it counts as 1.
int64_t fadeStride(int32_t step) {
    return int64_t(step < 1 ? 1 : step) * (screen.fullScreen ? 1 : 4);
}

}  // namespace

// The colour table is read blindly from byte 54 of the file, 256 BGRx entries; a byte past the
// end of the file reads as 255, the low byte of the end-of-file value.
void Screen::loadPalette(const char* fileName) {
    std::FILE* f = platform::openDataFile(fileName);
    if (!f) {
        std::snprintf(textBuffer, sizeof textBuffer, kTextFileNotFound, fileName);
        fatalExit(textBuffer);
    }
    std::fseek(f, kColourTableOffset, SEEK_SET);
    for (int i = 0; i < 256; ++i) {
        const uint8_t blue = uint8_t(std::fgetc(f));
        const uint8_t green = uint8_t(std::fgetc(f));
        const uint8_t red = uint8_t(std::fgetc(f));
        std::fgetc(f);
        basePalette[i] = PaletteEntry{red, green, blue, PC_RESERVED};
        workPalette[i] = basePalette[i];
    }
    std::fclose(f);
    paletteFader.applyPalette();
    for (int32_t s = fullScreen ? 1 : 0; s < surfaceCount && s < kSurfaceSlots; ++s)
        if (SurfaceTable[s]) SurfaceTable[s]->setColorKey(1, 1);
}

// Full screen the whole array goes to the device; windowed only entries 10..245, the rest staying
// with the system, from the same positions of the array.
int32_t PaletteFader::applyPalette() {
    if (!ddPalette) return DDERR_GENERIC;
    if (screen.fullScreen) return ddPalette->setEntries(0, 0, 256, workPalette);
    return ddPalette->setEntries(0, 10, 236, &workPalette[10]);
}

int32_t PaletteFader::resetPalette() {
    for (int i = 0; i < 256; ++i) workPalette[i] = basePalette[i];
    return applyPalette();
}

int32_t PaletteFader::setPaletteEntry(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const int i = index & 0xFF;
    basePalette[i] = PaletteEntry{uint8_t(red), uint8_t(green), uint8_t(blue), PC_RESERVED};
    workPalette[i] = basePalette[i];
    return applyPalette();
}

// Entry 1, the colour key, keeps whatever it holds under every offset.
int32_t PaletteFader::setBrightnessRange(int32_t first, int32_t last, int32_t offset) {
    const int32_t lo = first < 0 ? 0 : first, hi = last > 255 ? 255 : last;
    for (int32_t i = lo; i <= hi; ++i) {
        if (i == 1) continue;
        const PaletteEntry& b = basePalette[i];
        if (offset == 0) {
            workPalette[i] = b;
        } else {
            workPalette[i] =
                PaletteEntry{clampChannel(b.peRed, offset), clampChannel(b.peGreen, offset),
                             clampChannel(b.peBlue, offset), PC_RESERVED};
        }
    }
    return applyPalette();
}

int32_t PaletteFader::setBrightness(int32_t index, int32_t offset) {
    return setBrightnessRange(index, index, offset);
}

int32_t PaletteFader::setBrightnessAll(int32_t offset) {
    screen.waitVerticalBlank();
    return setBrightnessRange(0, 255, offset);
}

// Each fade steps the offset from `from` towards `to`, one frame per step (the step four times as
// large windowed), and always closes on exactly `to` over the whole palette.
int32_t PaletteFader::fadeUp(int32_t from, int32_t to, int32_t step, uint32_t ms) {
    const int64_t stride = fadeStride(step);
    for (int64_t v = from; v <= to; v += stride) {
        startFrame();
        setBrightnessAll(int32_t(v));
        waitUntil(ms);
    }
    return setBrightnessAll(to);
}

int32_t PaletteFader::fadeDown(int32_t from, int32_t to, int32_t step, uint32_t ms) {
    const int64_t stride = fadeStride(step);
    for (int64_t v = from; v >= to; v -= stride) {
        startFrame();
        setBrightnessAll(int32_t(v));
        waitUntil(ms);
    }
    return setBrightnessAll(to);
}

int32_t PaletteFader::fadeUpRange(int32_t from, int32_t to, int32_t first, int32_t last,
                                  int32_t step, uint32_t ms) {
    const int64_t stride = fadeStride(step);
    for (int64_t v = from; v <= to; v += stride) {
        startFrame();
        setBrightnessRange(first, last, int32_t(v));
        waitUntil(ms);
    }
    return setBrightnessAll(to);
}

int32_t PaletteFader::fadeDownRange(int32_t from, int32_t to, int32_t first, int32_t last,
                                    int32_t step, uint32_t ms) {
    const int64_t stride = fadeStride(step);
    for (int64_t v = from; v >= to; v -= stride) {
        startFrame();
        setBrightnessRange(first, last, int32_t(v));
        waitUntil(ms);
    }
    return setBrightnessAll(to);
}
