// Pictures and palettes from files: the bitmap reader on real-world files, loading into surface
// slots, the colour table read and the palette fades.
#include <gtest/gtest.h>

#include "gfx/palette.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/bitmap.h"
#include "platform/raster.h"
#include "support.h"

using namespace platform;

static const std::string kSuite = std::string(VARNIS_TESTDATA) + "/bmpsuite/";

// Indices are kept as stored, the file's bottom row last, the leftmost pixel of a byte in its
// high bits; the 8-bit variants give the same colours through their own colour tables.
TEST(BitmapSuite, IndicesAsStoredAndVariantsDecodeAlike) {
    BitmapImage ref;
    ASSERT_TRUE(readBitmapFile((kSuite + "good/pal8.bmp").c_str(), ref));
    for (const auto& [name, bpp] : {std::pair{"pal1", 1}, {"pal4", 4}, {"pal8", 8}}) {
        BitmapImage img;
        ASSERT_TRUE(readBitmapFile((kSuite + "good/" + name + ".bmp").c_str(), img)) << name;
        ASSERT_TRUE(img.indexed && img.width == 127 && img.height == 64) << name;
        const std::string raw = support::readAll(kSuite + "good/" + name + ".bmp");
        const size_t bits = raw[10] | raw[11] << 8, stride = (127 * bpp + 31) / 32 * 4;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 127; ++x) {
                const uint8_t byte = raw[bits + size_t(63 - y) * stride + size_t(x * bpp / 8)];
                ASSERT_EQ(img.indices[size_t(y * 127 + x)],
                          (byte >> (8 - bpp - x * bpp % 8)) & ((1 << bpp) - 1))
                    << name << " " << x << "," << y;
            }
    }
    for (const char* name : {"pal8os2", "pal8rle", "pal8topdown", "pal8v5", "rgb24", "pal8w126"}) {
        SCOPED_TRACE(name);
        BitmapImage img;
        ASSERT_TRUE(readBitmapFile((kSuite + "good/" + name + ".bmp").c_str(), img));
        EXPECT_EQ(img.indexed ? img.indices.size() : img.colours.size(),
                  size_t(img.width) * size_t(img.height));
        if (std::string(name) == "rgb24" || img.width != 127) continue;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 127; ++x)
                ASSERT_EQ(img.colourAt(x, y), ref.colourAt(x, y)) << x << "," << y;
    }
}

// Run-length 4-bit data, which the suite above has no file of: the high nibble comes first, in
// runs and in absolute runs alike.
TEST(BitmapSuite, FourBitRunsTakeTheHighNibbleFirst) {
    support::Bytes b;
    b += "BM", b.u32(0), b.u32(0), b.u32(118), b.u32(40), b.u32(8), b.u32(1), b.u16(1), b.u16(4),
        b.u32(2);
    b.append(20, '\0'), b.append(64, '\1');
    b += std::string("\x04\x12\x00\x04\x34\x56\x00\x01", 8);  // 1 2 1 2, then 3 4 5 6 as stored
    const std::string path = ::testing::TempDir() + "/rle4-" + std::to_string(getpid()) + ".bmp";
    support::writeAll(path, b);
    BitmapImage img;
    ASSERT_TRUE(readBitmapFile(path.c_str(), img));
    EXPECT_EQ(img.indices, (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 5, 6}));
    std::remove(path.c_str());
}

TEST(BitmapSuite, BadFilesAreRefusedOrReadSafely) {
    for (const auto& entry : std::filesystem::directory_iterator(kSuite + "bad")) {
        BitmapImage img;
        if (readBitmapFile(entry.path().c_str(), img)) {
            EXPECT_EQ(img.indexed ? img.indices.size() : img.colours.size(),
                      size_t(img.width) * size_t(img.height))
                << entry.path();
        }
    }
    for (const char* name : {"reallybig", "shortfile", "badbitcount", "rletopdown"}) {
        BitmapImage img;
        EXPECT_FALSE(readBitmapFile((kSuite + "bad/" + name + ".bmp").c_str(), img)) << name;
    }
}

class LoadBitmapTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(screen.openScreen(1, 640, 480, 1, 8, 5), 1); }
    void TearDown() override { screen.closeScreen(); }
    static uint8_t px(int slot, int x, int y) {
        return SurfaceTable[slot]->data()[y * SurfaceTable[slot]->pitch() + x];
    }
};

TEST_F(LoadBitmapTest, CopiesRegionClippedToBothKeepingIndices) {
    const std::string path = kSuite + "good/pal8.bmp";  // 127 by 64
    BitmapImage img;
    ASSERT_TRUE(readBitmapFile(path.c_str(), img));
    auto index = [&](int x, int y) { return img.indices[size_t(y * 127 + x)]; };
    screen.fillSurface(3, 1);
    // Off every edge: of the picture (sx + w > 127), and of the surface (dx < 0, dy + h > 480).
    screen.loadBitmap(path.c_str(), 100, 100, -3, 470, 120, 0, 3);
    EXPECT_EQ(px(3, 0, 470), index(123, 0));
    EXPECT_EQ(px(3, 3, 479), index(126, 9));
    EXPECT_EQ(px(3, 4, 470), 1);
    screen.loadBitmap(path.c_str(), 10, 10, INT32_MAX, INT32_MIN, INT32_MIN, 0, 3);  // nothing
    screen.loadBitmap(path.c_str(), 10, 10, 0, 0, 0, 0, 11);                         // empty slot
}

