#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gfx/palette.h"
#include "gfx/screen.h"
#include "platform/backend.h"

using namespace platform;

namespace {

const std::string kSuite = std::string(VARNIS_TESTDATA) + "/bmpsuite/";

std::vector<uint8_t> slurp(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// A bottom-up 8-bit or 24-bit file; pixel(x, y) gives the index or the COLORREF.
template <class F>
std::string writeBitmap(const char* name, int w, int h, int bpp, F pixel,
                        const std::vector<uint32_t>& table = {}) {
    const int stride = ((w * bpp + 31) / 32) * 4;
    const uint32_t tableBytes = bpp == 8 ? 1024 : 0;
    std::vector<uint8_t> b = {'B', 'M'};
    put32(b, 54 + tableBytes + stride * h);
    put32(b, 0);
    put32(b, 54 + tableBytes);
    put32(b, 40); put32(b, uint32_t(w)); put32(b, uint32_t(h)); put16(b, 1); put16(b, uint32_t(bpp));
    put32(b, 0); put32(b, 0); put32(b, 0); put32(b, 0); put32(b, 0); put32(b, 0);
    for (int i = 0; bpp == 8 && i < 256; ++i) {
        const uint32_t c = i < int(table.size()) ? table[i] : 0;
        b.push_back(uint8_t(c >> 16));
        b.push_back(uint8_t(c >> 8));
        b.push_back(uint8_t(c));
        b.push_back(0);
    }
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < w; ++x) {
            const uint32_t v = pixel(x, y);
            if (bpp == 8) {
                row.push_back(uint8_t(v));
            } else {
                row.push_back(uint8_t(v >> 16));
                row.push_back(uint8_t(v >> 8));
                row.push_back(uint8_t(v));
            }
        }
        row.resize(size_t(stride), 0);
        b.insert(b.end(), row.begin(), row.end());
    }
    const std::string path = std::string(VARNIS_BINARY_DIR) + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return path;
}

class MessageBackend final : public Backend {
public:
    bool createWindow(const char*) override { return true; }
    void getWindowRect(Rect& r) override { r = Rect{}; }
    void poll(bool) override {}
    uint32_t now() override { return 0; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {}
    void messageBox(const std::string& text, const char*) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
    }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}
};

}  // namespace

// The 8-bit variants of the suite's picture all hold the same picture: through their own colour
// tables they give the same colours, and the indices are those stored.
TEST(BitmapSuite, EightBitVariantsDecodeAlike) {
    BitmapImage ref;
    ASSERT_TRUE(readBitmapFile((kSuite + "good/pal8.bmp").c_str(), ref));
    ASSERT_EQ(ref.width, 127);
    ASSERT_EQ(ref.height, 64);
    const std::vector<uint8_t> raw = slurp(kSuite + "good/pal8.bmp");
    // The bottom row of the file is the last row of the picture; indices as stored.
    const size_t bits = raw[10] | raw[11] << 8;
    EXPECT_EQ(ref.indices[size_t(63 * 127)], raw[bits]);
    EXPECT_EQ(ref.indices[size_t(63 * 127 + 126)], raw[bits + 126]);
    EXPECT_EQ(ref.indices[0], raw[bits + 63 * 128]);
    for (const char* name : {"pal8-0", "pal8gs", "pal8os2", "pal8rle", "pal8topdown", "pal8v4",
                             "pal8v5", "rgb24", "pal4", "pal1"}) {
        BitmapImage img;
        ASSERT_TRUE(readBitmapFile((kSuite + "good/" + name + ".bmp").c_str(), img)) << name;
        ASSERT_EQ(img.width, 127) << name;
        ASSERT_EQ(img.height, 64) << name;
        const std::string n = name;
        if (n == "pal8gs" || n == "pal4" || n == "pal1" || n == "rgb24") continue;  // other colours
        int differing = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 127; ++x) differing += img.colourAt(x, y) != ref.colourAt(x, y);
        EXPECT_EQ(differing, 0) << name;
    }
    for (const char* name : {"pal8nonsquare", "pal8w124", "pal8w125", "pal8w126"}) {
        BitmapImage img;
        EXPECT_TRUE(readBitmapFile((kSuite + "good/" + name + ".bmp").c_str(), img)) << name;
        EXPECT_EQ(img.indices.size(), size_t(img.width) * size_t(img.height));
    }
}

TEST(BitmapSuite, BadFilesAreRefusedOrReadSafely) {
    for (const auto& entry : std::filesystem::directory_iterator(kSuite + "bad")) {
        BitmapImage img;
        std::string why;
        const bool ok = readBitmapFile(entry.path().c_str(), img, &why);
        if (ok) {
            EXPECT_EQ(img.indexed ? img.indices.size() : img.colours.size(),
                      size_t(img.width) * size_t(img.height)) << entry.path();
        }
    }
    for (const char* name : {"reallybig", "shortfile", "badplanes", "badbitcount", "rletopdown",
                             "badwidth", "badheadersize"}) {
        BitmapImage img;
        EXPECT_FALSE(readBitmapFile((kSuite + "bad/" + name + ".bmp").c_str(), img)) << name;
    }
    // Indices past the colour table are kept as stored and read as black.
    BitmapImage img;
    ASSERT_TRUE(readBitmapFile((kSuite + "bad/pal8badindex.bmp").c_str(), img));
    bool pastTable = false;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (img.indices[size_t(y * img.width + x)] >= img.colourTable.size()) {
                pastTable = true;
                EXPECT_EQ(img.colourAt(x, y), 0u);
            }
    EXPECT_TRUE(pastTable);
}

