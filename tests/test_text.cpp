// Texts: placement and centring, the shadow, extents of bold and italic texts, monochrome
// rendering, clipping, bad input, the trace line, and golden pictures of the game's texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/texts.h"
#include "gfx/screen.h"
#include "platform/headless/headless.h"
#include "platform/text.h"

namespace {

constexpr uint8_t kGround = 4;     // what the surface holds before a text is drawn
constexpr uint8_t kShadow = 7;     // the entry that is exactly RGB(1, 1, 1)
constexpr uint8_t kInk = 200;      // the entry the tests draw in
constexpr uint32_t kInkColour = 0x00C0FFEE;

struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
    uint8_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

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

    static Picture grab() {
        Picture pic;
        platform::Surface* s = SurfaceTable[0];
        pic.width = s->width();
        pic.height = s->height();
        for (int32_t y = 0; y < s->height(); ++y)
            pic.pixels.insert(pic.pixels.end(), s->data() + size_t(y) * size_t(s->pitch()),
                              s->data() + size_t(y) * size_t(s->pitch()) + size_t(s->width()));
        return pic;
    }

    // The game's call shape: face, Shift-JIS, slot 0, escapement 0.
    static void draw(int32_t x, int32_t y, int32_t cx, int32_t cy, const char* text, int32_t height,
                     int32_t weight, int32_t shadow, int32_t italic, uint32_t colour = kInkColour) {
        screen.drawText(x, y, cx, cy, text, height, 0, weight, shadow, colour, italic, kFontFace,
                        128, 0, 0);
    }

    static TextExtent extent(const char* text, int32_t height, int32_t weight, int32_t italic) {
        draw(0, 0, 0, 0, text, height, weight, 0, italic);
        return screen.lastTextExtent;
    }
};

int32_t countIndex(const Picture& pic, uint8_t index) {
    int32_t n = 0;
    for (uint8_t v : pic.pixels) n += v == index;
    return n;
}

// Pixels of `index` in a, moved by (dx, dy), must be exactly the pixels of `index` in b.
bool sameShapeMoved(const Picture& a, const Picture& b, uint8_t index, int32_t dx, int32_t dy) {
    for (int32_t y = 0; y < a.height; ++y)
        for (int32_t x = 0; x < a.width; ++x) {
            const int32_t sx = x - dx, sy = y - dy;
            const bool inA = sx >= 0 && sy >= 0 && sx < a.width && sy < a.height &&
                             a.at(sx, sy) == index;
            if (inA != (b.at(x, y) == index)) return false;
        }
    return true;
}

std::string windText() {
    char buf[64];
    std::snprintf(buf, sizeof buf, kTextWindLeft, 7);
    return buf;
}

// ---- Placement -----------------------------------------------------------------------------

TEST_F(Text, CentringStartsHalfTheWidthLeftOfTheCentreTruncated) {
    // Find a size at which the text is an odd number of pixels wide, so truncation shows.
    int32_t height = 10, width = 0;
    for (; height < 80; ++height) {
        width = extent(kTextComputerWin, height, 400, 0).width;
        if (width % 2 == 1) break;
    }
    ASSERT_EQ(width % 2, 1) << "no odd width found";
    clear();
    draw(320 - (width - 1) / 2, 100, 0, 0, kTextComputerWin, height, 400, 0, 0);
    const Picture placed = grab();
    clear();
    draw(-1, 100, 320, 0, kTextComputerWin, height, 400, 0, 0);
    const Picture centred = grab();
    EXPECT_GT(countIndex(placed, kInk), 0);
    EXPECT_EQ(placed.pixels, centred.pixels);  // e.g. 101 wide on 320 starts at 270

    // Vertically on the cell height: a height-90 text centred on 240 has its cell top at 195.
    clear();
    draw(100, 195, 0, 0, kTextComputerWin, 90, 800, 0, 1);
    const Picture top = grab();
    clear();
    draw(100, -1, 0, 240, kTextComputerWin, 90, 800, 0, 1);
    EXPECT_EQ(top.pixels, grab().pixels);
    EXPECT_EQ(screen.lastTextExtent.height, 90);
}

TEST_F(Text, OnlyMinusOneAsksForCentring) {
    draw(-2, 50, 320, 240, kTextComputerWin, 20, 400, 0, 0);
    const Picture atMinus2 = grab();
    clear();
    draw(0, 50, 320, 240, kTextComputerWin, 20, 400, 0, 0);
    EXPECT_TRUE(sameShapeMoved(grab(), atMinus2, kInk, -2, 0));
}

