// Costs of the drawing primitives on the open screen (headless back end): a 640-pixel line, a
// radius-12 filled circle, a full-screen opaque copy, and loading a 640 by 480 8-bit bitmap.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "backends/headless/headless.h"
#include "gfx/palette.h"
#include "gfx/screen.h"

namespace {

struct OpenScreen {
    OpenScreen() {
        platform::installBackend(platform::makeHeadlessBackend({}));
        screen.openScreen(1, 640, 480, 1, 8, 5);
        for (int i = 0; i < 256; ++i)
            basePalette[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 1};
        paletteFader.resetPalette();
    }
    ~OpenScreen() { screen.closeScreen(); }
};

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

std::string writeScreenBitmap() {
    std::vector<uint8_t> b = {'B', 'M'};
    put32(b, 1078 + 640 * 480);
    put32(b, 0);
    put32(b, 1078);
    put32(b, 40);
    put32(b, 640);
    put32(b, 480);
    b.push_back(1);
    b.push_back(0);
    b.push_back(8);
    b.push_back(0);
    for (int i = 0; i < 6; ++i) put32(b, 0);
    for (int i = 0; i < 256; ++i) put32(b, uint32_t(i * 0x010101));
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) b.push_back(uint8_t(x ^ y));
    const std::string path = std::string(VARNIS_BINARY_DIR) + "/bench_screen.bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return path;
}

void BM_Line640(benchmark::State& state) {
    OpenScreen open;
    int y = 0;
    for (auto _ : state) {
        screen.drawLine(0, 0, y, 640, 479 - y, paletteColour(173));
        y = (y + 1) % 480;
    }
}
BENCHMARK(BM_Line640);

void BM_Circle12(benchmark::State& state) {
    OpenScreen open;
    int x = 20;
    for (auto _ : state) {
        screen.drawCircle(0, x, 240, 12, 240);
        x = x >= 620 ? 20 : x + 1;
    }
}
BENCHMARK(BM_Circle12);

void BM_FullScreenCopy(benchmark::State& state) {
    OpenScreen open;
    for (auto _ : state) benchmark::DoNotOptimize(screen.blit(0, 0, 0, 0, 640, 480, 0, 2, 16));
}
BENCHMARK(BM_FullScreenCopy);

void BM_LoadBitmap640x480(benchmark::State& state) {
    OpenScreen open;
    const std::string path = writeScreenBitmap();
    for (auto _ : state) screen.loadBitmap(path.c_str(), 640, 480, 0, 0, 0, 0, 2);
}
BENCHMARK(BM_LoadBitmap640x480)->Unit(benchmark::kMicrosecond);

}  // namespace
