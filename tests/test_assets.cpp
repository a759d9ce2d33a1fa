// The generated pictures, sounds and icon, read back from the build folder: the layout the game
// relies on, the colour tables, the wave headers, a valid PNG, and the same bytes on every run.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Rgb = std::array<uint8_t, 3>;

Bytes readFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}
Bytes built(const char* name) { return readFile(fs::path(VARNIS_BINARY_DIR) / name); }
uint32_t le16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }
uint32_t be32(const Bytes& b, size_t at) { return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]; }

struct Bitmap {
    int width = 0, height = 0;
    std::array<Rgb, 256> colours{};
    Bytes pixels;  // top row first
    uint8_t at(int x, int y) const { return pixels[size_t(y * width + x)]; }
};

// An uncompressed bottom-up 8 bpp bitmap with its colour table right after a 40-byte header,
// the only layout the game's loader is given.
Bitmap loadBitmap(const char* name) {
    Bitmap bmp;
    const Bytes b = built(name);
    if (b.size() < 1078 || b[0] != 'B' || b[1] != 'M' || le32(b, 10) != 1078 || le32(b, 14) != 40 ||
        le16(b, 28) != 8 || le32(b, 30) != 0 || le32(b, 2) != b.size()) {
        ADD_FAILURE() << name << ": not an uncompressed 8-bit bitmap";
        return bmp;
    }
    const int w = int(le32(b, 18)), h = int(le32(b, 22));
    const size_t row = (size_t(w) + 3) & ~size_t(3);
    if (w <= 0 || h <= 0 || b.size() < 1078 + row * size_t(h)) {
        ADD_FAILURE() << name << ": pixel data missing";
        return bmp;
    }
    bmp.width = w, bmp.height = h;
    for (size_t i = 0; i < 256; ++i) bmp.colours[i] = {b[54 + 4 * i + 2], b[54 + 4 * i + 1], b[54 + 4 * i]};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bmp.pixels.push_back(b[1078 + row * size_t(h - 1 - y) + size_t(x)]);
    return bmp;
}


TEST(AssetPictures, ColourTablesAreDistinctWithWhiteAt255) {
    // Drawing code matches colours back to entries, so a repeated colour would redirect one.
    for (const char* name : {"title.bmp", "char.bmp"}) {
        const Bitmap bmp = loadBitmap(name);
        EXPECT_EQ(std::set<Rgb>(bmp.colours.begin(), bmp.colours.end()).size(), 256u) << name;
        EXPECT_EQ(bmp.colours[255], (Rgb{255, 255, 255})) << name;
    }
}

TEST(AssetPictures, FortressSpriteIsSolidWithTransparentSurround) {
    const Bitmap bmp = loadBitmap("char.bmp");
    ASSERT_EQ(bmp.width, 48);
    ASSERT_EQ(bmp.height, 32);
    int transparent = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 32; x < 48; ++x) {
            const uint8_t p = bmp.at(x, y);
            transparent += p == 1;
            // Every drawn pixel is solid ground to a shell and never reads as a crater.
            EXPECT_TRUE(p == 1 || (p < 128 && p != 4)) << x << "," << y;
        }
    EXPECT_GT(transparent, 16);
    EXPECT_LT(transparent, 156);
    EXPECT_NE(bmp.at(40, 8), 1) << "the centre decides whether the fortress stands";
    EXPECT_NE(bmp.at(32, 15), 1);
    EXPECT_NE(bmp.at(47, 15), 1);
}

