// make_assets <folder>: writes the game's own pictures and sounds into the folder:
//   title.bmp  640x480, 8 bpp: the title picture, the menu items in their highlighted and plain
//              looks, the key guide and the bitmap-font strip;
//   char.bmp   48x32, 8 bpp: the fortress sprite, with the battlefield's colour table;
//   shoot.wav, bomb.wav  8-bit mono PCM at 11025 Hz;
//   varnis-N.png  N x N RGBA for N = 16, 32, 48, 64, 128, 256: the program's icon for the desktop;
//   icon.rgba  the 64 x 64 icon as bare RGBA bytes, top row first: the window's icon.
// Everything is drawn here pixel by pixel except the texts, which go through the game's own text
// drawing (Screen::drawText on the headless display) so they come out in the game's face. The
// output is the same byte for byte on every run: a fixed-seed generator, integer arithmetic.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asset_files.h"
#include "asset_sounds.h"
#include "backends/headless/headless.h"
#include "gfx/screen.h"
#include "shell/texts.h"

using assets::ColourTable;
using assets::Rgb;

constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

namespace {

// ---------------------------------------------------------------------------------------------
// Small tools

struct Rng : assets::synth::Noise {  // the same xorshift32, fixed seed per use
    using Noise::Noise;
    int range(int lo, int hi) { return lo + int(next() % uint32_t(hi - lo + 1)); }
};

struct Image {
    int w, h;
    std::vector<uint8_t> px;
    Image(int width, int height, uint8_t fill)
        : w(width), h(height), px(size_t(width * height), fill) {}
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    uint8_t at(int x, int y) const { return inside(x, y) ? px[size_t(y * w + x)] : 0; }
    void set(int x, int y, uint8_t c) {
        if (inside(x, y)) px[size_t(y * w + x)] = c;
    }
    void rect(int x, int y, int rw, int rh, uint8_t c) {
        for (int j = y; j < y + rh; ++j)
            for (int i = x; i < x + rw; ++i) set(i, j, c);
    }
};

// A one-bit picture of the same size as the screen (text masks).
struct Mask {
    int w = 640, h = 480;
    std::vector<uint8_t> on = std::vector<uint8_t>(640 * 480, 0);
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && x < w && y < h && on[size_t(y * w + x)];
    }
    // Bounding box of the set pixels; top > bottom when empty.
    int top = 1, bottom = 0, left = 1, right = 0;
    void bounds() {
        top = h, bottom = -1, left = w, right = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (on[size_t(y * w + x)]) {
                    top = std::min(top, y), bottom = std::max(bottom, y);
                    left = std::min(left, x), right = std::max(right, x);
                }
    }
    // True when some set pixel lies within the disc of radius r around (x, y).
    bool near(int x, int y, int r) const {
        for (int j = -r; j <= r; ++j)
            for (int i = -r; i <= r; ++i)
                if (i * i + j * j <= r * r + r / 2 && at(x + i, y + j)) return true;
        return false;
    }
};

