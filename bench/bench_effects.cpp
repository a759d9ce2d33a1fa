// Costs of the pixel effects on full-screen 8-bit surfaces of the headless display.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "backends/headless/headless.h"
#include "gfx/screen.h"

namespace {

// Opens the display for one benchmark and fills the source slot with a busy picture.
struct OpenScreen {
    OpenScreen() {
        platform::installBackend(platform::makeHeadlessBackend({}));
        screen.openScreen(1, 640, 480, 1, 8, 5);
        platform::Surface* s = SurfaceTable[2];
        for (int y = 0; y < s->height(); ++y)
            for (int x = 0; x < s->width(); ++x)
                s->data()[y * s->pitch() + x] = uint8_t((x * 7 + y * 13) % 254 + 2);
    }
    ~OpenScreen() { screen.closeScreen(); }
};

void BM_DissolveStageFullScreen(benchmark::State& state) {
    OpenScreen open;
    uint8_t stage = 0;
    for (auto _ : state) {
        screen.dissolveCopy(0, 0, 0, 0, 640, 480, 3, 2, stage, 17);
        stage = uint8_t((stage + 1) & 15);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DissolveStageFullScreen)->Unit(benchmark::kMicrosecond);

void BM_MosaicFullScreen(benchmark::State& state) {
    OpenScreen open;
    const int32_t n = int32_t(state.range(0));
    for (auto _ : state) {
        screen.mosaicCopy(0, 0, 0, 0, 640, 480, 3, 2, n);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MosaicFullScreen)->Arg(1)->Arg(2)->Arg(8)->Unit(benchmark::kMicrosecond);

void BM_RotateBlock128(benchmark::State& state) {
    OpenScreen open;
    int32_t angle = 0;
    for (auto _ : state) {
        screen.rotateBlock(256, 176, 100, 100, 128, 128, angle, 3, 2);
        angle = (angle + 7) % 360;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RotateBlock128)->Unit(benchmark::kMicrosecond);

}  // namespace
