// Sound: the sound bank and the wave reader on the silent device (and SDL's dummy output), and
// the mixer run offline at 48 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "app/shell.h"
#include "platform/audio.h"
#include "platform/backend.h"
#include "sound/soundbank.h"
#include "sound/wave.h"
#include "support.h"

using namespace platform;

namespace {

// Records message boxes and trace lines.
struct Recorder final : support::StubBackend {
    bool real = false;
    std::vector<std::string> boxes, lines;
    void messageBox(const std::string& text, const char* caption) override {
        EXPECT_EQ(caption, nullptr);
        boxes.push_back(text);
    }
    bool realAudio() const override { return real; }
    bool tracing() const override { return true; }
    void trace(const std::string& text) override { lines.push_back(text); }
};

struct WaveSpec {
    uint16_t channels = 1, bits = 16;
    uint32_t rate = 11025, claimedData = 0;  // 0: the real size
    bool dataChunk = true;
    std::vector<uint8_t> data = std::vector<uint8_t>(200, 0);
};

std::string buildWave(const WaveSpec& s) {
    support::Bytes v;
    v += "RIFF????WAVEfmt ", v.u32(16), v.u16(1), v.u16(s.channels), v.u32(s.rate);
    v.u32(s.rate * s.channels * s.bits / 8), v.u16(s.channels * s.bits / 8), v.u16(s.bits);
    v += "junk", v.u32(3), v.u32(0x030201);  // an odd-sized chunk, padded
    if (s.dataChunk) v += "data", v.u32(s.claimedData ? s.claimedData : uint32_t(s.data.size())), v.append(s.data.begin(), s.data.end());
    support::Bytes size;
    size.u32(uint32_t(v.size() - 8));
    return v.replace(4, 4, size);
}

// Each test runs in a process of its own, in parallel: a file per process, not shared.
std::string writeFile(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "/varnis-sound-" + support::uniqueTag() + "-" + name;
    support::writeAll(path, bytes);
    return path;
}

struct Bank : ::testing::Test {
    Recorder* rec = new Recorder;
    SoundBank bank;
    std::string good = writeFile("good.wav", buildWave(WaveSpec{}));

    void SetUp() override { installBackend(std::unique_ptr<Backend>(rec)); }
    void TearDown() override {
        bank.destroy();
        std::remove(good.c_str());
    }
    SoundBuffer* copy(int slot, int i) { return bank.slots[slot].copies[i]; }
    static bool playing(SoundBuffer* b) {
        uint32_t status = 0;
        b->getStatus(&status);
        return status & DSBSTATUS_PLAYING;
    }
};

TEST_F(Bank, CopiesArePlayedInTurn) {
    bank.open(2);
    bank.loadSlot(good.c_str(), 0, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(playing(copy(0, i)));
        bank.play(0, i * 100, 11025 + i);
        EXPECT_TRUE(playing(copy(0, i)));
    }
    bank.play(0, -700, 8000);
    EXPECT_EQ(bank.slots[0].nextCopy, 1);
    EXPECT_EQ(copy(0, 0)->pan(), -700);
    ASSERT_EQ(rec->lines.size(), 7u);
    EXPECT_EQ(rec->lines[6], "sound 0 -700 8000");
    bank.playLooped(0);
    EXPECT_EQ(rec->lines.back(), "sound 0 loop");
    bank.stopAll();
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(playing(copy(0, i)));
}

TEST_F(Bank, EmptyCopiesEmptySlotsAndKeptSettings) {
    bank.open(2);
    bank.loadSlot(good.c_str(), 0, 3);
    copy(0, 1)->release();
    bank.slots[0].copies[1] = nullptr;
    for (int i = 0; i < 3; ++i) bank.play(0, 0, 0);
    bank.playLooped(0);
    EXPECT_EQ(bank.slots[0].nextCopy, 1) << "stuck on the empty copy";
    EXPECT_EQ(rec->lines.size(), 1u);
    for (int slot : {-1, 1, 2}) bank.play(slot, 0, 11025);  // out of range, never loaded
    EXPECT_EQ(rec->lines.size(), 1u);
    // Frequency 0 or below and a pan out of range leave what the copy had.
    bank.loadSlot(good.c_str(), 0, 1);
    bank.play(0, 300, 22050);
    bank.play(0, 20000, -5);
    EXPECT_EQ(copy(0, 0)->frequency(), 22050);
    EXPECT_EQ(copy(0, 0)->pan(), 300);
    bank.setSlotVolume(0, 73);
    EXPECT_EQ(copy(0, 0)->volume(), -2700);
    // A missing file leaves every copy empty, silently.
    bank.loadSlot("no-such-file.wav", 0, 6);
    EXPECT_EQ(copy(0, 5), nullptr);
    EXPECT_TRUE(rec->boxes.empty());
}

TEST_F(Bank, EachFaultShowsItsMessageOncePerCopy) {
    std::string hugeFormat = buildWave(WaveSpec{});
    hugeFormat[19] = 0x7F;
    WaveSpec noData, lying, wide, empty;
    noData.dataChunk = false;
    lying.claimedData = 0xFFFFFFF0u;
    wide.bits = 24;
    empty.data.clear();
    const std::pair<std::string, const char*> cases[] = {
        {std::string("RIFX\4\0\0\0WAVE", 12), "Could not Descend into Wave File"},
        {buildWave(WaveSpec{}).substr(0, 30), "Error reading Wave Format"},
        {hugeFormat, "Unable to Ascend"},
        {buildWave(noData), "Wave file has no data"},
        {buildWave(lying), "Could not read Wave Data"},
        {buildWave(wide), "Could not Create Sound Buffer."},
        {buildWave(empty), "Could not Create Sound Buffer."},
    };
    bank.open(1);
    int n = 0;
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        rec->boxes.clear();
        const std::string path = writeFile("bad" + std::to_string(n++) + ".wav", bytes);
        bank.loadSlot(path.c_str(), 0, 6);
        std::remove(path.c_str());
        EXPECT_EQ(rec->boxes, std::vector<std::string>(6, message));
        for (int i = 0; i < 6; ++i) EXPECT_EQ(copy(0, i), nullptr);
    }
}

