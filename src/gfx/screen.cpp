// Display setup, surfaces, locking and presentation.
#include "gfx/screen.h"

#include <cstring>

#include "gfx/palette.h"
#include "platform/host.h"
#include "shell/shell.h"

using namespace platform;

Screen screen;
DisplayDevice* ddraw = nullptr;
Palette* ddPalette = nullptr;
Surface* SurfaceTable[kSurfaceSlots] = {};
uint8_t* surfacePixels[kSurfaceSlots] = {};
int32_t surfacePitch[kSurfaceSlots] = {};
WindowOrigin windowOrigin;

namespace {
constexpr uint32_t DDSCL_FULLSCREEN = 0x1, DDSCL_EXCLUSIVE = 0x10, DDSCL_ALLOWMODEX = 0x40,
                   DDSCL_NORMAL = 0x8;
}

Surface* slotSurface(int32_t slot) {
    return slot >= 0 && slot < kSurfaceSlots ? SurfaceTable[slot] : nullptr;
}

Surface* drawableSurface(int32_t slot) {
    Surface* s = slotSurface(slot);
    return s && !s->locked() ? s : nullptr;
}

uint32_t paletteColour(int index) {
    const PaletteEntry& e = basePalette[index & 0xFF];
    return uint32_t(e.peRed) | uint32_t(e.peGreen) << 8 | uint32_t(e.peBlue) << 16;
}

Screen::Screen() {
    clearFx.dwSize = 100;
    fillFx.dwSize = 100;
    setCloseDisplayHook([] { screen.closeScreen(); });
}

int Screen::openScreen(WindowHandle, int32_t w, int32_t h, int32_t full, int32_t bpp,
                       int32_t count) {
    surfaceCount = count;
    width = w;
    height = h;
    fullScreen = full;
    clipRect = ClipRect{0, 0, w, h};

    ddraw = DisplayDevice::create();
    if (!ddraw) return 0;
    uint32_t level = DDSCL_NORMAL;
    if (full)
        level = (w == 320 && h == 240) ? (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX)
                                       : (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
    if (ddraw->setCooperativeLevel(level) != DD_OK) return 0;
    if (full && ddraw->setDisplayMode(w, h, bpp) != DD_OK) fatalExit();

    SurfaceTable[0] = ddraw->createPrimary(full ? 1 : 0);
    if (!SurfaceTable[0]) return 0;
    if (full) {
        SurfaceTable[1] = SurfaceTable[0]->attached();
        if (!SurfaceTable[1]) return 0;
    }
    // Windowed, the primary surface is the window's own drawing area in the stand-in, so it
    // needs no clipper.
    ddPalette = ddraw->createPalette(basePalette);
    if (!ddPalette) return 0;
    ddraw->setPalette(ddPalette);
    for (int32_t i = full + 1; i < count && i < kSurfaceSlots; ++i) {
        SurfaceTable[i] = ddraw->createOffscreen(w, h);
        if (!SurfaceTable[i]) return 0;
    }
    for (int32_t i = 0; i < count && i < kSurfaceSlots; ++i) clearSurface(i);
    updateWindowOrigin();
    return 1;
}

void Screen::closeScreen() {
    for (int32_t i = 0; i < surfaceCount && i < kSurfaceSlots; ++i)
        if (SurfaceTable[i]) clearSurface(i);
    surfaceCount = 0;
    if (ddraw) {
        for (int i = fullScreen ? 2 : 1; i < kSurfaceSlots; ++i)
            if (SurfaceTable[i]) ddraw->releaseSurface(SurfaceTable[i]);
        if (ddPalette) ddraw->releasePalette(ddPalette);
        if (SurfaceTable[0]) ddraw->releaseSurface(SurfaceTable[0]);
        ddraw->release();
    }
    ddraw = nullptr;
    ddPalette = nullptr;
    for (auto& s : SurfaceTable) s = nullptr;
    windowOrigin = WindowOrigin{};
}

int32_t Screen::clearSurface(int32_t slot) {
    Surface* s = slotSurface(slot);
    return s ? s->fill(nullptr, clearFx.dwFillColor) : DDERR_GENERIC;
}

// A slot outside the table has no descriptor or cached pointer to set: nothing happens.
void Screen::lockSurface(int32_t slot) {
    if (slot < 0 || slot >= kSurfaceSlots) return;
    DDSURFACEDESC& d = lockDesc[slot];
    d = DDSURFACEDESC{};
    d.dwSize = 108;
    if (Surface* s = SurfaceTable[slot]) s->lock(&d.lpSurface, &d.lPitch);
    surfacePixels[slot] = d.lpSurface;
    surfacePitch[slot] = d.lPitch;
}

int32_t Screen::unlockSurface(int32_t slot) {
    Surface* s = slotSurface(slot);
    return s ? s->unlock(lockDesc[slot].lpSurface) : DDERR_GENERIC;
}

void Screen::present() {
    if (fullScreen) {
        if (SurfaceTable[kFrontSlot]) SurfaceTable[kFrontSlot]->flip();
        std::swap(surfacePixels[kFrontSlot], surfacePixels[kBackSlot]);
    } else if (SurfaceTable[kFrontSlot] && SurfaceTable[kBackSlot]) {
        // The stand-in's primary surface is the window's drawing area: the back buffer goes to
        // its origin.
        SurfaceTable[kFrontSlot]->bltFast(windowOrigin.x, windowOrigin.y, *SurfaceTable[kBackSlot],
                                          nullptr, DDBLTFAST_WAIT);
    }
}

int32_t Screen::waitVerticalBlank() {
    return ddraw ? ddraw->waitForVerticalBlank() : DDERR_GENERIC;
}

void Screen::updateWindowOrigin() {
    windowOrigin = WindowOrigin{};
    if (fullScreen) return;
    Rect r;
    getWindowRect(r);
    windowOrigin.x = r.left + getSystemMetrics(SM_CXBORDER) + 2;
    windowOrigin.y = r.top + getSystemMetrics(SM_CYMENUSIZE) + getSystemMetrics(SM_CYCAPTION) +
                     getSystemMetrics(SM_CYBORDER) + 3;
}

void Screen::restoreSurfaces() {
    for (int32_t i = 2; i < surfaceCount && i < kSurfaceSlots; ++i)
        if (SurfaceTable[i] && SurfaceTable[i]->isLost()) SurfaceTable[i]->restore();
    if (SurfaceTable[0] && SurfaceTable[0]->isLost()) SurfaceTable[0]->restore();
    clearSurface(0);
    present();
}