Rgb mix(Rgb a, Rgb b, int num, int den) {
    auto m = [&](int x, int y) { return uint8_t(x + (y - x) * num / den); };
    return Rgb{m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

void ramp(ColourTable& t, int first, int count, Rgb a, Rgb b) {
    for (int i = 0; i < count; ++i) t[size_t(first + i)] = mix(a, b, i, count - 1);
}

// Gives every entry not listed in `used` a colour of its own, then checks that all 256 colours
// differ, so that nearest-colour matching maps each entry's colour back to that entry.
bool completeTable(ColourTable& t, const std::vector<bool>& used) {
    auto taken = [&](Rgb c, int upto) {
        for (int j = 0; j < 256; ++j)
            if ((used[size_t(j)] || j < upto) && j != upto && t[size_t(j)] == c) return true;
        return false;
    };
    for (int i = 0; i < 256; ++i) {
        if (used[size_t(i)]) continue;
        // Muted filler colours spread over the cube.
        Rgb c{uint8_t(40 + (i * 67) % 160), uint8_t(40 + (i * 29) % 150),
              uint8_t(60 + (i * 101) % 170)};
        while (taken(c, i)) c.b = uint8_t(c.b + 1);
        t[size_t(i)] = c;
    }
    for (int i = 0; i < 256; ++i)
        for (int j = i + 1; j < 256; ++j)
            if (t[size_t(i)] == t[size_t(j)]) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Colour tables

// The title picture's colours.
namespace tp {
constexpr uint8_t kBlack = 0, kKey = 1;
constexpr int kSky = 16, kSkyCount = 32;  // 16 (zenith) .. 47 (horizon)
constexpr int kStar = 48;                 // 48 (faint) .. 63 (bright)
constexpr int kFar = 64;                  // 64 (lit rim) .. 79 (deep)
constexpr int kNear = 80;                 // 80 (lit rim) .. 95 (deep)
constexpr int kStone = 96;                // 96 (outline) .. 111 (lightest)
constexpr uint8_t kWindow = 112, kWindowDim = 113, kFlag = 114, kFlagDark = 115, kPole = 116,
                  kGate = 117, kIron = 118, kIronLight = 119, kTrail = 120, kTrailDim = 121,
                  kShell = 122, kGlow = 123;
constexpr int kGold = 128;  // 128 (top) .. 159 (bottom) title letters
constexpr uint8_t kRim = 160, kEdge = 161, kShadow = 162, kSubtitle = 163;
constexpr int kMoon = 168;  // 168 (bright) .. 175
constexpr int kBar = 176;   // 176 (top) .. 191 (bottom) highlight bar
constexpr uint8_t kHiText = 192, kHiOutline = 193, kMarker = 194, kBarRim = 195, kPlainText = 196,
                  kPlainShadow = 197, kMarkerDark = 198;
constexpr uint8_t kCapFace = 208, kCapBorder = 209, kCapTop = 210, kCapLabel = 211, kCaption = 212,
                  kRule = 213, kCapShade = 214;
constexpr int kGlyph = 224;  // 224 (top) .. 231 (bottom) font strip strokes
constexpr uint8_t kGlyphEdge = 232;
constexpr uint8_t kWhite = 255;
}  // namespace tp

ColourTable titleColours() {
    using namespace tp;
    ColourTable t{};
    std::vector<bool> used(256, false);
    auto put = [&](int i, Rgb c) { t[size_t(i)] = c, used[size_t(i)] = true; };
    auto puts = [&](int first, int count, Rgb a, Rgb b) {
        ramp(t, first, count, a, b);
        for (int i = 0; i < count; ++i) used[size_t(first + i)] = true;
    };
    put(kBlack, {0, 0, 0});
    put(kKey, {255, 0, 255});
    puts(kSky, kSkyCount, {3, 5, 20}, {58, 44, 104});
    puts(kStar, 16, {70, 78, 118}, {250, 248, 236});
    puts(kFar, 16, {60, 62, 124}, {18, 18, 50});
    puts(kNear, 16, {70, 120, 96}, {8, 20, 22});
    puts(kStone, 16, {14, 14, 24}, {196, 198, 214});
    put(kWindow, {255, 214, 110});
    put(kWindowDim, {196, 120, 40});
    put(kFlag, {222, 44, 48});
    put(kFlagDark, {140, 22, 36});
    put(kPole, {120, 100, 80});
    put(kGate, {52, 30, 20});
    put(kIron, {36, 38, 48});
    put(kIronLight, {104, 108, 128});
    put(kTrail, {255, 190, 90});
    put(kTrailDim, {150, 96, 60});
    put(kShell, {230, 230, 240});
    put(kGlow, {255, 140, 50});
    for (int i = 0; i < 32; ++i) {
        Rgb c = i < 12 ? mix({255, 252, 222}, {255, 216, 92}, i, 11)
                       : mix({255, 206, 80}, {184, 80, 16}, i - 12, 19);
        put(kGold + i, c);
    }
    put(kRim, {255, 150, 50});
    put(kEdge, {40, 10, 4});
    put(kShadow, {2, 2, 12});
    put(kSubtitle, {182, 192, 238});
    puts(kMoon, 8, {255, 250, 226}, {196, 196, 176});
    puts(kBar, 16, {112, 142, 250}, {22, 30, 108});
    put(kHiText, {255, 254, 232});
    put(kHiOutline, {8, 10, 44});
    put(kMarker, {255, 208, 88});
    put(kBarRim, {176, 196, 255});
    put(kPlainText, {146, 150, 198});
    put(kPlainShadow, {22, 22, 46});
    put(kMarkerDark, {150, 90, 20});
    put(kCapFace, {56, 62, 98});
    put(kCapBorder, {150, 160, 212});
    put(kCapTop, {96, 106, 156});
    put(kCapLabel, {240, 242, 252});
    put(kCaption, {200, 204, 236});
    put(kRule, {54, 54, 96});
    put(kCapShade, {30, 32, 60});
    puts(kGlyph, 8, {255, 252, 214}, {255, 150, 30});
    put(kGlyphEdge, {44, 16, 2});
    put(kWhite, {255, 255, 255});
    if (!completeTable(t, used)) std::fprintf(stderr, "make_assets: title colours repeat\n");
    return t;
}

// The battlefield's colours (char.bmp). Below 128 is solid ground to the game, except the sky.
namespace fp {
constexpr uint8_t kBlack = 0, kKey = 1, kSky = 4;
constexpr int kStone = 8;  // 8 (outline) .. 23 (lightest)
constexpr uint8_t kWindow = 24, kWindowDim = 25, kFlag = 26, kFlagDark = 27, kPole = 28, kGate = 29,
                  kIron = 30, kIronLight = 31;
constexpr int kGround = 96;  // 96 deepest .. 103 top band
constexpr uint8_t kAim = 173;
constexpr int kStars = 176;  // 176 .. 191
constexpr uint8_t kFlash = 240, kFlashHot = 241, kFlashCore = 242, kFlashEmber = 243;
constexpr uint8_t kWhite = 255;
}  // namespace fp

ColourTable fieldColours() {
    using namespace fp;
    ColourTable t{};
    std::vector<bool> used(256, false);
    auto put = [&](int i, Rgb c) { t[size_t(i)] = c, used[size_t(i)] = true; };
    put(kBlack, {0, 0, 0});
    put(kKey, {255, 0, 255});
    put(kSky, {10, 12, 40});
    for (int i = 0; i < 16; ++i) put(kStone + i, mix({16, 16, 26}, {204, 206, 222}, i, 15));
    put(kWindow, {255, 214, 110});
    put(kWindowDim, {196, 120, 40});
    put(kFlag, {222, 44, 48});
    put(kFlagDark, {140, 22, 36});
    put(kPole, {120, 100, 80});
    put(kGate, {52, 30, 20});
    put(kIron, {36, 38, 48});
    put(kIronLight, {104, 108, 128});
    // Ground: a grassy top band, then layers of soil and rock getting darker with depth.
    const Rgb ground[8] = {{40, 30, 24},  {54, 40, 30},  {68, 52, 38},  {84, 64, 46},
                           {102, 78, 54}, {120, 94, 62}, {64, 122, 58}, {100, 170, 76}};
    for (int i = 0; i < 8; ++i) put(kGround + i, ground[i]);
    put(kAim, {255, 208, 64});
    for (int i = 0; i < 16; ++i) {
        // Stars from faint to bright, alternately a little blue and a little warm.
        Rgb c = mix({84, 90, 130}, {250, 250, 244}, i, 15);
        if (i & 1)
            c.b = uint8_t(std::min(255, c.b + 12));
        else
            c.r = uint8_t(std::min(255, c.r + 10));
        put(kStars + i, c);
    }
    put(kFlash, {255, 206, 96});
    put(kFlashHot, {255, 120, 40});
    put(kFlashCore, {255, 250, 210});
    put(kFlashEmber, {170, 50, 20});
    put(kWhite, {255, 255, 255});
    if (!completeTable(t, used)) std::fprintf(stderr, "make_assets: battlefield colours repeat\n");
    return t;
}

// ---------------------------------------------------------------------------------------------
// The fortress, drawn at any scale. Coordinates of its parts are in sprite units (16 x 16); at
// scale s each unit is s pixels. Shading is worked out per pixel: lit from the upper left,
// an outline where the shape ends, brick courses on larger scales.

struct CastleInks {
    int stone;  // first of 16 stone shades, outline first, lightest last
    uint8_t window, windowDim, flag, flagDark, pole, gate;
};

bool castleShape(int x, int y) {  // in sprite units, 0..15
    auto in = [&](int x0, int y0, int x1, int y1) {
        return x >= x0 && x <= x1 && y >= y0 && y <= y1;
    };
    // Side towers with merlons.
    if (in(0, 5, 3, 15) || in(12, 5, 15, 15)) return true;
    if (y == 4 && (x == 0 || x == 2 || x == 13 || x == 15)) return true;
    // Curtain wall and its merlons.
    if (in(4, 8, 11, 15)) return true;
    if (y == 7 && (x == 4 || x == 11)) return true;
    // Central keep with merlons.
    if (in(5, 3, 10, 15)) return true;
    if (y == 2 && (x == 5 || x == 7 || x == 8 || x == 10)) return true;
    return false;
}

void drawCastle(Image& img, int ox, int oy, int s, const CastleInks& ink, bool flagRight) {
    const int size = 16 * s;
    auto shape = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= size || py >= size) return false;
        return castleShape(px / s, py / s);
    };
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            if (!shape(px, py)) continue;
            int shade = 9;
            const int ux = px / s;
            // Towers and keep are round-ish: lighter on their left, darker on their right.
            int partLeft = ux <= 3                                ? 0
                           : ux >= 12                             ? 12
                           : (ux >= 5 && ux <= 10 && py / s <= 7) ? 5
                                                                  : 4;
            int partWidth = ux <= 3 || ux >= 12 ? 4 : (ux >= 5 && ux <= 10 && py / s <= 7) ? 6 : 8;
            const int across = (px - partLeft * s) * 8 / (partWidth * s);  // 0..7
            shade += 3 - across;
            if (s >= 2) {
                const int course = std::max(2, s);
                if (py % course == course - 1)
                    shade -= 2;
                else if ((px + (py / course % 2) * course) % (2 * course) == 0)
                    shade -= 1;
            }
            if (!shape(px - 1, py) || !shape(px, py - 1)) shade = 14;  // lit edges
            if (!shape(px + 1, py) || !shape(px, py + 1) || !shape(px + 1, py - 1)) shade = 2;
            if (py == size - 1) shade = 1;
            shade = std::clamp(shade, 0, 15);
            img.set(ox + px, oy + py, uint8_t(ink.stone + shade));
        }
    auto block = [&](int x0, int y0, int w, int h, uint8_t c) {  // in half units, for detail
        for (int py = y0 * s / 2; py < (y0 + h) * s / 2; ++py)
            for (int px = x0 * s / 2; px < (x0 + w) * s / 2; ++px) img.set(ox + px, oy + py, c);
    };
    // Lit windows: two in the keep, slits in the towers; an arched gate.
    block(13, 9, 2, 3, ink.window);
    block(17, 9, 2, 3, ink.window);
    block(13, 11, 2, 1, ink.windowDim);
    block(17, 11, 2, 1, ink.windowDim);
    block(3, 14, 2, 4, ink.window);
    block(27, 14, 2, 4, ink.window);
    block(12, 24, 8, 8, ink.gate);
    block(13, 23, 6, 1, ink.gate);
    // Flag pole from the keep's top and a pennant.
    const int poleX = flagRight ? 15 : 16;
    block(poleX, 0, 1, 4, ink.pole);
    if (s == 1) {
        img.set(ox + poleX / 2, oy + 0, ink.pole);
        img.set(ox + poleX / 2, oy + 1, ink.pole);
    }
    for (int k = 0; k < 4; ++k) {
        const int len = 4 - k;
        const int fx = flagRight ? poleX + 1 : poleX - len;
        block(fx, k, len, 1, k < 2 ? ink.flag : ink.flagDark);
    }
}