namespace {

// Keeps the device palette seen at each vertical blank, so tests see a fade step by step.
class RecordingBackend final : public support::StubBackend {
public:
    static inline std::vector<std::vector<PaletteEntry>>* seen = nullptr;
    void poll(bool queueEmpty) override { now_ += queueEmpty; }
    uint32_t now() override { return now_; }
    void waitVerticalBlank() override {
        now_ += 16;
        if (seen && ddPalette) seen->emplace_back(ddPalette->entries(), ddPalette->entries() + 256);
    }

private:
    uint32_t now_ = 0;
};

// A file of `size` bytes: 54 bytes of header, then BGRx entries with blue = i, green = i ^ 0x55,
// red = 255 - i, cut at `size`.
std::string writePaletteFile(const char* name, size_t size) {
    std::vector<uint8_t> bytes(54, 0);
    for (int i = 0; i < 256; ++i)
        for (uint8_t v : {uint8_t(i), uint8_t(i ^ 0x55), uint8_t(255 - i), uint8_t(0x77)})
            bytes.push_back(v);
    bytes.resize(size);
    const std::string path = std::string(VARNIS_BINARY_DIR) + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

class PaletteTest : public ::testing::Test {
protected:
    void open(int full) {
        installBackend(std::make_unique<RecordingBackend>());
        ASSERT_EQ(screen.openScreen(1, 640, 480, full, 8, 5), 1);
        RecordingBackend::seen = &seen;
        for (int i = 0; i < 256; ++i) basePalette[i] = PaletteEntry{255, 100, uint8_t(255 - i), 1};
        basePalette[1] = {128, 128, 128, 1};  // the key colour, never faded
        paletteFader.resetPalette();
        seen.clear();
    }
    void TearDown() override {
        RecordingBackend::seen = nullptr;
        screen.closeScreen();
    }
    // The brightness offset of each step the device was given (entry 20 has red 255).
    std::vector<int> steps() const {
        std::vector<int> out;
        for (size_t k = 1; k < seen.size(); ++k) out.push_back(seen[k][20].peRed - 255);
        out.push_back(ddPalette->entries()[20].peRed - 255);  // each step waits for its blank first
        return out;
    }
    std::vector<std::vector<PaletteEntry>> seen;
};

}  // namespace

TEST_F(PaletteTest, LoadReadsTheColourTableAndShortFilesReadAs255) {
    open(1);
    screen.loadPalette(writePaletteFile("pal_full.bmp", 1078).c_str());
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(ddPalette->entries()[i].peRed == 255 - i &&
                    basePalette[i].peGreen == (i ^ 0x55) && basePalette[i].peBlue == i &&
                    basePalette[i].peFlags == PC_RESERVED)
            << i;
    EXPECT_FALSE(SurfaceTable[0]->hasColorKey());
    for (int s = 1; s < 5; ++s)
        EXPECT_TRUE(SurfaceTable[s]->hasColorKey() && SurfaceTable[s]->colorKey() == 1) << s;
    // Cut in the middle of entry 10's green byte, and shorter than the header.
    screen.loadPalette(writePaletteFile("pal_short.bmp", 95).c_str());
    EXPECT_EQ(basePalette[9].peRed, 246);
    EXPECT_EQ(basePalette[10].peBlue, 10);
    EXPECT_EQ(basePalette[10].peGreen, 255);
    EXPECT_EQ(basePalette[255].peBlue, 255);
}

// Each channel is the base plus the offset, held to 0..255; entry 1 never changes.
TEST_F(PaletteTest, BrightnessClampsEveryChannelTo0And255) {
    open(1);
    paletteFader.setPaletteEntry(30, 200, 1, 254);
    const struct {
        int offset;
        uint8_t r, g, b;
    } cases[] = {{0, 200, 1, 254},           {1, 201, 2, 255},    {55, 255, 56, 255},
                 {300, 255, 255, 255},       {-2, 198, 0, 252},   {-300, 0, 0, 0},
                 {INT32_MAX, 255, 255, 255}, {INT32_MIN, 0, 0, 0}};
    for (const auto& c : cases) {
        paletteFader.setBrightnessAll(c.offset);
        const PaletteEntry e = ddPalette->entries()[30];
        EXPECT_EQ(std::tuple(e.peRed, e.peGreen, e.peBlue), std::tuple(c.r, c.g, c.b)) << c.offset;
        EXPECT_EQ(ddPalette->entries()[1].peRed, 128);
    }
}

TEST_F(PaletteTest, WindowedFadeStepsFourTimesAsFarOverEntries10To245) {
    open(0);
    paletteFader.fadeUp(-255, 0, 10, 5);
    EXPECT_EQ(steps(), (std::vector<int>{-255, -215, -175, -135, -95, -55, -15, 0}));
    const PaletteEntry low = ddPalette->entries()[9], high = ddPalette->entries()[250];
    paletteFader.setBrightnessAll(-255);
    EXPECT_EQ(ddPalette->entries()[10].peRed + ddPalette->entries()[245].peRed, 0);
    EXPECT_EQ(ddPalette->entries()[9].peRed, low.peRed);
    EXPECT_EQ(ddPalette->entries()[250].peRed, high.peRed);
    paletteFader.fadeUpRange(-255, 0, 16, 31, 0,
                             0);  // a step of 0 still ends, on the whole palette
    EXPECT_EQ(workPalette[200].peRed, 255);
}

// A picture or palette that cannot be read ends the game with its name (cut to the message
// buffer) in a message box.
TEST(PictureFiles, MissingOrMalformedFileEndsWithItsName) {
    const struct {
        std::string name, shown;
        bool palette;
    } cases[] = {{"missing.bmp", "box: missing.bmp ", false},
                 {kSuite + "bad/reallybig.bmp", "box: .*reallybig.bmp ", false},
                 {"no-such-palette.bmp", "box: no-such-palette.bmp ", true},
                 {std::string(600, 'x'), "box: x{255}\n", true}};
    for (const auto& c : cases)
        EXPECT_EXIT(
            {
                installBackend(std::make_unique<support::StubBackend>());
                screen.openScreen(1, 640, 480, 1, 8, 5);
                c.palette ? screen.loadPalette(c.name.c_str())
                          : screen.loadBitmap(c.name.c_str(), 8, 8, 0, 0, 0, 0, 2);
            },
            ::testing::ExitedWithCode(1), c.shown);
}