TEST_F(Text, WindowOriginAppliesOnlyToSlotZeroWhenWindowed) {
    windowOrigin = WindowOrigin{5, 9};
    draw(40, 40, 0, 0, kTextComputerWin, 20, 400, 0, 0);  // full screen: never moved
    const Picture full = grab();
    clear();
    screen.fullScreen = 0;
    draw(40, 40, 0, 0, kTextComputerWin, 20, 400, 0, 0);
    const Picture windowed = grab();
    screen.fullScreen = 1;
    windowOrigin = WindowOrigin{};
    EXPECT_TRUE(sameShapeMoved(full, windowed, kInk, 5, 9));
}

// ---- Shadow --------------------------------------------------------------------------------

TEST_F(Text, ShadowIsTheTextMovedAndDrawnFirst) {
    draw(200, 200, 0, 0, kTextComputerWin, 40, 800, 0, 1);
    const Picture plain = grab();
    for (int32_t s : {3, -3}) {
        clear();
        draw(200, 200, 0, 0, kTextComputerWin, 40, 800, s, 1);
        const Picture shadowed = grab();
        // The text itself is unchanged: the shadow went down first and never covers it.
        EXPECT_TRUE(sameShapeMoved(plain, shadowed, kInk, 0, 0)) << "offset " << s;
        // Every shadow pixel is a text pixel moved by (s, s), and every moved text pixel not
        // under the text is shadow.
        for (int32_t y = 0; y < plain.height; ++y)
            for (int32_t x = 0; x < plain.width; ++x) {
                const int32_t sx = x - s, sy = y - s;
                const bool moved = sx >= 0 && sy >= 0 && sx < plain.width && sy < plain.height &&
                                   plain.at(sx, sy) == kInk;
                const bool expectShadow = moved && plain.at(x, y) != kInk;
                ASSERT_EQ(shadowed.at(x, y) == kShadow, expectShadow)
                    << "offset " << s << " at " << x << "," << y;
            }
    }
    clear();
    draw(200, 200, 0, 0, kTextComputerWin, 40, 800, 0, 1);
    EXPECT_EQ(countIndex(grab(), kShadow), 0);
}

// ---- Extents and rendering -----------------------------------------------------------------

TEST_F(Text, ExtentsOfBoldAndItalicTexts) {
    const std::string wind = windText();
    struct Case {
        const char* text;
        int32_t glyphs;
        int32_t height;
    } cases[] = {{kTextComputerWin, 13, 90}, {wind.c_str(), 10, 18}, {kTextJustAMoment, 16, 20}};
    for (const Case& c : cases) {
        const TextExtent regular = extent(c.text, c.height, 400, 0);
        const TextExtent bold = extent(c.text, c.height, 800, 0);
        const TextExtent italic = extent(c.text, c.height, 400, 1);
        const TextExtent boldItalic = extent(c.text, c.height, 800, 1);
        EXPECT_GT(regular.width, 0);
        EXPECT_EQ(bold.width, regular.width + c.glyphs) << c.text;  // one pixel per glyph
        EXPECT_EQ(italic.width, regular.width) << c.text;           // the shear adds nothing
        EXPECT_EQ(boldItalic.width, bold.width) << c.text;
        for (const TextExtent& e : {regular, bold, italic, boldItalic})
            EXPECT_EQ(e.height, c.height);
        // An em height asks for the same size here: the face stands in with em = cell.
        EXPECT_EQ(extent(c.text, -c.height, 400, 0).width, regular.width);
        EXPECT_EQ(screen.lastTextExtent.height, c.height);
    }
    // Weight 600 is the first synthetic bold weight.
    EXPECT_EQ(extent("AB", 30, 599, 0).width + 2, extent("AB", 30, 600, 0).width);
    // The empty text has no width but the cell height.
    EXPECT_EQ(extent("", 30, 400, 0).width, 0);
    EXPECT_EQ(screen.lastTextExtent.height, 30);
}

TEST_F(Text, GlyphPixelsAreTextColourOrUntouched) {
    for (int32_t weight : {400, 800})
        for (int32_t italic : {0, 1}) {
            clear();
            draw(-1, -1, 320, 240, kTextJustAMoment, 20, weight, 0, italic);
            draw(-1, 300, 320, 0, kTextComputerWin, 90, weight, 0, italic);
            const Picture pic = grab();
            const int32_t ink = countIndex(pic, kInk);
            EXPECT_GT(ink, 500);
            EXPECT_EQ(ink + countIndex(pic, kGround), pic.width * pic.height)
                << "weight " << weight << " italic " << italic;
        }
    // A colour between two entries at equal distance takes the lower one; an exact match wins.
    PaletteEntry two[2] = {{10, 10, 10, 0}, {14, 10, 10, 0}};
    ddPalette->setEntries(0, 30, 2, two);
    clear();
    draw(10, 10, 0, 0, "X", 30, 400, 0, 0, 0x000A0A0C);
    EXPECT_GT(countIndex(grab(), 30), 0);
    draw(10, 10, 0, 0, "X", 30, 400, 0, 0, 0x000A0A0E);
    EXPECT_EQ(countIndex(grab(), 30), 0);
}

