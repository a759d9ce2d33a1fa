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

    SoundBuffer* make(uint16_t bits, uint16_t channels, uint32_t rate, const std::vector<uint8_t>& bytes) {
        PcmWaveFormat f{1, channels, rate, rate * channels * bits / 8, uint16_t(channels * bits / 8), bits};
        SoundBufferDesc desc{20, DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME,
                             uint32_t(bytes.size()), 0, &f};
        SoundBuffer* b = nullptr;
        EXPECT_EQ(device->createSoundBuffer(desc, &b, nullptr), DS_OK);
        void *p1, *p2;
        uint32_t n1, n2;
        EXPECT_EQ(b->lock(0, uint32_t(bytes.size()), &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memcpy(p1, bytes.data(), n1);
        b->unlock(p1, n1, p2, n2);
        return b;
    }
    // A 16-bit mono buffer holding one value throughout.
    SoundBuffer* constant(int16_t value, size_t frames, uint32_t rate = kRate) {
        std::vector<uint8_t> bytes(frames * 2);
        for (size_t i = 0; i < frames; ++i) std::memcpy(&bytes[2 * i], &value, 2);
        return make(16, 1, rate, bytes);
    }
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
    // Frames mixed until a one-shot buffer stops by itself.
    size_t framesUntilStopped(SoundBuffer* b) {
        size_t n = 0;
        while (playing(b) && n < 10 * kRate) {
            mix(1);
            ++n;
        }
        return n;
    }
};

TEST_F(Mixer, PanAndVolumeLaws) {
    SoundBuffer* b = constant(10000, 1000);
    b->play(0, 0, DSBPLAY_LOOPING);
    auto out = mix(kSettle);
    EXPECT_EQ(out[2 * (kSettle - 1)], 10000);
    EXPECT_EQ(out[2 * (kSettle - 1) + 1], 10000);

    b->setPan(DSBPAN_RIGHT);
    out = mix(10);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 10000);

    b->setPan(DSBPAN_LEFT);
    out = mix(10);
    EXPECT_EQ(out[0], 10000);
    EXPECT_EQ(out[1], 0);

    // Half way to the right: the left channel down 30 dB, the right untouched.
    b->setPan(3000);
    out = mix(10);
    EXPECT_NEAR(out[0], 10000 * 0.0316228, 2);
    EXPECT_EQ(out[1], 10000);

    // Pan and volume add up.
    b->setPan(0);
    b->setVolume(-600);
    out = mix(10);
    EXPECT_NEAR(out[0], 5000, 50);
    EXPECT_NEAR(out[1], 5000, 50);
    b->setPan(600);
    out = mix(10);
    EXPECT_NEAR(out[0], 2512, 5);
    EXPECT_NEAR(out[1], 5012, 5);

    b->setVolume(DSBVOLUME_MIN);
    out = mix(10);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
}

TEST_F(Mixer, OutOfRangeSettingsAreRefusedAndKeepTheOldValue) {
    SoundBuffer* b = constant(1000, 100, 11025);
    EXPECT_EQ(b->frequency(), 11025);
    EXPECT_NE(b->setFrequency(99), DS_OK);
    EXPECT_NE(b->setFrequency(100001), DS_OK);
    EXPECT_EQ(b->frequency(), 11025);
    EXPECT_EQ(b->setFrequency(100000), DS_OK);
    EXPECT_EQ(b->frequency(), 100000);

    EXPECT_EQ(b->setPan(-2500), DS_OK);
    EXPECT_NE(b->setPan(10001), DS_OK);
    EXPECT_NE(b->setPan(-10001), DS_OK);
    EXPECT_EQ(b->pan(), -2500);
    EXPECT_NE(b->setVolume(1), DS_OK);
    EXPECT_NE(b->setVolume(-10001), DS_OK);
    EXPECT_EQ(b->volume(), 0);
}

TEST_F(Mixer, OnlyPlainPcmBecomesABuffer) {
    auto attempt = [&](uint16_t bits, uint16_t channels, uint32_t rate, uint32_t bytes) {
        PcmWaveFormat f{1, channels, rate, 0, 0, bits};
        SoundBufferDesc desc{20, 0xE0, bytes, 0, &f};
        SoundBuffer* b = reinterpret_cast<SoundBuffer*>(1);
        const int32_t r = device->createSoundBuffer(desc, &b, nullptr);
        if (r != DS_OK) {
            EXPECT_EQ(b, nullptr);
        }
        if (b) b->release();
        return r == DS_OK;
    };
    EXPECT_TRUE(attempt(8, 1, 100, 4));
    EXPECT_TRUE(attempt(16, 2, 100000, 400));
    EXPECT_FALSE(attempt(24, 1, 11025, 300));
    EXPECT_FALSE(attempt(32, 1, 11025, 400));
    EXPECT_FALSE(attempt(16, 3, 11025, 600));
    EXPECT_FALSE(attempt(16, 0, 11025, 600));
    EXPECT_FALSE(attempt(16, 1, 99, 600));
    EXPECT_FALSE(attempt(16, 1, 100001, 600));
    EXPECT_FALSE(attempt(16, 1, 11025, 0));
}

