// Mixing cost: twelve copies sounding at once (two slots of six, as the game loads them), one
// second of 48 kHz stereo output per iteration. The target is well under 5 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio.h"

using namespace platform;

namespace {

SoundBuffer* makeNoise(SoundDevice* device, uint16_t bits, uint32_t rate, uint32_t frames) {
    PcmWaveFormat f{1, 1, rate, rate * bits / 8, uint16_t(bits / 8), bits};
    SoundBufferDesc desc{20, 0xE0, frames * bits / 8, 0, &f};
    SoundBuffer* b = nullptr;
    device->createSoundBuffer(desc, &b, nullptr);
    void *p1, *p2;
    uint32_t n1, n2;
    b->lock(0, desc.dwBufferBytes, &p1, &n1, &p2, &n2, 0);
    auto* d = static_cast<uint8_t*>(p1);
    uint32_t state = 12345;
    for (uint32_t i = 0; i < n1; ++i) {
        state = state * 214013u + 2531011u;
        d[i] = uint8_t(state >> 16);
    }
    b->unlock(p1, n1, p2, n2);
    return b;
}

void BM_MixTwelveCopiesOneSecond(benchmark::State& state) {
    SoundDevice* device = SoundDevice::createSilent(48000);
    for (int i = 0; i < 12; ++i) {
        SoundBuffer* b = makeNoise(device, i < 6 ? 8 : 16, 11025, 11025);
        b->setFrequency(8000 + i * 1500);
        b->setPan(-3000 + i * 500);
        b->play(0, 0, DSBPLAY_LOOPING);
    }
    std::vector<int16_t> out(2 * 48000);
    for (auto _ : state) {
        device->mix(out.data(), 48000);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 48000);
    device->release();
}
BENCHMARK(BM_MixTwelveCopiesOneSecond)->Unit(benchmark::kMillisecond);

}  // namespace
