// The generated pictures, sounds and icon, read back from the build folder: the layout the game
// relies on, the colour tables, the wave headers, a valid PNG, and the same bytes on every run.
#include <gtest/gtest.h>

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

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }
uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

struct Bitmap {
    int width = 0, height = 0;
    std::array<std::array<uint8_t, 3>, 256> colours{};  // r, g, b
    std::vector<uint8_t> pixels;                        // top row first
    uint8_t at(int x, int y) const { return pixels[size_t(y * width + x)]; }
};

// Reads an uncompressed 8 bpp bitmap the way the game's loader expects it; fails the test on
// anything else.
Bitmap loadBitmap(const char* name) {
    Bitmap bmp;
    const std::vector<uint8_t> b = readFile(fs::path(VARNIS_BINARY_DIR) / name);
    EXPECT_GE(b.size(), 1078u) << name;
    if (b.size() < 1078) return bmp;
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), b.size());
    EXPECT_EQ(le32(b, 10), 1078u);  // colour table at byte 54, pixels right after it
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), 8u);
    EXPECT_EQ(le32(b, 30), 0u);
    const uint32_t used = le32(b, 46);
    EXPECT_TRUE(used == 0 || used == 256);
    bmp.width = int(le32(b, 18));
    bmp.height = int(le32(b, 22));
    const size_t row = (size_t(bmp.width) + 3) & ~size_t(3);
    EXPECT_GT(bmp.height, 0);  // bottom-up
    if (bmp.width <= 0 || bmp.height <= 0 || b.size() < 1078 + row * size_t(bmp.height)) {
        ADD_FAILURE() << name << ": pixel data missing";
        bmp.width = bmp.height = 0;
        return bmp;
    }
    for (size_t i = 0; i < 256; ++i) bmp.colours[i] = {b[54 + 4 * i + 2], b[54 + 4 * i + 1], b[54 + 4 * i]};
    bmp.pixels.resize(size_t(bmp.width) * size_t(bmp.height));
    for (int y = 0; y < bmp.height; ++y)
        for (int x = 0; x < bmp.width; ++x)
            bmp.pixels[size_t(y * bmp.width + x)] = b[1078 + row * size_t(bmp.height - 1 - y) + size_t(x)];
    return bmp;
}

int brightness(const std::array<uint8_t, 3>& c) { return c[0] * 3 + c[1] * 6 + c[2]; }