// ---------------------------------------------------------------------------------------------
// Texts through the game's own text drawing

struct TextPad {
    bool open = false;
    int emptyTexts = 0;  // texts that drew no pixel at all

    explicit TextPad(const ColourTable& colours) {
        open = screen.openScreen(1, 640, 480, 1, 8, 5) != 0 && ddPalette;
        if (!open) return;
        platform::PaletteEntry entries[256];
        for (int i = 0; i < 256; ++i)
            entries[i] = {colours[size_t(i)].r, colours[size_t(i)].g, colours[size_t(i)].b, 0};
        ddPalette->setEntries(0, 0, 256, entries);
    }
    ~TextPad() {
        if (open) screen.closeScreen();
    }

    // Draws the Shift-JIS text in white on an empty slot 2, centred on (cx, cy), and hands back
    // the pixels it covered.
    Mask draw(const char* text, int cx, int cy, int height, int weight, int italic) {
        Mask m;
        if (!open) return m;
        screen.lockSurface(2);
        if (uint8_t* p = surfacePixels[2])
            for (int y = 0; y < 480; ++y) std::memset(p + y * surfacePitch[2], 0, 640);
        screen.unlockSurface(2);
        screen.drawText(-1, -1, cx, cy, text, height, 0, weight, 0, 0xFFFFFF, italic, kFontFace,
                        128, 2, 0);
        screen.lockSurface(2);
        if (const uint8_t* p = surfacePixels[2])
            for (int y = 0; y < 480; ++y)
                for (int x = 0; x < 640; ++x)
                    m.on[size_t(y * 640 + x)] = p[y * surfacePitch[2] + x] == 255;
        screen.unlockSurface(2);
        m.bounds();
        if (m.top > m.bottom) ++emptyTexts;
        return m;
    }
};

