#include "gfx/palette.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gfx/screen.h"
#include "platform/backend.h"

using namespace platform;

namespace {

// Keeps the device palette seen at each vertical blank, so tests see a fade step by step, and
// shows message boxes on stderr.
class RecordingBackend final : public Backend {
public:
    static inline std::vector<std::vector<PaletteEntry>>* seen = nullptr;
    bool createWindow(const char*) override { return true; }
    void getWindowRect(Rect& r) override { r = Rect{-3, -42, 643, 482}; }
    void poll(bool queueEmpty) override { now_ += queueEmpty; }
    uint32_t now() override { return now_; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {
        now_ += 16;
        if (seen && ddPalette) seen->emplace_back(ddPalette->entries(), ddPalette->entries() + 256);
    }
    void messageBox(const std::string& text, const char*) override { std::fprintf(stderr, "box: %s\n", text.c_str()); }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}

private:
    uint32_t now_ = 0;
};

// A file of `size` bytes: 54 bytes of header, then BGRx entries with blue = i, green = i ^ 0x55,
// red = 255 - i, cut at `size`.
std::string writePaletteFile(const char* name, size_t size) {
    std::vector<uint8_t> bytes(54, 0);
    for (int i = 0; i < 256; ++i)
        for (uint8_t v : {uint8_t(i), uint8_t(i ^ 0x55), uint8_t(255 - i), uint8_t(0x77)}) bytes.push_back(v);
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
    static std::vector<int> range(int from, int to, int step) {
        std::vector<int> out;
        for (int v = from; v <= to; v += step) out.push_back(v);
        out.push_back(to);
        return out;
    }
    std::vector<std::vector<PaletteEntry>> seen;
};

}  // namespace

TEST_F(PaletteTest, LoadReadsTheColourTableAndShortFilesReadAs255) {
    open(1);
    screen.loadPalette(writePaletteFile("pal_full.bmp", 1078).c_str());
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(ddPalette->entries()[i].peRed, 255 - i);
        ASSERT_EQ(basePalette[i].peGreen, i ^ 0x55);
        ASSERT_EQ(basePalette[i].peBlue, i);
        ASSERT_EQ(basePalette[i].peFlags, PC_RESERVED);
    }
    EXPECT_FALSE(SurfaceTable[0]->hasColorKey());
    for (int s = 1; s < 5; ++s) EXPECT_TRUE(SurfaceTable[s]->hasColorKey() && SurfaceTable[s]->colorKey() == 1) << s;
    // Cut in the middle of entry 10's green byte, and shorter than the header.
    screen.loadPalette(writePaletteFile("pal_short.bmp", 95).c_str());
    EXPECT_EQ(basePalette[9].peRed, 246);
    EXPECT_EQ(basePalette[10].peBlue, 10);
    EXPECT_EQ(basePalette[10].peGreen, 255);
    for (int i = 11; i < 256; ++i) ASSERT_EQ(basePalette[i].peBlue, 255);
    screen.loadPalette(writePaletteFile("pal_tiny.bmp", 10).c_str());
    EXPECT_EQ(basePalette[0].peGreen, 255);
}

TEST_F(PaletteTest, BrightnessClampsRestoresExactlyAndSparesEntryOne) {
    open(1);
    paletteFader.setBrightnessAll(-300);
    EXPECT_EQ(workPalette[0].peRed, 0);
    EXPECT_EQ(workPalette[0].peFlags, PC_RESERVED);
    paletteFader.setBrightnessAll(300);
    EXPECT_EQ(workPalette[255].peBlue, 255);
    EXPECT_EQ(workPalette[1].peRed, 128);
    paletteFader.setBrightness(1, -50);
    EXPECT_EQ(workPalette[1].peRed, 128);
    paletteFader.setBrightnessRange(10, 12, -5);
    EXPECT_EQ(workPalette[10].peRed, 250);
    EXPECT_EQ(workPalette[13].peRed, 255);  // outside the range
    basePalette[40].peFlags = 0x42;
    paletteFader.setBrightnessAll(0);
    EXPECT_EQ(workPalette[40].peFlags, 0x42);
    paletteFader.setBrightnessRange(-5, 300, 10);  // indices outside the table are passed over
    paletteFader.setPaletteEntry(1, 0x101, 2, 3);
    EXPECT_EQ(ddPalette->entries()[1].peRed, 1) << "components are taken as bytes";
}

TEST_F(PaletteTest, FadeSequences) {
    open(1);
    paletteFader.fadeUp(-255, 0, 10, 5);
    EXPECT_EQ(steps(), range(-255, 0, 10));
    EXPECT_EQ(ddPalette->entries()[1].peRed, 128);
    seen.clear();
    paletteFader.fadeDown(0, -100, 30, 5);  // overshoots -100 and closes exactly on it
    EXPECT_EQ(steps(), (std::vector<int>{0, -30, -60, -90, -100}));
    seen.clear();
    paletteFader.fadeUp(10, 0, 1, 5);  // nothing to step: only the closing call
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(workPalette[20].peRed, 255);
    // A range fade still closes over the whole palette; a step of 0 still ends.
    paletteFader.fadeDownRange(0, -255, 16, 31, 50, 5);
    EXPECT_EQ(workPalette[200].peRed, 0);
    EXPECT_EQ(workPalette[1].peRed, 128);
    paletteFader.fadeUpRange(-255, 0, 16, 31, 0, 0);
    EXPECT_EQ(workPalette[200].peRed, 255);
}

TEST_F(PaletteTest, WindowedFadeStepsFourTimesAsFarOverEntries10To245) {
    open(0);
    paletteFader.fadeUp(-255, 0, 10, 5);
    EXPECT_EQ(steps(), range(-255, 0, 40));
    const PaletteEntry low = ddPalette->entries()[9], high = ddPalette->entries()[250];
    paletteFader.setBrightnessAll(-255);
    EXPECT_EQ(ddPalette->entries()[10].peRed, 0);
    EXPECT_EQ(ddPalette->entries()[245].peRed, 0);
    EXPECT_EQ(ddPalette->entries()[9].peRed, low.peRed);
    EXPECT_EQ(ddPalette->entries()[250].peRed, high.peRed);
}

TEST(PaletteFile, MissingFileEndsWithItsNameCutToTheBuffer) {
    for (const auto& [name, shown] : {std::pair<std::string, std::string>{"no-such-palette.bmp", "box: no-such-palette.bmp "},
                                      {std::string(600, 'x'), "box: x{255}\n"}})
        EXPECT_EXIT(
            {
                installBackend(std::make_unique<RecordingBackend>());
                screen.openScreen(1, 640, 480, 1, 8, 5);
                screen.loadPalette(name.c_str());
            },
            ::testing::ExitedWithCode(1), shown);
}
