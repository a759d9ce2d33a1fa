// Texts: placement and centring, the shadow, extents of bold and italic texts, monochrome
// rendering, and golden pictures of the game's texts.
#include <gtest/gtest.h>

#include "backends/headless/headless.h"
#include "gfx/screen.h"
#include "platform/text.h"
#include "shell/texts.h"
#include "support.h"

namespace {

constexpr uint8_t kGround = 4;  // what the surface holds before a text is drawn
constexpr uint8_t kShadow = 7;  // the entry that is exactly RGB(1, 1, 1)
constexpr uint8_t kInk = 200;   // the entry the tests draw in
constexpr uint32_t kInkColour = 0x00C0FFEE;

using Picture = std::vector<uint8_t>;

class Text : public ::testing::Test {
protected:
    void SetUp() override { open(640); }
    void TearDown() override { screen.closeScreen(); }

    static void open(int32_t width) {
        ASSERT_EQ(screen.openScreen(1, width, 480, 1, 8, 5), 1);
        // Distinct colours far from the ones drawn with, so every match below is deliberate.
        PaletteEntry p[256];
        for (int i = 0; i < 256; ++i)
            p[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2 + 64), 0};
        p[kShadow] = PaletteEntry{1, 1, 1, 0};
        p[kInk] = PaletteEntry{0xEE, 0xFF, 0xC0, 0};
        ddPalette->setEntries(0, 0, 256, p);
        clear();
    }
    static void clear() { SurfaceTable[0]->fill(nullptr, kGround); }
    static int32_t W() { return SurfaceTable[0]->width(); }
    // The primary surface's pitch is its width in the stand-in.
    static Picture grab() {
        const uint8_t* d = SurfaceTable[0]->data();
        return Picture(d, d + size_t(W()) * 480);
    }
    // The game's call shape: its face, Shift-JIS, slot 0, natural width, escapement 0.
    static void draw(int32_t x, int32_t y, int32_t cx, int32_t cy, const char* text, int32_t height,
                     int32_t weight, int32_t shadow, int32_t italic, uint32_t colour = kInkColour) {
        screen.drawText(x, y, cx, cy, text, height, 0, weight, shadow, colour, italic, kFontFace,
                        128, 0, 0);
    }
    static Picture drawn(int32_t x, int32_t y, int32_t cx, int32_t cy, const char* text,
                         int32_t height, int32_t weight, int32_t shadow, int32_t italic) {
        clear();
        draw(x, y, cx, cy, text, height, weight, shadow, italic);
        return grab();
    }
    static int32_t widthOf(const char* text, int32_t height, int32_t weight, int32_t italic) {
        draw(0, 0, 0, 0, text, height, weight, 0, italic);
        EXPECT_EQ(screen.lastTextExtent.height, height < 0 ? -height : height);
        return screen.lastTextExtent.width;
    }
};

int32_t count(const Picture& pic, uint8_t index) {
    return int32_t(std::count(pic.begin(), pic.end(), index));
}

std::string windText() {
    char buf[64];
    std::snprintf(buf, sizeof buf, kTextWindLeft, 7);
    return buf;
}

TEST_F(Text, PlacementAndCentring) {
    // At a size where the text is an odd number of pixels wide, truncation shows: a text
    // 2k + 1 wide centred on 320 starts at 320 - k (101 wide starts at 270).
    int32_t height = 10, width = 0;
    while (height < 80 && (width = widthOf(kTextComputerWin, height, 400, 0)) % 2 == 0) ++height;
    ASSERT_EQ(width % 2, 1);
    const Picture placed =
        drawn(320 - (width - 1) / 2, 100, 0, 0, kTextComputerWin, height, 400, 0, 0);
    EXPECT_GT(count(placed, kInk), 0);
    EXPECT_EQ(drawn(-1, 100, 320, 0, kTextComputerWin, height, 400, 0, 0), placed);
    // Vertically on the cell height: a height-90 text centred on 240 has its cell top at 195.
    EXPECT_EQ(drawn(100, -1, 0, 240, kTextComputerWin, 90, 800, 0, 1),
              drawn(100, 195, 0, 0, kTextComputerWin, 90, 800, 0, 1));
}