TEST_F(Text, ClippedAtEveryEdgeAndNothingOnUnusableSlots) {
    // Partly off each edge, and wholly off.
    for (auto [x, y] : {std::pair{-40, 10}, {600, 10}, {10, -50}, {10, 440}, {-100000, 5},
                        {5, 2000000000}, {-2147483647, -2147483647}})
        draw(x, y, 0, 0, kTextComputerWin, 90, 800, 3, 1);
    const Picture pic = grab();
    EXPECT_GT(countIndex(pic, kInk), 0);

    // A locked slot, an empty slot and a slot outside the table: nothing drawn, extent kept.
    clear();
    uint8_t* p = nullptr;
    int32_t pitch = 0;
    SurfaceTable[0]->lock(&p, &pitch);
    draw(10, 10, 0, 0, kTextComputerWin, 40, 400, 0, 0);
    SurfaceTable[0]->unlock(p);
    const int32_t width = screen.lastTextExtent.width;
    EXPECT_GT(width, 0);
    for (int32_t slot : {7, 14, 15, -1, 1000}) {
        screen.lastTextExtent = TextExtent{};
        screen.drawText(10, 10, 0, 0, kTextComputerWin, 40, 0, 400, 0, kInkColour, 0, kFontFace,
                        128, slot, 0);
        EXPECT_EQ(screen.lastTextExtent.width, width) << "slot " << slot;
    }
    EXPECT_EQ(countIndex(grab(), kInk), 0);
}

TEST_F(Text, BadBytesAndOddSizesDoNotCrash) {
    // A lead byte at the end, a lone trail byte, bytes no code page 932 table maps.
    for (const char* text : {"\x82", "A\x82", "\x81\x7F", "\xFF\xFE\xFD", "\xA0\x80\xFC\xFC"}) {
        draw(10, 10, 0, 0, text, 20, 400, 2, 1);
        EXPECT_EQ(screen.lastTextExtent.height, 20);
    }
    EXPECT_EQ(platform::decodeShiftJis("A\x82"), (std::u32string{U'A', 0xFFFD}));
    EXPECT_EQ(platform::decodeShiftJis(kTextWindNone), U"風向き：無し");
    // Heights and widths far outside anything sensible are clamped, not honoured.
    for (int32_t h : {0, 1, -1, 100000, -2147483647 - 1}) draw(0, 0, 0, 0, "Wg", h, 400, 0, 0);
    screen.drawText(0, 0, 0, 0, "Wg", 20, 2000000000, 400, 0, kInkColour, 0, kFontFace, 128, 0, 0);
    screen.drawText(0, 0, 0, 0, "Wg", 20, 0, 400, 0, kInkColour, 0, nullptr, 128, 0, 0);
    screen.textOut(0, 100, 100, kTextComputerWin);
    screen.textOut(0, 100, 100, nullptr);
}

// ---- Trace ---------------------------------------------------------------------------------

TEST_F(Text, EveryCallWritesOneTraceLineWithThePlacedPosition) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    platform::HeadlessOptions opts;
    opts.traceOut = out;
    platform::installBackend(platform::makeHeadlessBackend(opts));
    const std::string wind = windText();
    draw(-1, 8, 320, 0, wind.c_str(), 18, 400, 0, 0);
    const int32_t windWidth = screen.lastTextExtent.width;
    draw(-1, -1, 320, 240, kTextComputerWin, 90, 800, 3, 1);  // the shadow adds no line
    const int32_t winWidth = screen.lastTextExtent.width;
    draw(5, 6, 0, 0, "\xFF", 10, 400, 0, 0);
    std::fflush(out);
    platform::installBackend(platform::makeHeadlessBackend({}));

    std::rewind(out);
    std::string all;
    char buf[512];
    while (std::fgets(buf, sizeof buf, out)) all += buf;
    std::fclose(out);
    std::vector<std::string> lines;
    std::istringstream in(all);
    for (std::string l; std::getline(in, l);) lines.push_back(l.substr(l.find(' ') + 1));
    ASSERT_EQ(lines.size(), 3u) << all;
    EXPECT_EQ(lines[0], "text " + std::to_string(320 - windWidth / 2) + " 8 風向き：←　風力：7");
    EXPECT_EQ(lines[1], "text " + std::to_string(320 - winWidth / 2) + " 195 Computer Win!");
    EXPECT_EQ(lines[2], "text 5 6 \xEF\xBF\xBD");
}