// Paints a text mask into the image: an optional drop shadow, an outline ring of the given
// width, and the strokes in a vertical ramp of colours (or one colour when count is 1).
void paintText(Image& img, const Mask& m, int outline, uint8_t outlineInk, int shadow,
               uint8_t shadowInk, int firstInk, int count, int clipTop, int clipBottom) {
    if (m.top > m.bottom) return;
    const int pad = outline + shadow + 1;
    for (int y = std::max(clipTop, m.top - pad); y <= std::min(clipBottom, m.bottom + pad); ++y)
        for (int x = std::max(0, m.left - pad); x <= std::min(639, m.right + pad); ++x) {
            if (m.at(x, y)) {
                const int span = std::max(1, m.bottom - m.top);
                img.set(x, y, uint8_t(firstInk + (y - m.top) * (count - 1) / span));
            } else if (outline > 0 && m.near(x, y, outline)) {
                img.set(x, y, outlineInk);
            } else if (shadow > 0 && m.near(x - shadow, y - shadow, outline)) {
                img.set(x, y, shadowInk);
            }
        }
}

// ---------------------------------------------------------------------------------------------
// The bitmap font: 37 glyphs, 5 x 7 cells drawn at twice the size with an outline.

constexpr uint8_t kGlyphRows[37][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}, {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}, {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}, {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}, {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}, {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}, {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},
};

