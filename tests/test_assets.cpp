// The generated pictures, sounds and icon, read back from the build folder: the layout the game
// relies on, the colour tables, the wave headers, and the same bytes on every run.
#include <gtest/gtest.h>

#include "platform/bitmap.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes built(const char* name, const fs::path& dir = VARNIS_BINARY_DIR) {
    const std::string s = support::readAll(dir / name);
    return Bytes(s.begin(), s.end());
}
uint32_t le16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

// A generated picture through the game's reader, once its header shows the one layout the game's
// loader is given: uncompressed bottom-up 8 bpp, the colour table right after a 40-byte header.
struct Bitmap : platform::BitmapImage {
    uint8_t at(int x, int y) const { return indices[size_t(y * width + x)]; }
};
Bitmap loadBitmap(const char* name) {
    const Bytes b = built(name);
    Bitmap bmp;
    EXPECT_TRUE(
        b.size() > 54 && le32(b, 10) == 1078 && le32(b, 14) == 40 && le16(b, 28) == 8 &&
        le32(b, 30) == 0 && int32_t(le32(b, 22)) > 0 &&
        platform::readBitmapFile((VARNIS_BINARY_DIR "/" + std::string(name)).c_str(), bmp) &&
        bmp.colourTable.size() == 256)
        << name;
    return bmp;
}

TEST(AssetPictures, DistinctColourTablesAndASolidFortress) {
    // Drawing code matches colours back to entries, so a repeated colour would redirect one.
    for (const char* name : {"title.bmp", "char.bmp"}) {
        const Bitmap bmp = loadBitmap(name);
        EXPECT_EQ(std::set<uint32_t>(bmp.colourTable.begin(), bmp.colourTable.end()).size(), 256u)
            << name;
        EXPECT_EQ(bmp.colourTable[255], 0xFFFFFFu) << name;
    }
    // The fortress: every drawn pixel is solid ground to a shell and never reads as a crater.
    const Bitmap bmp = loadBitmap("char.bmp");
    ASSERT_TRUE(bmp.width == 48 && bmp.height == 32);
    int transparent = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 32; x < 48; ++x) {
            const uint8_t p = bmp.at(x, y);
            transparent += p == 1;
            EXPECT_TRUE(p == 1 || (p < 128 && p != 4)) << x << "," << y;
        }
    EXPECT_GT(transparent, 16);
    EXPECT_NE(bmp.at(40, 8), 1) << "the centre decides whether the fortress stands";
}

TEST(AssetPictures, TitleLayoutAndFontStrip) {
    const Bitmap bmp = loadBitmap("title.bmp");
    ASSERT_TRUE(bmp.width == 640 && bmp.height == 480);
    // The key colour keeps its brightness in every fade, so it appears only in the font strip.
    for (int y = 0; y < 464; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_NE(bmp.at(x, y), 1) << x << "," << y;
    // The plain items are copied first as 304 by 128 pixels and later 320 by 42 at a time, so
    // what lies outside the narrower area must match the cleared screen.
    for (int y = 240; y < 368; ++y)
        for (int x = y < 366 ? 624 : 320; x < 640; ++x) ASSERT_EQ(bmp.at(x, y), 0) << x << "," << y;
    for (int item = 0; item < 3; ++item) {
        int plain = 0, differ = 0;
        for (int y = 240 + 42 * item; y < 282 + 42 * item; ++y)
            for (int x = 0; x < 320; ++x) {
                plain += bmp.at(320 + x, y) != 0;
                differ += bmp.at(320 + x, y) != bmp.at(x, y);
            }
        EXPECT_GT(plain, 150) << "item " << item;
        EXPECT_GT(differ, 2000) << "item " << item << " looks the same highlighted";
    }
    // 37 distinct glyphs of 16 by 16.
    std::set<Bytes> shapes;
    for (int g = 0; g < 37; ++g) {
        Bytes cell;
        for (int y = 464; y < 480; ++y)
            for (int x = 16 * g; x < 16 * g + 16; ++x) cell.push_back(bmp.at(x, y));
        shapes.insert(cell);
    }
    EXPECT_EQ(shapes.size(), 37u);
}

TEST(AssetSounds, EightBitMonoAt11025) {
    for (const char* name : {"shoot.wav", "bomb.wav"}) {
        SCOPED_TRACE(name);
        const Bytes b = built(name);
        ASSERT_GE(b.size(), 44u);
        // The layout the wave reader expects first: RIFF, WAVE, a 16-byte PCM mono fmt chunk at
        // 11025 Hz and 8 bits, then data.
        EXPECT_EQ(
            std::string(b.begin(), b.begin() + 4) + std::string(b.begin() + 8, b.begin() + 16),
            "RIFFWAVEfmt ");
        EXPECT_EQ(le32(b, 16) | le16(b, 20) << 8 | le16(b, 22) << 16, 0x01'01'10u);
        EXPECT_EQ(le32(b, 24) + le16(b, 34), 11025u + 8);
        ASSERT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        const Bytes s(b.begin() + 44, b.end());
        ASSERT_EQ(le32(b, 40), s.size());
        EXPECT_TRUE(s.size() > 2200 && s.size() < 11025) << "a fifth of a second to a second";
        // Loud but never clipped, silent at both ends (no click).
        EXPECT_GT(*std::max_element(s.begin(), s.end()), 128 + 60);
        EXPECT_TRUE(std::none_of(s.begin(), s.end(), [](uint8_t v) { return v == 0 || v == 255; }));
        EXPECT_LE(std::abs(int(s.front()) - 128) + std::abs(int(s.back()) - 128), 6);
    }
}

TEST(AssetGenerator, WritesTheSameBytesEveryRun) {
    const fs::path base =
        fs::temp_directory_path() / ("varnis-assets-" + std::to_string(::getpid()));
    const fs::path one = base / "one", two = base / "two";
    for (const fs::path& d : {one, two}) {
        fs::create_directories(d);
        ASSERT_EQ(std::system((VARNIS_BINARY_DIR "/make_assets " + d.string()).c_str()), 0);
    }
    for (const char* name : {"title.bmp", "char.bmp", "shoot.wav", "bomb.wav", "varnis-16.png",
                             "varnis-256.png", "icon.rgba"}) {
        const Bytes a = built(name, one);
        EXPECT_TRUE(!a.empty() && a == built(name, two)) << name << " differs between two runs";
        EXPECT_TRUE(a == built(name)) << name << " differs from the build's";
    }
    fs::remove_all(base);
}

}  // namespace
