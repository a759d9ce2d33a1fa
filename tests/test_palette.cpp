#include "gfx/palette.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gfx/screen.h"
#include "platform/backend.h"

using namespace platform;

namespace {

// A back end that keeps the last device palette seen at each vertical blank and shows message
// boxes on stderr, so tests see what a fade put on screen, step by step.
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
    void messageBox(const std::string& text, const char*) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
    }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}

private:
    uint32_t now_ = 0;
};

std::string tempPath(const char* name) { return std::string(VARNIS_BINARY_DIR) + "/" + name; }

// A file holding `size` bytes: 54 bytes of header, then BGRx entries with blue = i, green = i ^ 0x55,
// red = 255 - i for entry i, cut at `size`.
std::string writePaletteFile(const char* name, size_t size) {
    std::vector<uint8_t> bytes(54, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(uint8_t(i));
        bytes.push_back(uint8_t(i ^ 0x55));
        bytes.push_back(uint8_t(255 - i));
        bytes.push_back(0x77);
    }
    bytes.resize(size, 0);
    const std::string path = tempPath(name);
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
        // Probes: entry 2 white and entry 3 black show any offset; entry 1 mid grey.
        for (int i = 0; i < 256; ++i) basePalette[i] = PaletteEntry{uint8_t(i), 100, uint8_t(255 - i), 1};
        basePalette[1] = {128, 128, 128, 1};
        basePalette[2] = {255, 255, 255, 1};
        basePalette[3] = {0, 0, 0, 1};
        basePalette[20] = {255, 255, 255, 1};
        paletteFader.resetPalette();
        seen.clear();
    }
    void TearDown() override {
        RecordingBackend::seen = nullptr;
        screen.closeScreen();
    }
    // The offset a device palette shows through the probe entries (white base for offsets up to
    // 0, black base above).
    static int offsetOf(const std::vector<PaletteEntry>& p, int white, int black) {
        return p[black].peRed > 0 ? p[black].peRed : p[white].peRed - 255;
    }
    std::vector<std::vector<PaletteEntry>> seen;
};

}  // namespace

TEST_F(PaletteTest, LoadReadsColourTableAndSetsKeys) {
    open(1);
    const std::string path = writePaletteFile("pal_full.bmp", 1078);
    screen.loadPalette(path.c_str());
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(basePalette[i].peRed, 255 - i);
        ASSERT_EQ(basePalette[i].peGreen, i ^ 0x55);
        ASSERT_EQ(basePalette[i].peBlue, i);
        ASSERT_EQ(basePalette[i].peFlags, PC_RESERVED);
        ASSERT_EQ(ddPalette->entries()[i].peRed, 255 - i);
    }
    EXPECT_FALSE(SurfaceTable[0]->hasColorKey());
    for (int s = 1; s < 5; ++s) {
        EXPECT_TRUE(SurfaceTable[s]->hasColorKey());
        EXPECT_EQ(SurfaceTable[s]->colorKey(), 1);
    }
}

TEST_F(PaletteTest, ShortFileReadsAs255PastItsEnd) {
    open(1);
    // Cut in the middle of entry 10's green byte: 54 + 40 + 1 bytes.
    const std::string path = writePaletteFile("pal_short.bmp", 95);
    screen.loadPalette(path.c_str());
    EXPECT_EQ(basePalette[9].peRed, 246);
    EXPECT_EQ(basePalette[10].peBlue, 10);
    EXPECT_EQ(basePalette[10].peGreen, 255);
    EXPECT_EQ(basePalette[10].peRed, 255);
    for (int i = 11; i < 256; ++i) {
        ASSERT_EQ(basePalette[i].peRed, 255);
        ASSERT_EQ(basePalette[i].peBlue, 255);
    }
    const std::string tiny = writePaletteFile("pal_tiny.bmp", 10);  // shorter than the header
    screen.loadPalette(tiny.c_str());
    EXPECT_EQ(basePalette[0].peGreen, 255);
}