void drawFontStrip(Image& img, int top) {
    img.rect(0, top, 592, 16, tp::kKey);
    for (int g = 0; g < 37; ++g) {
        const int gx = 16 * g + 3, gy = top + 1;
        auto stroke = [&](int x, int y) {  // (x, y) in the 10 x 14 doubled cell
            if (x < 0 || y < 0 || x >= 10 || y >= 14) return false;
            return ((kGlyphRows[g][y / 2] >> (4 - x / 2)) & 1) != 0;
        };
        for (int y = -1; y <= 14; ++y)
            for (int x = -1; x <= 10; ++x) {
                if (stroke(x, y)) {
                    img.set(gx + x, gy + y, uint8_t(tp::kGlyph + y * 7 / 13));
                } else {
                    bool edge = false;
                    for (int j = -1; j <= 1; ++j)
                        for (int i = -1; i <= 1; ++i) edge = edge || stroke(x + i, y + j);
                    if (edge) img.set(gx + x, gy + y, tp::kGlyphEdge);
                }
            }
    }
}

// ---------------------------------------------------------------------------------------------
// title.bmp

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The near hills: a mound under each fortress, a valley between them.
int nearHill(int x, Rng& rng, int& wobble) {
    auto mound = [](int x, int cx, int halfFlat, int slope, int lift) {
        const int d = std::max(0, std::abs(x - cx) - halfFlat);
        if (d >= slope) return 0;
        const int t = slope - d;  // smooth shoulder: lift * (3u^2 - 2u^3)
        const int64_t u2 = int64_t(t) * t, u3 = u2 * t;
        return int(lift * (3 * u2 * slope - 2 * u3) / (int64_t(slope) * slope * slope));
    };
    if (x % 6 == 0) wobble = std::clamp(wobble + rng.range(-1, 1), -2, 2);
    return 212 - mound(x, 78, 34, 150, 44) - mound(x, 562, 34, 150, 44) - mound(x, 320, 10, 90, 8) +
           wobble;
}