TEST_F(Text, ShadowIsTheTextMovedAndDrawnFirst) {
    // Monochrome: every pixel is the text colour or untouched.
    const Picture plain = drawn(200, 200, 0, 0, kTextComputerWin, 40, 800, 0, 1);
    EXPECT_GT(count(plain, kInk), 300);
    EXPECT_EQ(count(plain, kInk) + count(plain, kGround), int32_t(plain.size()));
    for (int s : {3, -3}) {
        const Picture shadowed = drawn(200, 200, 0, 0, kTextComputerWin, 40, 800, s, 1);
        // The shadow is the text moved by (s, s) and drawn first, so the text stays whole.
        Picture expected(plain.size(), kGround);
        for (int32_t i = 0; i < int32_t(plain.size()); ++i)
            if (plain[size_t(i)] == kInk) expected[size_t(i + s * W() + s)] = kShadow;
        for (size_t i = 0; i < plain.size(); ++i)
            if (plain[i] == kInk) expected[i] = kInk;
        EXPECT_EQ(shadowed, expected) << s;
    }
}

TEST_F(Text, ExtentsOfBoldAndItalicTexts) {
    const std::string wind = windText();
    for (const auto& [text, glyphs, height] :
         {std::tuple{kTextComputerWin, 13, 90}, {wind.c_str(), 10, 18}}) {
        const int32_t regular = widthOf(text, height, 400, 0);
        EXPECT_GT(regular, 0);
        EXPECT_EQ(widthOf(text, height, 800, 0), regular + glyphs) << text;  // 1 px a glyph
        EXPECT_EQ(widthOf(text, height, 800, 1), regular + glyphs)
            << text;  // the shear adds nothing
        // An em height gives the same size: the substitute stands in with em = cell.
        EXPECT_EQ(widthOf(text, -height, 400, 0), regular) << text;
    }
    EXPECT_EQ(widthOf("AB", 30, 599, 0) + 2, widthOf("AB", 30, 600, 0));  // bold from 600
}

// The pixels of one index, cropped to their bounding box, as a PBM picture whose comment gives
// the box's corner relative to where the text was drawn. The golden files are made with
// IPAPMincho; VARNIS_UPDATE_GOLDEN=1 writes them again after a deliberate change.
std::string pbmOf(const Picture& pic, int32_t w, uint8_t index, int32_t ox, int32_t oy) {
    int32_t x0 = w, y0 = 480, x1 = -1, y1 = -1;
    for (int32_t i = 0; i < int32_t(pic.size()); ++i)
        if (pic[size_t(i)] == index)
            x0 = std::min(x0, i % w), x1 = std::max(x1, i % w), y0 = std::min(y0, i / w),
            y1 = i / w;
    std::ostringstream f;
    f << "P4\n# origin " << x0 - ox << " " << y0 - oy << "\n"
      << x1 - x0 + 1 << " " << y1 - y0 + 1 << "\n";
    for (int32_t y = y0; y <= y1; ++y) {
        std::string row(size_t(x1 - x0 + 8) / 8, '\0');
        for (int32_t x = x0; x <= x1; ++x)
            if (pic[size_t(y * w + x)] == index)
                row[size_t(x - x0) / 8] |= char(0x80 >> ((x - x0) % 8));
        f << row;
    }
    return f.str();
}

TEST_F(Text, GoldenPicturesOfTheGamesTexts) {
    platform::TextFont probe;
    ASSERT_TRUE(probe.open(kFontFace, 18, 0, 400, false));
    if (probe.fileName().find("ipamp.ttf") == std::string::npos)
        GTEST_SKIP() << "golden pictures are made with IPAPMincho, not " << probe.fileName();
    // With this face the winner's text is wider than 640 pixels: a wider surface holds it all.
    screen.closeScreen();
    open(800);
    const std::string wind = windText();
    draw(-1, 8, 400, 0, wind.c_str(), 18, 400, 0, 0);
    const int32_t windX = 400 - screen.lastTextExtent.width / 2;
    EXPECT_TRUE(
        support::matchesGoldenText(pbmOf(grab(), 800, kInk, windX, 8), "text", "wind-text.pbm"));
    const Picture winner = drawn(-1, -1, 400, 240, kTextComputerWin, 90, 800, 3, 1);
    const int32_t x = 400 - screen.lastTextExtent.width / 2;
    EXPECT_TRUE(
        support::matchesGoldenText(pbmOf(winner, 800, kInk, x, 195), "text", "winner-text.pbm"));
    EXPECT_TRUE(support::matchesGoldenText(pbmOf(winner, 800, kShadow, x, 195), "text",
                                           "winner-shadow.pbm"));
}

}  // namespace