// Every cut of a file and random damage to its headers and runs are refused or read, never
// read out of bounds (the sanitizer build checks the "never").
TEST(BitmapSuite, TruncatedAndDamagedData) {
    for (const char* name : {"good/pal8rle.bmp", "good/pal4.bmp", "good/pal8os2.bmp", "good/rgb24.bmp"}) {
        const std::vector<uint8_t> bytes = slurp(kSuite + name);
        ASSERT_FALSE(bytes.empty());
        for (size_t n = 0; n < bytes.size(); n += (n < 200 ? 1 : 97)) {
            BitmapImage img;
            decodeBitmap(bytes.data(), n, img);
        }
        std::mt19937 rng(3);
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> damaged = bytes;
            for (int k = 0; k < 4; ++k)
                damaged[rng() % std::min<size_t>(damaged.size(), 2000)] = uint8_t(rng());
            BitmapImage img;
            if (decodeBitmap(damaged.data(), damaged.size(), img)) {
                ASSERT_LE(int64_t(img.width) * img.height, kMaxBitmapPixels);
            }
        }
    }
}

class LoadBitmapTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(screen.openScreen(1, 640, 480, 1, 8, 5), 1); }
    void TearDown() override { screen.closeScreen(); }
    static uint8_t px(int slot, int x, int y) { return SurfaceTable[slot]->data()[y * SurfaceTable[slot]->pitch() + x]; }
};

TEST_F(LoadBitmapTest, CopiesRegionClippedToBothKeepingIndices) {
    const std::string path = writeBitmap("eight.bmp", 48, 32, 8, [](int x, int y) { return uint32_t(x + 4 * y); });
    screen.fillSurface(3, 200);
    screen.loadBitmap(path.c_str(), 16, 16, 5, 7, 16, 8, 3);
    EXPECT_EQ(px(3, 5, 7), 16 + 4 * 8);
    EXPECT_EQ(px(3, 20, 22), 31 + 4 * 23);
    EXPECT_EQ(px(3, 21, 7), 200);
    EXPECT_EQ(px(3, 5, 23), 200);

    // Off every edge: of the picture (sx + w > 48), and of the surface (dx < 0, dy + h > 480).
    screen.loadBitmap(path.c_str(), 100, 100, -3, 470, 40, 0, 3);
    EXPECT_EQ(px(3, 0, 470), 43);
    EXPECT_EQ(px(3, 4, 470), 47);
    EXPECT_EQ(px(3, 5, 470), 200);
    EXPECT_EQ(px(3, 0, 479), 43 + 36);
    screen.loadBitmap(path.c_str(), 10, 10, INT32_MAX, INT32_MIN, INT32_MIN, 0, 3);  // nothing
    screen.loadBitmap(path.c_str(), 10, 10, 0, 0, 0, 0, 11);                         // empty slot
}

TEST_F(LoadBitmapTest, OtherDepthsMatchTheDevicePalette) {
    for (int i = 0; i < 256; ++i) basePalette[i] = PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 1};
    basePalette[173] = {10, 200, 30, 1};
    paletteFader.resetPalette();
    const std::string path = writeBitmap("deep.bmp", 4, 1, 24, [](int x, int) {
        return x == 0 ? 0x001EC80Au : x == 1 ? 0x00505050u : x == 2 ? 0x00525050u : 0x00FFFFFFu;
    });
    screen.loadBitmap(path.c_str(), 4, 1, 0, 0, 0, 0, 2);
    EXPECT_EQ(px(2, 0, 0), 173);
    EXPECT_EQ(px(2, 1, 0), 0x50);
    EXPECT_EQ(px(2, 2, 0), 0x51);  // (80, 80, 82): grey 80 at 4, grey 81 at 1 + 1 + 1
    EXPECT_EQ(px(2, 3, 0), 255);
}

TEST(LoadBitmapFailure, MissingOrMalformedFileEndsWithMessage) {
    EXPECT_EXIT(
        {
            installBackend(std::make_unique<MessageBackend>());
            screen.openScreen(1, 640, 480, 1, 8, 5);
            screen.loadBitmap("missing.bmp", 8, 8, 0, 0, 0, 0, 2);
        },
        ::testing::ExitedWithCode(1), "box: missing.bmp ");
    const std::string bad = kSuite + "bad/reallybig.bmp";
    EXPECT_EXIT(
        {
            installBackend(std::make_unique<MessageBackend>());
            screen.openScreen(1, 640, 480, 1, 8, 5);
            screen.loadBitmap(bad.c_str(), 8, 8, 0, 0, 0, 0, 2);
        },
        ::testing::ExitedWithCode(1), "reallybig.bmp ");
}