Image titlePicture(TextPad& pad) {
    using namespace tp;
    Image img(640, 480, kBlack);
    Rng rng(0x7A11E5u);

    // Far ridge by midpoint displacement over 1024 columns, of which the first 640 are shown.
    std::array<int, 1025> far{};
    far[0] = 172, far[1024] = 160;
    for (int step = 1024; step > 1; step /= 2)
        for (int x = 0; x + step <= 1024; x += step) {
            const int r = std::min(24, std::max(1, step / 8));
            far[size_t(x + step / 2)] =
                (far[size_t(x)] + far[size_t(x + step)]) / 2 + rng.range(-r, r);
        }
    int wobble = 0;
    std::array<int, 640> near{};
    for (int x = 0; x < 640; ++x) near[size_t(x)] = nearHill(x, rng, wobble);

    // Sky: a dithered ramp from the zenith down to a paler horizon, brightened around the moon.
    const int moonX = 548, moonY = 46, moonR = 17;
    for (int y = 0; y < 224; ++y)
        for (int x = 0; x < 640; ++x) {
            int level = y * (kSkyCount - 1) * 16 / 200;
            const int dx = x - moonX, dy = y - moonY, d2 = dx * dx + dy * dy;
            if (d2 < 90 * 90) level += (90 * 90 - d2) * 7 * 16 / (90 * 90);
            level = std::clamp((level + kBayer[y & 3][x & 3]) / 16, 0, kSkyCount - 1);
            img.set(x, y, uint8_t(kSky + level));
        }
    // Stars: many faint points, a few bright ones with small rays.
    for (int i = 0; i < 230; ++i) {
        const int x = rng.range(0, 639), y = rng.range(0, 190);
        if (y >= far[size_t(x)] - 2) continue;
        const int dx = x - moonX, dy = y - moonY;
        if (dx * dx + dy * dy < 30 * 30) continue;
        img.set(x, y, uint8_t(kStar + rng.range(0, 11) * (y < 120 ? 3 : 2) / 3));
    }
    for (int i = 0; i < 14; ++i) {
        const int x = rng.range(10, 629), y = rng.range(6, 140);
        const int dx = x - moonX, dy = y - moonY;
        if (dx * dx + dy * dy < 36 * 36) continue;
        img.set(x, y, kStar + 15);
        for (int k = 1; k <= 2; ++k) {
            const uint8_t c = uint8_t(kStar + 12 - 5 * k);
            img.set(x - k, y, c), img.set(x + k, y, c), img.set(x, y - k, c), img.set(x, y + k, c);
        }
    }
    // The moon: a crescent lit from the upper right.
    for (int y = moonY - moonR; y <= moonY + moonR; ++y)
        for (int x = moonX - moonR; x <= moonX + moonR; ++x) {
            const int dx = x - moonX, dy = y - moonY;
            if (dx * dx + dy * dy > moonR * moonR) continue;
            const int ex = x - (moonX - 8), ey = y - (moonY - 5);
            if (ex * ex + ey * ey <= (moonR - 1) * (moonR - 1)) continue;
            const int shade = std::clamp((moonR - dx + dy + 6) / 6, 0, 7);
            img.set(x, y, uint8_t(kMoon + shade));
        }

    // Far ridge and near hills, each darker with depth below its own crest.
    for (int x = 0; x < 640; ++x) {
        for (int y = far[size_t(x)]; y < 224; ++y) {
            const int depth = y - far[size_t(x)];
            const int shade = depth == 0 ? 0 : std::min(15, 3 + depth / 4);
            img.set(x, y, uint8_t(kFar + shade));
        }
        for (int y = near[size_t(x)]; y < 224; ++y) {
            const int depth = y - near[size_t(x)];
            int shade =
                depth < 2 ? depth : std::min(15, 3 + (depth * 12 + kBayer[y & 3][x & 3] * 4) / 40);
            img.set(x, y, uint8_t(kNear + shade));
        }
    }
    // Grass tufts on the near crest.
    for (int x = 0; x < 640; x += 3)
        if (rng.range(0, 3) == 0) img.set(x, near[size_t(x)] - 1, kNear + 1);

    // Two fortresses facing each other, each on its mound, cannons turned inward.
    const CastleInks ink{kStone, kWindow, kWindowDim, kFlag, kFlagDark, kPole, kGate};
    const int scale = 3, size = 48;
    const int leftX = 78 - size / 2, rightX = 562 - size / 2;
    const int leftY = near[78] - size + 3, rightY = near[562] - size + 3;
    // Cannon barrels first, so the walls overlap their breeches.
    auto barrel = [&](int bx, int by, int dir) {
        for (int k = 0; k < 24; ++k) {
            const int ring = k >= 20 ? 1 : 0;  // a thicker muzzle
            for (int w = -2 - ring; w <= 2 + ring; ++w) {
                const int x = bx + dir * k, y = by - k * 2 / 3 + w;
                const uint8_t c = std::abs(w) == 2 + ring ? uint8_t(kStone + 1)
                                  : w == -1 - ring        ? uint8_t(kStone + 12)
                                                          : kIronLight;
                img.set(x, y, c);
            }
        }
    };
    barrel(leftX + 40, leftY + 26, +1);
    barrel(rightX + 7, rightY + 26, -1);
    drawCastle(img, leftX, leftY, scale, ink, true);
    drawCastle(img, rightX, rightY, scale, ink, false);
    // A shell just fired from the left fortress: a dotted trail brightening towards the shell,
    // which glows; it stays clear of the name.
    {
        const int x0 = leftX + 64, y0 = leftY + 9;
        int lastX = x0, lastY = y0;
        for (int k = 0; k <= 48; ++k) {
            // y = y0 - 0.62 k + 0.0015 k^2
            const int x = x0 + k;
            const int y = y0 - (k * 62) / 100 + (k * k * 15) / 10000;
            if (k % 3 == 0) img.set(x, y, k > 27 ? kTrail : kTrailDim);
            lastX = x, lastY = y;
        }
        for (int j = -3; j <= 3; ++j)
            for (int i = -3; i <= 3; ++i)
                if (i * i + j * j <= 9)
                    img.set(lastX + i, lastY + j, i * i + j * j <= 2 ? kShell : kGlow);
    }

    // The name, large, in gold with a dark edge and a shadow; a line under it.
    const Mask name = pad.draw("Varnis", 320, 74, 108, 800, 1);
    paintText(img, name, 3, kEdge, 4, kShadow, kGold, 32, 0, 223);
    // A bright rim just inside the edge on the upper strokes.
    for (int y = name.top; y <= name.bottom && name.top <= name.bottom; ++y)
        for (int x = name.left; x <= name.right; ++x)
            if (name.at(x, y) && !name.at(x, y - 1) && y < (name.top + name.bottom) / 2)
                img.set(x, y, kGold);
    static const char kSubtitleText[] =  // 二つの砦の砲撃戦 (a duel of two fortresses)
        "\x93\xF1\x82\xC2\x82\xCC\x8D\xD4\x82\xCC\x96"
        "C\x8C\x82\x90\xED";
    const Mask sub = pad.draw(kSubtitleText, 320, 146, 22, 600, 0);
    paintText(img, sub, 1, kShadow, 0, kShadow, kSubtitle, 1, 0, 223);
    return img;
}