TEST_F(PaletteTest, BrightnessClampsAndSparesEntryOne) {
    open(1);
    workPalette[1] = {9, 9, 9, 0};
    paletteFader.setBrightnessAll(-300);
    for (int i = 0; i < 256; ++i) {
        if (i == 1) continue;
        ASSERT_EQ(workPalette[i].peRed, 0);
        ASSERT_EQ(workPalette[i].peGreen, 0);
        ASSERT_EQ(workPalette[i].peFlags, PC_RESERVED);
    }
    EXPECT_EQ(workPalette[1].peRed, 9);
    paletteFader.setBrightnessAll(300);
    EXPECT_EQ(workPalette[3].peBlue, 255);
    EXPECT_EQ(workPalette[1].peRed, 9);
    paletteFader.setBrightnessRange(10, 12, -5);
    EXPECT_EQ(workPalette[10].peRed, 5);
    EXPECT_EQ(workPalette[13].peRed, 255);  // outside the range: untouched
    basePalette[40].peFlags = 0x42;
    paletteFader.setBrightnessAll(0);  // restores exactly, flags included
    EXPECT_EQ(workPalette[40].peFlags, 0x42);
    EXPECT_EQ(workPalette[1].peRed, 9);
    paletteFader.setBrightness(1, 0);
    EXPECT_EQ(workPalette[1].peRed, 9);
    paletteFader.setBrightnessRange(-5, 300, 10);  // indices outside the table are passed over
    EXPECT_EQ(ddPalette->entries()[255].peRed, 255);
    paletteFader.resetPalette();
    EXPECT_EQ(workPalette[1].peRed, 128);
    paletteFader.setPaletteEntry(1, 0x101, 2, 3);
    EXPECT_EQ(ddPalette->entries()[1].peRed, 1);
}

TEST_F(PaletteTest, FadeStepsFullScreenAndWindowed) {
    open(1);
    paletteFader.fadeUp(-255, 0, 10, 5);
    // Each step waits for the blank before it is sent: blank k shows step k - 1.
    std::vector<int> applied;
    for (size_t k = 1; k < seen.size(); ++k) applied.push_back(offsetOf(seen[k], 2, 3));
    applied.push_back(offsetOf({ddPalette->entries(), ddPalette->entries() + 256}, 2, 3));
    std::vector<int> expected;
    for (int v = -255; v <= 0; v += 10) expected.push_back(v);
    expected.push_back(0);
    EXPECT_EQ(applied, expected);
    EXPECT_EQ(ddPalette->entries()[1].peRed, 128);

    seen.clear();
    paletteFader.fadeDown(0, -100, 30, 5);  // overshoots -100; closes exactly on it
    EXPECT_EQ(offsetOf(seen.back(), 2, 3), -90);
    EXPECT_EQ(workPalette[2].peRed, 155);

    seen.clear();
    paletteFader.fadeUp(10, 0, 1, 5);  // nothing to step: only the closing call
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(workPalette[2].peRed, 255);
}

TEST_F(PaletteTest, WindowedFadeStepsFourTimesAsFar) {
    open(0);
    paletteFader.fadeUp(-255, 0, 10, 5);
    std::vector<int> applied;
    for (size_t k = 1; k < seen.size(); ++k) applied.push_back(seen[k][20].peRed - 255);
    applied.push_back(ddPalette->entries()[20].peRed - 255);
    std::vector<int> expected;
    for (int v = -255; v <= 0; v += 40) expected.push_back(v);
    expected.push_back(0);
    EXPECT_EQ(applied, expected);
    // Only entries 10..245 reach the device windowed; the others stay with the system.
    const PaletteEntry low = ddPalette->entries()[9], high = ddPalette->entries()[250];
    paletteFader.setBrightnessAll(255);
    EXPECT_EQ(ddPalette->entries()[10].peRed, 255);
    EXPECT_EQ(ddPalette->entries()[245].peRed, 255);
    EXPECT_EQ(ddPalette->entries()[9].peRed, low.peRed);
    EXPECT_EQ(ddPalette->entries()[250].peBlue, high.peBlue);
}

TEST_F(PaletteTest, RangeFadeClosesOverTheWholePalette) {
    open(1);
    paletteFader.fadeDownRange(0, -255, 16, 31, 50, 5);
    for (int i = 0; i < 256; ++i) {
        if (i == 1) continue;
        ASSERT_EQ(workPalette[i].peRed, 0) << i;
        ASSERT_EQ(workPalette[i].peGreen, 0) << i;
    }
    EXPECT_EQ(workPalette[1].peRed, 128);
    paletteFader.fadeUpRange(-255, 0, 16, 31, 0, 0);  // a step of 0 still ends
    EXPECT_EQ(workPalette[200].peRed, 200);
}

TEST(PaletteFile, MissingFileEndsWithMessage) {
    EXPECT_EXIT(
        {
            installBackend(std::make_unique<RecordingBackend>());
            screen.openScreen(1, 640, 480, 1, 8, 5);
            screen.loadPalette("no-such-palette.bmp");
        },
        ::testing::ExitedWithCode(1), "box: no-such-palette.bmp ");
    // A name longer than the message buffer is cut short, not written past it.
    const std::string longName(600, 'x');
    EXPECT_EXIT(
        {
            installBackend(std::make_unique<RecordingBackend>());
            screen.openScreen(1, 640, 480, 1, 8, 5);
            screen.loadPalette(longName.c_str());
        },
        ::testing::ExitedWithCode(1), "box: x{255}\n");
}