TEST_F(Mixer, EightBitSamplesAreUnsignedAroundTheMiddle) {
    SoundBuffer* b = make(8, 2, kRate, std::vector<uint8_t>(400, 0));
    for (size_t i = 0; i < 200; ++i) {
        void *p1, *p2;
        uint32_t n1, n2;
        b->lock(0, 400, &p1, &n1, &p2, &n2, 0);
        auto* d = static_cast<uint8_t*>(p1);
        d[2 * i] = 255;
        d[2 * i + 1] = 128;
        b->unlock(p1, n1, p2, n2);
    }
    b->play(0, 0, DSBPLAY_LOOPING);
    auto out = mix(kSettle);
    EXPECT_EQ(out[2 * (kSettle - 1)], 127 * 256);
    EXPECT_EQ(out[2 * (kSettle - 1) + 1], 0);
}

TEST_F(Mixer, TwiceTheRateLastsHalfAsLong) {
    SoundBuffer* b = constant(1000, 4800);
    b->play(0, 0, 0);
    const size_t normal = framesUntilStopped(b);
    EXPECT_NEAR(double(normal), 4800, 2);
    b->setFrequency(96000);
    b->play(0, 0, 0);
    EXPECT_NEAR(double(framesUntilStopped(b)), normal / 2.0, 2);
    b->setFrequency(12000);
    b->play(0, 0, 0);
    EXPECT_NEAR(double(framesUntilStopped(b)), normal * 4.0, 4);
}

TEST_F(Mixer, OneShotEndsAtZeroAndReplaysFromTheStart) {
    std::vector<uint8_t> ramp(2 * 3000);
    for (size_t i = 0; i < 3000; ++i) {
        const int16_t v = int16_t(i * 7);
        std::memcpy(&ramp[2 * i], &v, 2);
    }
    SoundBuffer* b = make(16, 1, 22050, ramp);
    b->play(0, 0, 0);
    const auto first = mix(500);
    framesUntilStopped(b);
    uint32_t pos = 1;
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 0u);
    EXPECT_FALSE(playing(b));
    // Nothing sounds once it has stopped, and the end ran down to silence without a step.
    EXPECT_EQ(mix(10), std::vector<int16_t>(20, 0));

    b->play(0, 0, 0);
    EXPECT_EQ(mix(500), first);
}

TEST_F(Mixer, PlayStopAndLoopingKeepTheirPlace) {
    SoundBuffer* b = constant(8000, 1000);
    b->play(0, 0, 0);
    mix(300);
    b->play(0, 0, 0);  // already playing: carries on
    mix(200);
    b->stop();
    uint32_t pos = 0;
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 500u * 2);
    // The stop fades out within a millisecond instead of cutting off.
    const auto tail = mix(60);
    EXPECT_GT(tail[0], 7000);
    EXPECT_LE(tail[0], 8000);
    for (size_t i = 1; i < 60; ++i) EXPECT_LE(tail[2 * i], tail[2 * (i - 1)]);
    EXPECT_EQ(tail[2 * 59], 0);
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 500u * 2);
    b->play(0, 0, 0);
    EXPECT_EQ(framesUntilStopped(b), 500u);

    // A looping buffer wraps round and never stops by itself.
    b->play(0, 0, DSBPLAY_LOOPING);
    mix(5000);
    EXPECT_TRUE(playing(b));
    auto out = mix(10);
    EXPECT_EQ(out[0], 8000);
    b->stop();
    b->setCurrentPosition(0);
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 0u);
}

TEST_F(Mixer, StartsWithoutAStep) {
    SoundBuffer* b = constant(20000, 1000);
    b->play(0, 0, 0);
    const auto out = mix(60);
    EXPECT_LT(out[0], 1000);
    for (size_t i = 1; i < 60; ++i) EXPECT_LE(out[2 * i] - out[2 * (i - 1)], 1000);
}

TEST_F(Mixer, TwelveCopiesSaturateInsteadOfWrapping) {
    for (int i = 0; i < 12; ++i) constant(i < 6 ? 20000 : 30000, 1000)->play(0, 0, DSBPLAY_LOOPING);
    auto out = mix(kSettle);
    EXPECT_EQ(out[2 * (kSettle - 1)], 32767);
    EXPECT_EQ(out[2 * (kSettle - 1) + 1], 32767);
    for (int i = 0; i < 12; ++i) constant(-32768, 1000)->play(0, 0, DSBPLAY_LOOPING);
    out = mix(kSettle);
    EXPECT_EQ(out[2 * (kSettle - 1)], -32768);
}

TEST_F(Mixer, ResamplesSmoothly) {
    // A 1 kHz sine stored at 11025 Hz comes out as a 1 kHz sine at 48 kHz.
    std::vector<uint8_t> bytes(2 * 11025);
    for (size_t i = 0; i < 11025; ++i) {
        const int16_t v = int16_t(std::lround(16000 * std::sin(2 * std::numbers::pi * 1000 * double(i) / 11025)));
        std::memcpy(&bytes[2 * i], &v, 2);
    }
    SoundBuffer* b = make(16, 1, 11025, bytes);
    b->play(0, 0, 0);
    const auto out = mix(4800);
    double worst = 0;
    for (size_t k = kSettle; k < 4800; ++k) {
        const double want = 16000 * std::sin(2 * std::numbers::pi * 1000 * double(k) / kRate);
        worst = std::max(worst, std::abs(out[2 * k] - want));
    }
    EXPECT_LT(worst, 16000 * 0.05);
}

}  // namespace