// The menu: three items of 42 rows from row 240; x 0-319 highlighted, x 320-639 plain.
void drawMenu(Image& img, TextPad& pad) {
    using namespace tp;
    static const char* const kItems[3] = {
        "\x82\xD0\x82\xC6\x82\xE8\x82\xC5\x97V\x82\xD4",  // ひとりで遊ぶ
        "\x82\xD3\x82\xBD\x82\xE8\x82\xC5\x97V\x82\xD4",  // ふたりで遊ぶ
        "\x82\xA8\x82\xED\x82\xE9",                       // おわる
    };
    for (int i = 0; i < 3; ++i) {
        const int top = 240 + 42 * i;
        // Highlighted look: a rounded, glossy bar with pointers at both ends.
        const int bx0 = 14, bx1 = 290, by0 = top + 5, by1 = top + 36;
        for (int y = by0; y <= by1; ++y)
            for (int x = bx0; x <= bx1; ++x) {
                const int r = 7;
                const int cx = x < bx0 + r ? bx0 + r : x > bx1 - r ? bx1 - r : x;
                const int cy = y < by0 + r ? by0 + r : y > by1 - r ? by1 - r : y;
                const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                if (d2 > r * r) continue;
                const bool rim =
                    d2 > (r - 1) * (r - 1) || y == by0 || y == by1 || x == bx0 || x == bx1;
                int level = (y - by0) * 15 / (by1 - by0);
                if (y - by0 < 12) level = (y - by0) * 3 / 12;  // gloss on the upper part
                level = std::clamp(level + (kBayer[y & 3][x & 3] > 11 ? 1 : 0), 0, 15);
                img.set(x, y, rim ? kBarRim : uint8_t(kBar + level));
            }
        for (int k = 0; k < 6; ++k)
            for (int j = -k; j <= k; ++j) {
                const int y = top + 20 + j;
                img.set(24 + 5 - k + 0, y, k == 5 || std::abs(j) == k ? kMarkerDark : kMarker);
                img.set(280 - 5 + k, y, k == 5 || std::abs(j) == k ? kMarkerDark : kMarker);
            }
        const Mask hi = pad.draw(kItems[i], 152, top + 21, 28, 700, 0);
        paintText(img, hi, 2, kHiOutline, 0, kHiOutline, kHiText, 1, top, top + 41);
        // Plain look: the same text in a quiet colour with a soft shadow, no bar.
        const Mask plain = pad.draw(kItems[i], 320 + 152, top + 21, 28, 700, 0);
        paintText(img, plain, 0, kPlainShadow, 2, kPlainShadow, kPlainText, 1, top, top + 41);
    }
}

// Key guide, rows 400-463: a key cap and what it does, for each of the three keys.
void drawKeyGuide(Image& img, TextPad& pad) {
    using namespace tp;
    static const char* const kCaptions[3] = {
        "\x8D\xB6\x82\xCC\x8D\xD4\x82\xAA\x8C\x82\x82\xC2",  // 左の砦が撃つ
        ("\x89"
         "E\x82\xCC\x8D\xD4\x82\xAA\x8C\x82\x82\xC2"),  // 右の砦が撃つ
        "\x82\xE0\x82\xC7\x82\xE9",                     // もどる
    };
    static const char* const kKeys[3] = {"Space", "Enter", "Esc"};
    const int centres[3] = {120, 320, 520};
    const int widths[3] = {96, 76, 56};
    for (int x = 40; x < 600; ++x)
        if ((x / 2) % 2 == 0 || (x > 100 && x < 540)) img.set(x, 401, kRule);
    for (int i = 0; i < 3; ++i) {
        const int x0 = centres[i] - widths[i] / 2, x1 = centres[i] + widths[i] / 2;
        const int y0 = 407, y1 = 429;
        for (int y = y0; y <= y1 + 2; ++y)
            for (int x = x0; x <= x1; ++x) {
                const bool corner = (x == x0 || x == x1) && (y == y0 || y >= y1);
                if (corner) continue;
                uint8_t c = kCapFace;
                if (y > y1)
                    c = kCapShade;  // the key's side
                else if (x == x0 || x == x1 || y == y0 || y == y1)
                    c = kCapBorder;
                else if (y < y0 + 4)
                    c = kCapTop;
                img.set(x, y, c);
            }
        const Mask label = pad.draw(kKeys[i], centres[i], 418, 17, 700, 0);
        paintText(img, label, 0, kCapLabel, 0, kCapLabel, kCapLabel, 1, 400, 463);
        const Mask caption = pad.draw(kCaptions[i], centres[i], 449, 18, 600, 0);
        paintText(img, caption, 0, kShadow, 1, kShadow, kCaption, 1, 400, 463);
    }
}

// ---------------------------------------------------------------------------------------------
// char.bmp: a shell, a burst and the fortress; the lower row is left transparent.

Image spriteSheet() {
    using namespace fp;
    Image img(48, 32, kKey);
    // A shell, lit from the upper left.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int dx = 2 * x - 15, dy = 2 * y - 15;  // doubled, centred between pixels
            const int d2 = dx * dx + dy * dy;
            if (d2 > 8 * 8) continue;
            const int lx = 2 * x - 11, ly = 2 * y - 11;
            const int shade = std::clamp(15 - (lx * lx + ly * ly) / 16, 1, 15);
            img.set(x, y, uint8_t(kStone + (d2 > 7 * 7 ? 1 : shade)));
        }
    // A burst: a ragged star of flame around a hot core.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int dx = 2 * x - 15, dy = 2 * y - 15;
            const int d2 = dx * dx + dy * dy;
            const int ax = std::abs(dx), ay = std::abs(dy);
            const int spike = std::min(ax, ay) <= 2 || std::abs(ax - ay) <= 2 ? 15 : 10;
            if (d2 > spike * spike) continue;
            uint8_t c = d2 <= 16    ? kFlashCore
                        : d2 <= 49  ? kFlash
                        : d2 <= 100 ? kFlashHot
                                    : kFlashEmber;
            img.set(16 + x, y, c);
        }
    drawCastle(img, 32, 0, 1,
               CastleInks{kStone, kWindow, kWindowDim, kFlag, kFlagDark, kPole, kGate}, true);
    return img;
}

