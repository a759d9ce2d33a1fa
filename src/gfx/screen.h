// The display layer: a table of 8-bit surfaces on the display device, presentation, locking,
// the palette, fills and copies, pixel effects, and lines, circles, texts and bitmaps.
#pragma once

#include <cstdint>

#include "platform/display.h"
#include "shell/shell.h"

using platform::DDBLTFAST_SRCCOLORKEY;
using platform::DDBLTFAST_WAIT;
using platform::PaletteEntry;

// The surface table's size, and the two slots every screen has: the front (visible) surface and
// the back buffer that present() shows.
inline constexpr int32_t kSurfaceSlots = 15;
inline constexpr int32_t kFrontSlot = 0, kBackSlot = 1;

// Radians in one degree, to the precision the game has always used (aiming, flight, rotation,
// waves).
inline constexpr double kRadiansPerDegree = 0.017453292;

// The fill record of a colour fill.
struct DDBLTFX {
    uint32_t dwSize = 0;
    uint32_t dwFillColor = 0;
};

// What a lock hands back for one slot.
struct DDSURFACEDESC {
    uint32_t dwSize = 0;
    int32_t lPitch = 0;
    uint8_t* lpSurface = nullptr;
};

struct ClipRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct TextExtent {
    int32_t width = 0, height = 0;
};

class Screen {
public:
    DDBLTFX clearFx;
    DDBLTFX fillFx;
    DDSURFACEDESC lockDesc[kSurfaceSlots];
    int32_t surfaceCount = 0;
    ClipRect clipRect;
    int32_t width = 0, height = 0;
    int32_t fullScreen = 0;
    TextExtent lastTextExtent;

    Screen();

    // Display setup, surfaces and presentation.
    int openScreen(WindowHandle window, int32_t width, int32_t height, int32_t fullScreen,
                   int32_t bitsPerPixel, int32_t count);
    void closeScreen();
    int32_t clearSurface(int32_t slot);
    void lockSurface(int32_t slot);
    int32_t unlockSurface(int32_t slot);
    void present();
    int32_t waitVerticalBlank();
    void updateWindowOrigin();
    void restoreSurfaces();

    // Palette.
    void loadPalette(const char* fileName);

    // Fills, clipping and copies.
    int32_t fillRect(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h, uint8_t index);
    int32_t fillRect(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value);
    int32_t fillSurface(int32_t slot, uint32_t value);
    int32_t clearRect(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h);
    int32_t drawFrame(int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value);
    void setClip(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool clipBlit(int32_t& dx, int32_t& dy, int32_t& sx, int32_t& sy, int32_t& w, int32_t& h);
    int32_t blitRect(int32_t dx, int32_t dy, const platform::Rect* src, int32_t dstSlot,
                     int32_t srcSlot, uint32_t flags);
    int32_t blit(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                 int32_t dstSlot, int32_t srcSlot, uint32_t flags);
    int32_t blitClipped(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                        int32_t dstSlot, int32_t srcSlot, uint32_t flags);

    // Pixel effects.
    void mosaicCopy(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                    int32_t dstSlot, int32_t srcSlot, int32_t n);
    void drawBitmapText(int32_t slot, int32_t x, int32_t y, const char* text, uint8_t flags);
    uint8_t probeColourIndex(uint32_t colour);
    void rotateBlock(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                     int32_t angle, int32_t dstSlot, int32_t srcSlot);
    void dissolveCopy(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                      int32_t dstSlot, int32_t srcSlot, uint8_t stage, int32_t mode);
    void waveCopy(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                  int32_t dstSlot, int32_t srcSlot, uint32_t flags, float phase, float step,
                  float amplitude);

    // Lines, circles, texts and bitmaps.
    void drawLine(int32_t slot, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
    void drawCircle(int32_t slot, int32_t cx, int32_t cy, int32_t radius, int32_t index);
    void textOut(int32_t slot, int32_t x, int32_t y, const char* text);
    void drawText(int32_t x, int32_t y, int32_t centreX, int32_t centreY, const char* text,
                  int32_t height, int32_t width, int32_t weight, int32_t shadow, uint32_t colour,
                  int32_t italic, const char* face, int32_t charSet, int32_t slot,
                  int32_t escapement);
    void loadBitmap(const char* fileName, int32_t width, int32_t height, int32_t dx, int32_t dy,
                    int32_t sx, int32_t sy, int32_t slot);
};

struct WindowOrigin {
    int32_t x = 0, y = 0;
};

extern Screen screen;
extern platform::DisplayDevice* ddraw;
extern platform::Palette* ddPalette;
extern platform::Surface* SurfaceTable[kSurfaceSlots];
extern uint8_t* surfacePixels[kSurfaceSlots];
extern int32_t surfacePitch[kSurfaceSlots];
extern WindowOrigin windowOrigin;

// Column and row offset inside each 4 by 4 cell of the pixel that each dissolveCopy stage copies.
extern const uint8_t dissolveColumnOffsets[16];
extern const uint8_t dissolveRowOffsets[16];

// The surface of a slot: null for an index outside the table or an empty slot.
platform::Surface* slotSurface(int32_t slot);
// The surface of a slot when it can be drawn on now: in the table, open and not locked.
platform::Surface* drawableSurface(int32_t slot);

// The COLORREF of a palette index: red + green * 256 + blue * 65536 of its basePalette entry.
uint32_t paletteColour(int index);
