// The mixer of the sound device, run offline on a silent device at 48 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/audio.h"

using namespace platform;

namespace {

constexpr uint32_t kRate = 48000;
constexpr size_t kSettle = 100;  // frames past the start-up fade

struct Mixer : ::testing::Test {
    SoundDevice* device = SoundDevice::createSilent(kRate);
    void TearDown() override { device->release(); }

    // A 16-bit mono buffer (or 8-bit, when bits is 8) filled by value(i).
    template <class F>
    SoundBuffer* make(uint32_t frames, F value, uint32_t rate = kRate, uint16_t bits = 16) {
        PcmWaveFormat f{1, 1, rate, rate * bits / 8, uint16_t(bits / 8), bits};
        SoundBuffer* b = nullptr;
        EXPECT_EQ(device->createSoundBuffer({20, 0xE0, frames * bits / 8, 0, &f}, &b, nullptr), DS_OK);
        void *p1, *p2;
        uint32_t n1, n2;
        b->lock(0, frames * bits / 8, &p1, &n1, &p2, &n2, 0);
        for (uint32_t i = 0; i < frames; ++i) {
            const int v = value(i);
            std::memcpy(static_cast<uint8_t*>(p1) + i * bits / 8, &v, bits / 8);
        }
        b->unlock(p1, n1, p2, n2);
        return b;
    }
    SoundBuffer* constant(int16_t v, uint32_t frames = 1000) { return make(frames, [v](uint32_t) { return v; }); }
    std::vector<int16_t> mix(size_t frames) {
        std::vector<int16_t> out(frames * 2);
        device->mix(out.data(), frames);
        return out;
    }
    static bool playing(SoundBuffer* b) {
        uint32_t status = 0;
        b->getStatus(&status);
        return status & DSBSTATUS_PLAYING;
    }
    size_t framesUntilStopped(SoundBuffer* b) {
        size_t n = 0;
        for (; playing(b) && n < 10 * kRate; ++n) mix(1);
        return n;
    }
};

TEST_F(Mixer, PanAndVolumeLaws) {
    SoundBuffer* b = constant(10000);
    b->play(0, 0, DSBPLAY_LOOPING);
    auto out = mix(kSettle);
    EXPECT_EQ(out[2 * kSettle - 2], 10000);
    EXPECT_EQ(out[2 * kSettle - 1], 10000);
    b->setPan(DSBPAN_RIGHT);
    out = mix(1);
    EXPECT_EQ(out, (std::vector<int16_t>{0, 10000}));
    b->setPan(DSBPAN_LEFT);
    out = mix(1);
    EXPECT_EQ(out, (std::vector<int16_t>{10000, 0}));
    // -6 dB is half amplitude; pan attenuates on top of the volume.
    b->setPan(0);
    b->setVolume(-600);
    out = mix(1);
    EXPECT_NEAR(out[0], 5000, 50);
    b->setPan(600);
    out = mix(1);
    EXPECT_NEAR(out[0], 2512, 5);
    EXPECT_NEAR(out[1], 5012, 5);
    // Refused settings keep the old value.
    EXPECT_NE(b->setPan(10001), DS_OK);
    EXPECT_NE(b->setVolume(1), DS_OK);
    EXPECT_NE(b->setFrequency(99), DS_OK);
    EXPECT_EQ(b->pan(), 600);
    EXPECT_EQ(b->volume(), -600);
}

TEST_F(Mixer, SumsSaturateAndEightBitSamplesAreUnsigned) {
    make(200, [](uint32_t) { return 255; }, kRate, 8)->play(0, 0, DSBPLAY_LOOPING);
    make(200, [](uint32_t) { return 128; }, kRate, 8)->play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(mix(kSettle)[2 * kSettle - 1], 127 * 256);
    for (int i = 0; i < 12; ++i) constant(i < 6 ? 20000 : 30000)->play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(mix(kSettle)[2 * kSettle - 1], 32767) << "twelve copies saturate instead of wrapping";
    for (int i = 0; i < 24; ++i) constant(-32768)->play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(mix(kSettle)[2 * kSettle - 1], -32768);
}

TEST_F(Mixer, OneShotEndsAtZeroAndReplaysFromTheStart) {
    SoundBuffer* b = make(3000, [](uint32_t i) { return int(i * 7); }, 22050);
    b->play(0, 0, 0);
    const auto first = mix(500);
    EXPECT_LT(first[0], 100);  // faded in, no step at the start
    framesUntilStopped(b);
    uint32_t pos = 1;
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(mix(10), std::vector<int16_t>(20, 0));
    b->play(0, 0, 0);
    EXPECT_EQ(mix(500), first);
}

TEST_F(Mixer, PlayStopAndLoopingKeepTheirPlace) {
    SoundBuffer* b = constant(8000);
    b->play(0, 0, 0);
    mix(300);
    b->play(0, 0, 0);  // already playing: carries on
    mix(200);
    b->stop();
    uint32_t pos = 0;
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 500u * 2);
    // The stop fades out within a millisecond instead of cutting off, and keeps the position.
    const auto tail = mix(60);
    EXPECT_GT(tail[0], 7000);
    for (size_t i = 1; i < 60; ++i) EXPECT_LE(tail[2 * i], tail[2 * i - 2]);
    EXPECT_EQ(tail[2 * 59], 0);
    b->play(0, 0, 0);
    EXPECT_EQ(framesUntilStopped(b), 500u);
    // Looping wraps round and never stops by itself.
    b->play(0, 0, DSBPLAY_LOOPING);
    mix(5000);
    EXPECT_TRUE(playing(b));
    EXPECT_EQ(mix(1)[0], 8000);
}

TEST_F(Mixer, ResamplesSmoothly) {
    // A 1 kHz sine stored at 11025 Hz comes out as a 1 kHz sine at 48 kHz.
    const double w = 2 * std::numbers::pi * 1000;
    make(11025, [w](uint32_t i) { return int(std::lround(16000 * std::sin(w * i / 11025))); }, 11025)
        ->play(0, 0, 0);
    const auto out = mix(4800);
    double worst = 0;
    for (size_t k = kSettle; k < 4800; ++k)
        worst = std::max(worst, std::abs(out[2 * k] - 16000 * std::sin(w * double(k) / kRate)));
    EXPECT_LT(worst, 16000 * 0.05);
}

}  // namespace