// ---------------------------------------------------------------------------------------------
// The icon: the fortress on a hill under the night sky, on a rounded badge. The picture is drawn
// once at 64 by 64 and sampled for every size; the badge's edge is worked out at each size.

Image iconArt() {
    const int n = 64;
    Image img(n, n, fp::kSky);
    Rng rng(0x1C0Eu);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            // A shallow hill: crest at row 44 in the middle.
            const int crest = 42 + (x - 32) * (x - 32) / 90;
            if (y >= crest) img.set(x, y, uint8_t(fp::kGround + std::max(0, 7 - (y - crest) / 3)));
        }
    for (int i = 0; i < 18; ++i)
        img.set(rng.range(3, 60), rng.range(3, 30), uint8_t(fp::kStars + rng.range(4, 15)));
    drawCastle(img, 16, 12, 2,
               CastleInks{fp::kStone, fp::kWindow, fp::kWindowDim, fp::kFlag, fp::kFlagDark,
                          fp::kPole, fp::kGate},
               true);
    return img;
}

// n by n RGBA, top row first. Each pixel averages 4 by 4 samples: colours from the art (so sizes
// of 64 and up keep its hard pixels and smaller ones blend them), coverage of the badge for alpha.
std::vector<uint8_t> iconPixels(const Image& art, const ColourTable& field, int n) {
    constexpr int S = 4;
    const int span = 2 * S * n;         // one pixel is 2S units; samples sit at odd units
    const int radius = span * 12 / 64;  // the badge's corner radius, 12 pixels at 64
    std::vector<uint8_t> rgba(size_t(n) * size_t(n) * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            int r = 0, g = 0, b = 0, inside = 0;
            for (int j = 0; j < S; ++j)
                for (int i = 0; i < S; ++i) {
                    const int u = 2 * (x * S + i) + 1, v = 2 * (y * S + j) + 1;
                    const Rgb c = field[art.at(u * art.w / span, v * art.h / span)];
                    r += c.r, g += c.g, b += c.b;
                    const int cu = std::clamp(u, radius, span - radius),
                              cv = std::clamp(v, radius, span - radius);
                    inside += (u - cu) * (u - cu) + (v - cv) * (v - cv) <= radius * radius;
                }
            uint8_t* p = &rgba[(size_t(y) * size_t(n) + size_t(x)) * 4];
            p[0] = uint8_t(r / (S * S)), p[1] = uint8_t(g / (S * S)), p[2] = uint8_t(b / (S * S));
            p[3] = uint8_t(inside * 255 / (S * S));
        }
    return rgba;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets <output folder>\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    // Texts are drawn through the game's own display layer, on the headless back end.
    platform::installBackend(platform::makeHeadlessBackend({}));

    const ColourTable title = titleColours();
    const ColourTable field = fieldColours();

    Image titleImage(640, 480, tp::kBlack);
    {
        TextPad pad(title);
        if (!pad.open) {
            std::fprintf(stderr, "make_assets: cannot open the display for drawing texts\n");
            return 1;
        }
        titleImage = titlePicture(pad);
        drawMenu(titleImage, pad);
        drawKeyGuide(titleImage, pad);
        drawFontStrip(titleImage, 464);
        // Still usable, so not an error, but the menu would show empty bars.
        if (pad.emptyTexts > 0)
            std::fprintf(stderr,
                         "make_assets: warning: %d texts drew nothing (no Japanese font?)\n",
                         pad.emptyTexts);
    }
    const Image sheet = spriteSheet();

    bool ok = true;
    ok &= assets::writeFile(dir + "title.bmp", assets::encodeBmp(640, 480, titleImage.px, title));
    ok &= assets::writeFile(dir + "char.bmp", assets::encodeBmp(48, 32, sheet.px, field));
    ok &= assets::writeFile(dir + "shoot.wav",
                            assets::encodeWav(assets::makeShotSound(), assets::kSampleRate));
    ok &= assets::writeFile(dir + "bomb.wav",
                            assets::encodeWav(assets::makeBurstSound(), assets::kSampleRate));
    const Image art = iconArt();
    for (int n : kIconSizes) {
        const std::vector<uint8_t> png = assets::encodePng(n, n, iconPixels(art, field, n));
        ok &= !png.empty() && assets::writeFile(dir + "varnis-" + std::to_string(n) + ".png", png);
    }
    // The window's icon as the game sets it, plain pixels so the game needs no PNG reader.
    ok &= assets::writeFile(dir + "icon.rgba", iconPixels(art, field, 64));
    if (!ok) {
        std::fprintf(stderr, "make_assets: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
