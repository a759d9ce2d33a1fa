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
#include "platform/raster.h"

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

// The suite's variants all hold the same picture: the 8-bit ones give the same colours through
// their own colour tables, with the indices as stored (the file's bottom row last).
TEST(BitmapSuite, EightBitVariantsDecodeAlike) {
    BitmapImage ref;
    ASSERT_TRUE(readBitmapFile((kSuite + "good/pal8.bmp").c_str(), ref));
    ASSERT_EQ(ref.width, 127);
    ASSERT_EQ(ref.height, 64);
    const std::vector<uint8_t> raw = slurp(kSuite + "good/pal8.bmp");
    const size_t bits = raw[10] | raw[11] << 8;
    EXPECT_EQ(ref.indices[size_t(63 * 127 + 126)], raw[bits + 126]);
    EXPECT_EQ(ref.indices[0], raw[bits + 63 * 128]);
    for (const char* name : {"pal8-0", "pal8os2", "pal8rle", "pal8topdown", "pal8v4", "pal8v5", "pal8gs",
                             "rgb24", "pal4", "pal1", "pal8nonsquare", "pal8w124", "pal8w125", "pal8w126"}) {
        SCOPED_TRACE(name);
        BitmapImage img;
        ASSERT_TRUE(readBitmapFile((kSuite + "good/" + name + ".bmp").c_str(), img));
        EXPECT_EQ(img.indexed ? img.indices.size() : img.colours.size(), size_t(img.width) * size_t(img.height));
        const std::string n = name;
        if (n == "pal8gs" || n == "rgb24" || n == "pal4" || n == "pal1" || img.width != 127 || img.height != 64) continue;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 127; ++x) ASSERT_EQ(img.colourAt(x, y), ref.colourAt(x, y)) << x << "," << y;
    }
}

TEST(BitmapSuite, BadFilesAreRefusedOrReadSafely) {
    for (const auto& entry : std::filesystem::directory_iterator(kSuite + "bad")) {
        BitmapImage img;
        if (readBitmapFile(entry.path().c_str(), img)) {
            EXPECT_EQ(img.indexed ? img.indices.size() : img.colours.size(),
                      size_t(img.width) * size_t(img.height)) << entry.path();
        }
    }
    for (const char* name :
         {"reallybig", "shortfile", "badplanes", "badbitcount", "rletopdown", "badwidth", "badheadersize"}) {
        BitmapImage img;
        EXPECT_FALSE(readBitmapFile((kSuite + "bad/" + name + ".bmp").c_str(), img)) << name;
    }
    // Indices past the colour table are kept as stored and read as black.
    BitmapImage img;
    ASSERT_TRUE(readBitmapFile((kSuite + "bad/pal8badindex.bmp").c_str(), img));
    int pastTable = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (img.indices[size_t(y * img.width + x)] >= img.colourTable.size()) {
                ++pastTable;
                EXPECT_EQ(img.colourAt(x, y), 0u);
            }
    EXPECT_GT(pastTable, 0);
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
    const std::string path = kSuite + "good/pal8.bmp";  // 127 by 64
    BitmapImage img;
    ASSERT_TRUE(readBitmapFile(path.c_str(), img));
    auto index = [&](int x, int y) { return img.indices[size_t(y * 127 + x)]; };
    screen.fillSurface(3, 1);
    screen.loadBitmap(path.c_str(), 16, 16, 5, 7, 16, 8, 3);
    EXPECT_EQ(px(3, 5, 7), index(16, 8));
    EXPECT_EQ(px(3, 20, 22), index(31, 23));
    EXPECT_EQ(px(3, 21, 7), 1);
    EXPECT_EQ(px(3, 5, 23), 1);

    // Off every edge: of the picture (sx + w > 127), and of the surface (dx < 0, dy + h > 480).
    screen.loadBitmap(path.c_str(), 100, 100, -3, 470, 120, 0, 3);
    EXPECT_EQ(px(3, 0, 470), index(123, 0));
    EXPECT_EQ(px(3, 3, 479), index(126, 9));
    EXPECT_EQ(px(3, 4, 470), 1);
    screen.loadBitmap(path.c_str(), 10, 10, INT32_MAX, INT32_MIN, INT32_MIN, 0, 3);  // nothing
    screen.loadBitmap(path.c_str(), 10, 10, 0, 0, 0, 0, 11);                         // empty slot
}

TEST(LoadBitmapFailure, MissingOrMalformedFileEndsWithMessage) {
    for (const std::string& name : {std::string("missing.bmp"), kSuite + "bad/reallybig.bmp"})
        EXPECT_EXIT(
            {
                installBackend(std::make_unique<MessageBackend>());
                screen.openScreen(1, 640, 480, 1, 8, 5);
                screen.loadBitmap(name.c_str(), 8, 8, 0, 0, 0, 0, 2);
            },
            ::testing::ExitedWithCode(1), "box: .*" + name.substr(name.rfind('/') + 1) + " ");
}