// ---- Golden pictures -----------------------------------------------------------------------
// The pixels of one index, cropped to their bounding box, as a PBM file whose comment gives the
// box's corner relative to where the text was drawn. Made with IPAPMincho; set
// VARNIS_UPDATE_GOLDEN=1 to write them again after a deliberate change in font handling.

struct Mask {
    int32_t x = 0, y = 0, width = 0, height = 0;
    std::vector<uint8_t> bits;  // width * height, 0 or 1
    bool operator==(const Mask&) const = default;
};

Mask maskOf(const Picture& pic, uint8_t index, int32_t originX, int32_t originY) {
    int32_t x0 = pic.width, y0 = pic.height, x1 = -1, y1 = -1;
    for (int32_t y = 0; y < pic.height; ++y)
        for (int32_t x = 0; x < pic.width; ++x)
            if (pic.at(x, y) == index) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    Mask m;
    if (x1 < 0) return m;
    m.x = x0 - originX, m.y = y0 - originY, m.width = x1 - x0 + 1, m.height = y1 - y0 + 1;
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x) m.bits.push_back(pic.at(x, y) == index);
    return m;
}

void writePbm(const std::string& path, const Mask& m) {
    std::ofstream f(path, std::ios::binary);
    f << "P4\n# origin " << m.x << " " << m.y << "\n" << m.width << " " << m.height << "\n";
    const int32_t stride = (m.width + 7) / 8;
    for (int32_t y = 0; y < m.height; ++y) {
        std::vector<char> row(size_t(stride), 0);
        for (int32_t x = 0; x < m.width; ++x)
            if (m.bits[size_t(y) * size_t(m.width) + size_t(x)]) row[size_t(x / 8)] |= char(0x80 >> (x % 8));
        f.write(row.data(), stride);
    }
}

bool readPbm(const std::string& path, Mask& m) {
    std::ifstream f(path, std::ios::binary);
    std::string magic, hash, word;
    if (!(f >> magic >> hash >> word >> m.x >> m.y >> m.width >> m.height)) return false;
    if (magic != "P4" || hash != "#" || word != "origin" || m.width <= 0 || m.height <= 0 ||
        m.width > 4096 || m.height > 4096)
        return false;
    f.get();
    const int32_t stride = (m.width + 7) / 8;
    m.bits.clear();
    for (int32_t y = 0; y < m.height; ++y) {
        std::vector<char> row(static_cast<size_t>(stride));
        if (!f.read(row.data(), stride)) return false;
        for (int32_t x = 0; x < m.width; ++x) m.bits.push_back((row[size_t(x / 8)] >> (7 - x % 8)) & 1);
    }
    return true;
}

void checkGolden(const Mask& actual, const std::string& name) {
    const std::string golden = std::string(VARNIS_SOURCE_DIR) + "/tests/golden/" + name;
    if (std::getenv("VARNIS_UPDATE_GOLDEN")) writePbm(golden, actual);
    Mask expected;
    ASSERT_TRUE(readPbm(golden, expected)) << golden;
    if (!(expected == actual)) {
        const std::string got = std::string(VARNIS_BINARY_DIR) + "/actual-" + name;
        writePbm(got, actual);
        ADD_FAILURE() << name << " differs from the golden picture; this run's is " << got;
    }
}

TEST_F(Text, GoldenPicturesOfTheGamesTexts) {
    platform::TextFont probe;
    ASSERT_TRUE(probe.open(kFontFace, 18, 0, 400, false));
    if (probe.fileName().find("ipamp.ttf") == std::string::npos)
        GTEST_SKIP() << "golden pictures are made with IPAPMincho; this machine uses "
                     << probe.fileName();

    // The winner's text is wider than the 640-pixel screen with this face, so the pictures are
    // taken on a wider surface to hold all of it.
    screen.closeScreen();
    open(800);
    const std::string wind = windText();
    draw(-1, 8, 400, 0, wind.c_str(), 18, 400, 0, 0);
    const int32_t windX = 400 - screen.lastTextExtent.width / 2;
    checkGolden(maskOf(grab(), kInk, windX, 8), "wind-text.pbm");

    clear();
    draw(-1, -1, 400, 240, kTextComputerWin, 90, 800, 3, 1);
    const int32_t winX = 400 - screen.lastTextExtent.width / 2;
    const Picture winner = grab();
    checkGolden(maskOf(winner, kInk, winX, 195), "winner-text.pbm");
    checkGolden(maskOf(winner, kShadow, winX, 195), "winner-shadow.pbm");
}

}  // namespace