// Nearest colour as the drawing code matches it: an exact match wins, then the smallest squared
// distance, the lowest index on ties.
int nearest(const Bitmap& bmp, const std::array<uint8_t, 3>& c) {
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        int d = 0;
        for (int k = 0; k < 3; ++k) d += (bmp.colours[size_t(i)][size_t(k)] - c[size_t(k)]) * (bmp.colours[size_t(i)][size_t(k)] - c[size_t(k)]);
        if (d == 0) return i;
        if (d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

TEST(AssetPictures, ColourTablesGiveEveryEntryBack) {
    for (const char* name : {"title.bmp", "char.bmp"}) {
        const Bitmap bmp = loadBitmap(name);
        std::set<std::array<uint8_t, 3>> seen(bmp.colours.begin(), bmp.colours.end());
        EXPECT_EQ(seen.size(), 256u) << name << ": colours repeat";
        for (int i = 0; i < 256; ++i) EXPECT_EQ(nearest(bmp, bmp.colours[size_t(i)]), i) << name << " entry " << i;
        EXPECT_EQ(bmp.colours[255], (std::array<uint8_t, 3>{255, 255, 255})) << name;
    }
}

TEST(AssetPictures, BattlefieldColoursSuitTheirRoles) {
    const Bitmap bmp = loadBitmap("char.bmp");
    ASSERT_EQ(bmp.width, 48);
    ASSERT_EQ(bmp.height, 32);
    const int sky = brightness(bmp.colours[4]);
    // The night sky is dark; ground, stars, aim lines and the flash stand out against it.
    EXPECT_LT(sky, 400);
    for (int i = 96; i <= 103; ++i) EXPECT_GT(brightness(bmp.colours[size_t(i)]), sky) << i;
    for (int i = 176; i <= 191; ++i) EXPECT_GT(brightness(bmp.colours[size_t(i)]), sky + 300) << i;
    EXPECT_GT(brightness(bmp.colours[173]), 1500);
    EXPECT_GT(brightness(bmp.colours[240]), 1500);
    // The deepest ground is darker than the top band.
    EXPECT_LT(brightness(bmp.colours[96]), brightness(bmp.colours[103]));
}

TEST(AssetPictures, FortressSpriteIsSolidWithTransparentSurround) {
    const Bitmap bmp = loadBitmap("char.bmp");
    ASSERT_EQ(bmp.width, 48);
    const uint8_t centre = bmp.at(32 + 8, 8);
    EXPECT_LT(centre, 128);
    EXPECT_NE(centre, 4);
    EXPECT_NE(centre, 1);
    int transparent = 0, opaque = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 32; x < 48; ++x) {
            const uint8_t p = bmp.at(x, y);
            if (p == 1) {
                ++transparent;
                continue;
            }
            ++opaque;
            // Every drawn pixel is solid ground to a shell and never reads as a crater.
            EXPECT_LT(p, 128) << x << "," << y;
            EXPECT_NE(p, 4) << x << "," << y;
        }
    EXPECT_GT(transparent, 16);
    EXPECT_GT(opaque, 100);
    // The sprite stands on its bottom row: both corners of the base are drawn.
    EXPECT_NE(bmp.at(32, 15), 1);
    EXPECT_NE(bmp.at(47, 15), 1);
}

TEST(AssetPictures, TitleLayout) {
    const Bitmap bmp = loadBitmap("title.bmp");
    ASSERT_EQ(bmp.width, 640);
    ASSERT_EQ(bmp.height, 480);
    // The key colour keeps its brightness in every fade, so it appears only in the font strip.
    for (int y = 0; y < 464; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_NE(bmp.at(x, y), 1) << x << "," << y;
    // The title picture is not one flat colour.
    std::set<uint8_t> picture;
    for (int y = 0; y < 224; ++y)
        for (int x = 0; x < 640; ++x) picture.insert(bmp.at(x, y));
    EXPECT_GT(picture.size(), 40u);
    // Menu: the plain items are copied first as 304 by 128 pixels and later 320 by 42 at a time,
    // so what lies outside the narrower area must match the cleared screen.
    for (int y = 240; y < 366; ++y)
        for (int x = 624; x < 640; ++x) ASSERT_EQ(bmp.at(x, y), 0) << x << "," << y;
    for (int y = 366; y < 368; ++y)
        for (int x = 320; x < 624; ++x) ASSERT_EQ(bmp.at(x, y), 0) << x << "," << y;
    for (int item = 0; item < 3; ++item) {
        const int top = 240 + 42 * item;
        int plain = 0, differ = 0;
        for (int y = top; y < top + 42; ++y)
            for (int x = 0; x < 320; ++x) {
                plain += bmp.at(320 + x, y) != 0;
                differ += bmp.at(320 + x, y) != bmp.at(x, y);
            }
        EXPECT_GT(plain, 150) << "item " << item << " has no text in its plain look";
        EXPECT_GT(differ, 2000) << "item " << item << " looks the same highlighted";
    }
    // The key guide is there.
    int guide = 0;
    for (int y = 400; y < 464; ++y)
        for (int x = 0; x < 640; ++x) guide += bmp.at(x, y) != 0;
    EXPECT_GT(guide, 2000);
}

TEST(AssetPictures, FontStripHasThirtySevenSeparateGlyphs) {
    const Bitmap bmp = loadBitmap("title.bmp");
    ASSERT_EQ(bmp.width, 640);
    std::set<std::vector<uint8_t>> shapes;
    for (int g = 0; g < 37; ++g) {
        std::vector<uint8_t> cell;
        int strokes = 0;
        for (int y = 464; y < 480; ++y)
            for (int x = 16 * g; x < 16 * g + 16; ++x) {
                const uint8_t p = bmp.at(x, y);
                cell.push_back(p);
                strokes += p != 1;
                // The outer columns stay background so neighbouring glyphs never touch.
                if (x % 16 < 2 || x % 16 > 13) {
                    EXPECT_EQ(p, 1) << "glyph " << g << " at " << x << "," << y;
                }
            }
        EXPECT_GT(strokes, 10) << "glyph " << g;
        shapes.insert(cell);
    }
    EXPECT_EQ(shapes.size(), 37u) << "two glyphs are the same picture";
}

struct Wave {
    uint32_t rate = 0, bits = 0, channels = 0, format = 0, blockAlign = 0, bytesPerSecond = 0;
    std::string firstChunk;
    std::vector<uint8_t> samples;
};

Wave loadWave(const char* name) {
    Wave w;
    const std::vector<uint8_t> b = readFile(fs::path(VARNIS_BINARY_DIR) / name);
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 12) != "WAVE") {
        ADD_FAILURE() << name << ": not a RIFF/WAVE file";
        return w;
    }
    EXPECT_EQ(le32(b, 4) + 8, b.size()) << name;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string id(b.begin() + long(at), b.begin() + long(at) + 4);
        const uint32_t size = le32(b, at + 4);
        if (size > b.size() - at - 8) {
            ADD_FAILURE() << name << ": chunk " << id << " runs past the end";
            return w;
        }
        if (w.firstChunk.empty()) w.firstChunk = id;
        if (id == "fmt " && size >= 16) {
            w.format = le16(b, at + 8);
            w.channels = le16(b, at + 10);
            w.rate = le32(b, at + 12);
            w.bytesPerSecond = le32(b, at + 16);
            w.blockAlign = le16(b, at + 20);
            w.bits = le16(b, at + 22);
        } else if (id == "data") {
            w.samples.assign(b.begin() + long(at) + 8, b.begin() + long(at) + 8 + size);
        }
        at += 8 + size + (size & 1);
    }
    return w;
}

