// Text drawing costs: the winner's text, the largest the game draws (height 90, extra-bold,
// italic, shadow 3), must stay under 2 ms a call; the wind text is drawn every turn.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "backends/headless/headless.h"
#include "gfx/screen.h"
#include "shell/texts.h"

namespace {

struct OpenScreen {
    OpenScreen() {
        platform::installBackend(platform::makeHeadlessBackend({}));
        screen.openScreen(1, 640, 480, 1, 8, 5);
        PaletteEntry p[256];
        for (int i = 0; i < 256; ++i) p[i] = PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        ddPalette->setEntries(0, 0, 256, p);
    }
    ~OpenScreen() { screen.closeScreen(); }
};

void BM_WinnerText(benchmark::State& state) {
    OpenScreen open;
    for (auto _ : state) {
        screen.drawText(-1, -1, 320, 240, kTextComputerWin, 90, 0, 800, 3, 0xFFFFFF, 1, kFontFace,
                        128, 0, 0);
        benchmark::DoNotOptimize(screen.lastTextExtent);
    }
}
BENCHMARK(BM_WinnerText)->Unit(benchmark::kMicrosecond);

void BM_WindText(benchmark::State& state) {
    OpenScreen open;
    char text[64];
    std::snprintf(text, sizeof text, kTextWindLeft, 17);
    for (auto _ : state) {
        screen.drawText(-1, 8, 320, 0, text, 18, 0, 400, 0, 0xFFFFFF, 0, kFontFace, 128, 0, 0);
        benchmark::DoNotOptimize(screen.lastTextExtent);
    }
}
BENCHMARK(BM_WindText)->Unit(benchmark::kMicrosecond);

// A size never drawn before: face lookup is cached, but every glyph is rendered anew.
void BM_WinnerTextUncachedSize(benchmark::State& state) {
    OpenScreen open;
    int height = 91;
    for (auto _ : state) {
        screen.drawText(-1, -1, 320, 240, kTextComputerWin, height, 0, 800, 3, 0xFFFFFF, 1,
                        kFontFace, 128, 0, 0);
        height = height >= 400 ? 91 : height + 1;
    }
}
BENCHMARK(BM_WinnerTextUncachedSize)->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace
