// What showing the game costs: converting the 8-bit front surface through the palette and scaling
// it for the window (the display server's own work not counted), finding what changed, and, in a
// real window (DISPLAY set, e.g. under Xvfb), how the waits pace and what they cost.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <vector>

#include "app/window.h"
#include "backends/sdl/sdl_backend.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/present.h"
#include "shell/frameclock.h"
#include "shell/shell.h"

using namespace platform;

namespace {

struct Frame {
    std::vector<uint8_t> picture = std::vector<uint8_t>(640 * 480);
    uint32_t lut[256];
    Frame() {
        for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 7 + i / 640);
        for (uint32_t i = 0; i < 256; ++i) lut[i] = i * 0x010203u;
    }
};

// A whole frame converted into a window of the given size (scale 1 at 640x480, 2 at 1280x960).
void BM_ConvertWholeFrame(benchmark::State& state) {
    const int32_t ww = int32_t(state.range(0)), wh = int32_t(state.range(1));
    Frame f;
    std::vector<uint8_t> target(size_t(ww) * size_t(wh) * 4);
    const Placement place = placePicture(640, 480, ww, wh);
    for (auto _ : state) {
        convertScaled(f.picture.data(), 640, Box{0, 0, 640, 480}, f.lut, place, target.data(),
                      ww * 4, ww, wh);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_ConvertWholeFrame)
    ->Args({640, 480})
    ->Args({1280, 960})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

// Comparing a frame with the shadow of what was shown: a whole new frame, and an aiming box.
void BM_FindChanges(benchmark::State& state) {
    const int32_t side = int32_t(state.range(0));
    Frame f;
    std::vector<uint8_t> shown(640 * 480);
    uint8_t v = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++v;
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x) f.picture[size_t(y) * 640 + x] = v;
        state.ResumeTiming();
        const Box b = updateShadow(f.picture.data(), 640, shown.data(), 640, 640, 480);
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_FindChanges)->Arg(128)->Arg(480)->Unit(benchmark::kMicrosecond);

// The game's display on the SDL back end in a real window; false when there is none.
bool openRealWindow() {
    static int state = 0;  // 0 untried, 1 open, 2 unavailable
    if (state == 0) {
        installBackend(makeSdlBackend(true));
        registerWindowClass(mainWindowProc);
        state = createWindow("Varnis") ? 1 : 2;
        if (state == 1) {
            showWindow();
            state = screen.openScreen(mainWindow, 640, 480, 1, 8, 5) ? 1 : 2;
        }
    }
    return state == 1;
}

// The aiming sweep's pattern: startFrame, draw a 128 by 128 box, waitUntil(13). Reports the share
// of steps that lasted 14 or 15 ms and the process's processor share.
void BM_AimingStepInWindow(benchmark::State& state) {
    if (!openRealWindow()) {
        state.SkipWithError("no window system (set DISPLAY, e.g. Xvfb :99)");
        return;
    }
    uint64_t steps = 0, good = 0, longer = 0;
    timespec c0, c1, w0, w1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
    clock_gettime(CLOCK_MONOTONIC, &w0);
    startFrame();
    uint32_t last = frameStart;
    uint32_t colour = 0;
    for (auto _ : state) {
        startFrame();
        const uint32_t length = frameStart - last;
        last = frameStart;
        if (steps > 0) {
            good += (length == 14 || length == 15);
            longer += length > 15;
        }
        ++steps;
        const Rect box{100, 100, 228, 228};
        SurfaceTable[0]->fill(&box, ++colour);
        waitUntil(13);
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
    clock_gettime(CLOCK_MONOTONIC, &w1);
    const double cpu = double(c1.tv_sec - c0.tv_sec) + 1e-9 * double(c1.tv_nsec - c0.tv_nsec);
    const double wall = double(w1.tv_sec - w0.tv_sec) + 1e-9 * double(w1.tv_nsec - w0.tv_nsec);
    state.counters["steps_14_15ms_pct"] = steps > 1 ? 100.0 * double(good) / double(steps - 1) : 0;
    state.counters["steps_over_15ms"] = double(longer);
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_AimingStepInWindow)->Iterations(1000)->Unit(benchmark::kMillisecond);

// The start-up's closing endless wait: waitUntil(0) with an old frame stamp, nothing drawn.
void BM_ClosingWaitInWindow(benchmark::State& state) {
    if (!openRealWindow()) {
        state.SkipWithError("no window system (set DISPLAY, e.g. Xvfb :99)");
        return;
    }
    // Let the last drawing be shown first.
    for (int i = 0; i < 10; ++i) waitUntil(0);
    timespec c0, c1, w0, w1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
    clock_gettime(CLOCK_MONOTONIC, &w0);
    uint64_t passes = 0;
    for (auto _ : state) {
        const uint32_t start = timeGetTime();
        while (timeGetTime() - start < 1000) {
            waitUntil(0);
            ++passes;
        }
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
    clock_gettime(CLOCK_MONOTONIC, &w1);
    const double cpu = double(c1.tv_sec - c0.tv_sec) + 1e-9 * double(c1.tv_nsec - c0.tv_nsec);
    const double wall = double(w1.tv_sec - w0.tv_sec) + 1e-9 * double(w1.tv_nsec - w0.tv_nsec);
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    state.counters["passes_per_s"] = double(passes) / wall;
}
BENCHMARK(BM_ClosingWaitInWindow)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