TEST(AssetSounds, HeadersAndShape) {
    struct Expect {
        const char* name;
        size_t minSamples, maxSamples;
    };
    for (const Expect& e : {Expect{"shoot.wav", 2200, 3300}, Expect{"bomb.wav", 5500, 11024}}) {
        const Wave w = loadWave(e.name);
        EXPECT_EQ(w.firstChunk, "fmt ") << e.name;
        EXPECT_EQ(w.format, 1u) << e.name;
        EXPECT_EQ(w.channels, 1u) << e.name;
        EXPECT_EQ(w.rate, 11025u) << e.name;
        EXPECT_EQ(w.bytesPerSecond, 11025u) << e.name;
        EXPECT_EQ(w.blockAlign, 1u) << e.name;
        EXPECT_EQ(w.bits, 8u) << e.name;
        ASSERT_GE(w.samples.size(), e.minSamples) << e.name;
        EXPECT_LE(w.samples.size(), e.maxSamples) << e.name;
        // Loud enough to hear, not clipped, and silent at both ends so playback does not click.
        int peak = 0, clipped = 0;
        for (uint8_t s : w.samples) {
            peak = std::max(peak, std::abs(int(s) - 128));
            clipped += s == 0 || s == 255;
        }
        EXPECT_GT(peak, 60) << e.name;
        EXPECT_EQ(clipped, 0) << e.name;
        EXPECT_LE(std::abs(int(w.samples.front()) - 128), 3) << e.name;
        EXPECT_LE(std::abs(int(w.samples.back()) - 128), 3) << e.name;
        // Most of the sound is in its first half: a shot and a burst die away.
        long long early = 0, late = 0;
        const size_t half = w.samples.size() / 2;
        for (size_t i = 0; i < w.samples.size(); ++i) (i < half ? early : late) += std::abs(int(w.samples[i]) - 128);
        EXPECT_GT(early, 2 * late) << e.name;
    }
}

uint32_t crcBitwise(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

TEST(AssetIcon, IsAValidRgbaPng) {
    const std::vector<uint8_t> b = readFile(fs::path(VARNIS_BINARY_DIR) / "varnis.png");
    ASSERT_GE(b.size(), 8u + 25 + 12);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_TRUE(std::equal(signature, signature + 8, b.begin()));
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> z;
    bool ended = false;
    for (size_t at = 8; at + 12 <= b.size() && !ended;) {
        const uint32_t n = be32(b, at);
        ASSERT_LE(n, b.size() - at - 12);
        const std::string type(b.begin() + long(at) + 4, b.begin() + long(at) + 8);
        EXPECT_EQ(crcBitwise(&b[at + 4], n + 4), be32(b, at + 8 + n)) << type;
        if (type == "IHDR") {
            width = be32(b, at + 8), height = be32(b, at + 12);
            EXPECT_EQ(b[at + 16], 8);  // bit depth
            EXPECT_EQ(b[at + 17], 6);  // RGBA
        } else if (type == "IDAT") {
            z.insert(z.end(), b.begin() + long(at) + 8, b.begin() + long(at) + 8 + n);
        }
        ended = type == "IEND";
        at += 12 + n;
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(width == 64 || width == 128);
    EXPECT_EQ(width, height);
    // zlib stream of stored blocks.
    ASSERT_GE(z.size(), 2u + 4);
    EXPECT_EQ((z[0] << 8 | z[1]) % 31, 0);
    std::vector<uint8_t> raw;
    size_t at = 2;
    bool last = false;
    while (!last) {
        ASSERT_LE(at + 5, z.size());
        last = z[at] & 1;
        ASSERT_EQ(z[at] & 6, 0) << "only stored blocks are expected";
        const uint32_t len = le16(z, at + 1);
        ASSERT_EQ(len ^ 0xFFFF, le16(z, at + 3));
        ASSERT_LE(at + 5 + len, z.size());
        raw.insert(raw.end(), z.begin() + long(at) + 5, z.begin() + long(at) + 5 + len);
        at += 5 + len;
    }
    ASSERT_EQ(at + 4, z.size());
    uint32_t a = 1, s = 0;
    for (uint8_t v : raw) a = (a + v) % 65521, s = (s + a) % 65521;
    EXPECT_EQ(be32(z, at), s << 16 | a);
    ASSERT_EQ(raw.size(), size_t(height) * (1 + 4 * size_t(width)));
    auto alpha = [&](uint32_t x, uint32_t y) { return raw[y * (1 + 4 * width) + 1 + 4 * x + 3]; };
    EXPECT_EQ(alpha(0, 0), 0);  // rounded corners
    EXPECT_EQ(alpha(width - 1, height - 1), 0);
    EXPECT_EQ(alpha(width / 2, height / 2), 255);
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
        const std::vector<uint8_t> a = readFile(one / name), b = readFile(two / name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name << " differs between two runs";
        EXPECT_TRUE(a == readFile(fs::path(VARNIS_BINARY_DIR) / name)) << name << " differs from the build's";
    }
    EXPECT_NE(std::system((tool + " " + (base / "missing").string() + " 2>/dev/null").c_str()), 0);
    fs::remove_all(base);
}

}  // namespace
