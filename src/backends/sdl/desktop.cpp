#include "backends/sdl/desktop.h"

#include <SDL.h>

#include <cstdio>
#include <vector>

#include "platform/datafile.h"

namespace platform {

namespace {

constexpr int kIconSize = 64;

}  // namespace

void setWindowIcon(SDL_Window* window) {
    std::FILE* f = openDataFile("icon.rgba");
    if (!f) return;
    std::vector<unsigned char> pixels(size_t(kIconSize) * kIconSize * 4 + 1);
    const size_t n = std::fread(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
    if (n != pixels.size() - 1) return;  // not the icon: too short or too long
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kIconSize, kIconSize, 32,
                                                           kIconSize * 4, SDL_PIXELFORMAT_RGBA32);
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

}  // namespace platform