// Files from another tool: PCM is read, anything else is refused by its format tag.
TEST_F(Bank, OutsideFilesArePlayedOnlyWhenPcm) {
    bank.open(1);
    for (const auto& [name, message] : {std::pair{"pcm-u8-mono-11025", ""}, {"pcm-s16-mono-44100", ""},
                                        {"pcm-s16-stereo-22050", ""}, {"float32-mono", "Not a valid Wave Format"},
                                        {"ima-adpcm", "Not a valid Wave Format"}}) {
        rec->boxes.clear();
        bank.loadSlot((std::string(VARNIS_TESTDATA) + "/wav/" + name + ".wav").c_str(), 0, 2);
        EXPECT_EQ(rec->boxes, std::vector<std::string>(*message ? 2 : 0, message)) << name;
        EXPECT_EQ(copy(0, 1) != nullptr, !*message) << name;
    }
}

TEST_F(Bank, TheGlobalBankIsReleasedAtExit) {
    // fatalExit ends in exit(1); the clean-up registered at start-up closes the output while
    // sounds are still playing on SDL's audio thread, and the process still ends cleanly.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            rec->real = true;
            soundBank.open(2);
            soundBank.loadSlot(good.c_str(), 0, 6);
            soundBank.playLooped(0);
            fatalExit(nullptr);
        },
        ::testing::ExitedWithCode(1), "");
}

}  // namespace

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
    mix(kSettle);
    EXPECT_EQ(mix(1), (std::vector<int16_t>{10000, 10000}));
    b->setPan(DSBPAN_RIGHT);
    EXPECT_EQ(mix(1), (std::vector<int16_t>{0, 10000}));
    // -6 dB is half amplitude; pan attenuates on top of the volume.
    b->setPan(0);
    b->setVolume(-600);
    auto out = mix(1);
    EXPECT_NEAR(out[0], 5000, 50);
    b->setPan(600);
    out = mix(1);
    EXPECT_NEAR(out[0], 2512, 5);
    EXPECT_NEAR(out[1], 5012, 5);
    // Refused settings keep the old value.
    EXPECT_NE(b->setPan(10001), DS_OK);
    EXPECT_NE(b->setVolume(1), DS_OK);
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

TEST_F(Mixer, PlayAndStopKeepTheirPlace) {
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