TEST(AssetPictures, TitleLayoutAndFontStrip) {
    const Bitmap bmp = loadBitmap("title.bmp");
    ASSERT_EQ(bmp.width, 640);
    ASSERT_EQ(bmp.height, 480);
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
        EXPECT_GT(plain, 150) << "item " << item << " has no text in its plain look";
        EXPECT_GT(differ, 2000) << "item " << item << " looks the same highlighted";
    }
    // 37 distinct glyphs of 16 by 16, their outer columns background so neighbours never touch.
    std::set<Bytes> shapes;
    for (int g = 0; g < 37; ++g) {
        Bytes cell;
        for (int y = 464; y < 480; ++y)
            for (int x = 16 * g; x < 16 * g + 16; ++x) {
                cell.push_back(bmp.at(x, y));
                EXPECT_TRUE((x % 16 >= 2 && x % 16 <= 13) || bmp.at(x, y) == 1) << "glyph " << g;
            }
        EXPECT_GT(std::count_if(cell.begin(), cell.end(), [](uint8_t p) { return p != 1; }), 10) << g;
        shapes.insert(cell);
    }
    EXPECT_EQ(shapes.size(), 37u);
}

TEST(AssetSounds, EightBitMonoAt11025ThatDiesAway) {
    for (const char* name : {"shoot.wav", "bomb.wav"}) {
        SCOPED_TRACE(name);
        const Bytes b = built(name);
        ASSERT_GE(b.size(), 44u);
        // The layout the wave reader expects first: RIFF, WAVE, a 16-byte fmt chunk, data.
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4) + std::string(b.begin() + 8, b.begin() + 16), "RIFFWAVEfmt ");
        EXPECT_EQ(le32(b, 4) + 8, b.size());
        EXPECT_EQ(le32(b, 16), 16u);
        EXPECT_EQ(le16(b, 20), 1u);
        EXPECT_EQ(le16(b, 22), 1u);
        EXPECT_EQ(le32(b, 24), 11025u);
        EXPECT_EQ(le16(b, 34), 8u);
        ASSERT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        const Bytes s(b.begin() + 44, b.end());
        ASSERT_EQ(le32(b, 40), s.size());
        EXPECT_GT(s.size(), 2200u);
        EXPECT_LT(s.size(), 11025u) << "no longer than a second";
        // Loud, never clipped, silent at both ends, most of it in the first half.
        int peak = 0;
        long long early = 0, late = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            const int a = std::abs(int(s[i]) - 128);
            peak = std::max(peak, a);
            EXPECT_TRUE(s[i] != 0 && s[i] != 255) << i;
            (i < s.size() / 2 ? early : late) += a;
        }
        EXPECT_GT(peak, 60);
        EXPECT_LE(std::abs(int(s.front()) - 128), 3);
        EXPECT_LE(std::abs(int(s.back()) - 128), 3);
        EXPECT_GT(early, 2 * late);
    }
}

TEST(AssetIcon, IsASquareRgbaPng) {
    const Bytes b = built("varnis.png");
    ASSERT_GE(b.size(), 8u + 25 + 12);
    const uint8_t signature[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    ASSERT_TRUE(std::equal(signature, signature + 16, b.begin()));
    EXPECT_TRUE(be32(b, 16) == 64 || be32(b, 16) == 128);
    EXPECT_EQ(be32(b, 16), be32(b, 20));
    EXPECT_EQ(b[24], 8);  // bit depth
    EXPECT_EQ(b[25], 6);  // RGBA
    EXPECT_EQ(std::string(b.end() - 8, b.end() - 4), "IEND");
}

TEST(AssetGenerator, WritesTheSameBytesEveryRun) {
    const fs::path base = fs::temp_directory_path() / ("varnis-assets-" + std::to_string(::getpid()));
    const fs::path one = base / "one", two = base / "two";
    fs::create_directories(one);
    fs::create_directories(two);
    const std::string tool = std::string(VARNIS_BINARY_DIR) + "/make_assets";
    ASSERT_EQ(std::system((tool + " " + one.string()).c_str()), 0);
    ASSERT_EQ(std::system((tool + " " + two.string()).c_str()), 0);
    for (const char* name : {"title.bmp", "char.bmp", "shoot.wav", "bomb.wav", "varnis.png"}) {
        const Bytes a = readFile(one / name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == readFile(two / name)) << name << " differs between two runs";
        EXPECT_TRUE(a == built(name)) << name << " differs from the build's";
    }
    EXPECT_NE(std::system((tool + " " + (base / "missing").string() + " 2>/dev/null").c_str()), 0);
    fs::remove_all(base);
}

}  // namespace
