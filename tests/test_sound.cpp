// Sound: the sound bank and the wave reader on the silent device (and SDL's dummy output), and
// the mixer run offline at 48 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

#include "platform/audio.h"
#include "platform/backend.h"
#include "shell/shell.h"
#include "sound/soundbank.h"
#include "sound/wave.h"
#include "support.h"

using namespace platform;

namespace {

// Records message boxes and trace lines.
struct Recorder final : support::StubBackend {
    bool real = false;
    std::vector<std::string> boxes, lines;
    void messageBox(const std::string& text, const char*) override { boxes.push_back(text); }
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
    if (s.dataChunk)
        v += "data", v.u32(s.claimedData ? s.claimedData : uint32_t(s.data.size())),
            v.append(s.data.begin(), s.data.end());
    support::Bytes size;
    size.u32(uint32_t(v.size() - 8));
    return v.replace(4, 4, size);
}

// Each test runs in a process of its own, in parallel: a file per process, not shared.
std::string writeFile(const std::string& name, const std::string& bytes) {
    const std::string path =
        ::testing::TempDir() + "/varnis-sound-" + support::uniqueTag() + "-" + name;
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
    for (const auto& [name, message] : {std::pair{"pcm-u8-mono-11025", ""},
                                        {"pcm-s16-mono-44100", ""},
                                        {"pcm-s16-stereo-22050", ""},
                                        {"float32-mono", "Not a valid Wave Format"},
                                        {"ima-adpcm", "Not a valid Wave Format"}}) {
        rec->boxes.clear();
        bank.loadSlot((std::string(VARNIS_TESTDATA) + "/wav/" + name + ".wav").c_str(), 0, 2);
        EXPECT_EQ(rec->boxes, std::vector<std::string>(*message ? 2 : 0, message)) << name;
        EXPECT_EQ(copy(0, 1) != nullptr, !*message) << name;
    }
}

// Bytes this process has read through system calls so far.
uint64_t bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

// A file of many chunks (16 MiB of empty ones before the data) loads for six copies, reading the
// file once for all of them: not once per copy, nor again for every chunk it skips.
TEST_F(Bank, AFileOfManyChunksIsReadOnceForAllCopies) {
    std::string bytes = buildWave(WaveSpec{});
    bytes.insert(bytes.find("data"), size_t(16) << 20, '\0');
    support::Bytes size;
    size.u32(uint32_t(bytes.size() - 8));
    const std::string path = writeFile("chunks.wav", bytes.replace(4, 4, size));
    bank.open(1);
    const uint64_t before = bytesRead();
    bank.loadSlot(path.c_str(), 0, 6);
    const uint64_t read = bytesRead() - before;
    std::remove(path.c_str());
    EXPECT_LT(read, bytes.size() * 5 / 4);
    EXPECT_TRUE(rec->boxes.empty());
    for (int i = 0; i < 6; ++i) EXPECT_NE(copy(0, i), nullptr);
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
            std::remove(good.c_str());  // this process's own copy: it ends before TearDown
            fatalExit(nullptr);
        },
        ::testing::ExitedWithCode(1), "");
}

constexpr uint32_t kRate = 48000;

// The mixer run offline at 48 kHz.
struct Mixer : ::testing::Test {
    SoundDevice* device = SoundDevice::createSilent(kRate);
    std::vector<int16_t> out;  // everything mixed so far, stereo
    void TearDown() override { device->release(); }

    // A 16-bit mono buffer (or 8-bit, when bits is 8) filled by value(i).
    template <class F>
    SoundBuffer* make(uint32_t frames, F value, uint32_t rate = kRate, uint16_t bits = 16) {
        PcmWaveFormat f{1, 1, rate, rate * bits / 8, uint16_t(bits / 8), bits};
        SoundBuffer* b = nullptr;
        EXPECT_EQ(device->createSoundBuffer({20, 0xE0, frames * bits / 8, 0, &f}, &b, nullptr),
                  DS_OK);
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
    SoundBuffer* constant(int16_t v) {
        return make(1000, [v](uint32_t) { return v; });
    }
    void mix(size_t frames) {
        out.resize(out.size() + 2 * frames);
        device->mix(out.data() + out.size() - 2 * frames, frames);
    }
};

// One pass through the mixer's features against its golden output, tests/golden/mix.raw (stereo
// 16-bit; VARNIS_UPDATE_GOLDEN=1 writes it again): volume and pan, refused settings, a stop that
// fades and keeps its place, sums that saturate, unsigned 8-bit samples, resampling of a 1 kHz
// sine stored at 11025 Hz, one-shot ends at silence and replays from the start.
TEST_F(Mixer, EveryFeatureAgainstItsGoldenOutput) {
    SoundBuffer* b = constant(10000);
    b->play(0, 0, DSBPLAY_LOOPING);
    mix(100);
    for (auto [pan, volume] : {std::pair{int32_t(DSBPAN_RIGHT), 0}, {0, -600}, {600, -600}}) {
        b->setPan(pan), b->setVolume(volume);
        mix(20);
    }
    EXPECT_TRUE(b->setPan(10001) != DS_OK && b->setVolume(1) != DS_OK && b->pan() == 600 &&
                b->volume() == -600);
    b->stop();
    mix(60);
    b->play(0, 0, 0);  // a one-shot now, from where it stopped
    mix(1200);
    uint32_t pos = 1;
    b->getCurrentPosition(&pos);
    EXPECT_EQ(pos, 0u) << "a one-shot that ran off its end starts again from 0";
    std::vector<SoundBuffer*> voices;
    for (int i = 0; i < 24; ++i)
        voices.push_back(constant(i < 12 ? (i < 6 ? 20000 : 30000) : -32768));
    for (int i = 0; i < 12; ++i) voices[size_t(i)]->play(0, 0, DSBPLAY_LOOPING);
    mix(100);
    for (int i = 0; i < 24; ++i)
        i < 12 ? voices[size_t(i)]->stop() : voices[size_t(i)]->play(0, 0, DSBPLAY_LOOPING);
    mix(160);
    for (SoundBuffer* v : voices) v->stop();
    mix(60);
    SoundBuffer* high = make(
        200, [](uint32_t) { return 255; }, kRate, 8);
    SoundBuffer* middle = make(
        200, [](uint32_t) { return 128; }, kRate, 8);
    high->play(0, 0, DSBPLAY_LOOPING), middle->play(0, 0, DSBPLAY_LOOPING);
    mix(100);
    high->stop(), middle->stop();
    const double w = 2 * std::numbers::pi * 1000;
    SoundBuffer* sine = make(
        1103, [w](uint32_t i) { return int(std::lround(16000 * std::sin(w * i / 11025))); }, 11025);
    sine->play(0, 0, 0);
    mix(5000);
    sine->play(0, 0, 0);
    mix(500);

    const std::string golden = std::string(VARNIS_SOURCE_DIR) + "/tests/golden/mix.raw";
    const std::string bytes(reinterpret_cast<const char*>(out.data()), out.size() * 2);
    if (std::getenv("VARNIS_UPDATE_GOLDEN")) support::writeAll(golden, bytes);
    const std::string expected = support::readAll(golden);
    const size_t first =
        size_t(std::mismatch(bytes.begin(), bytes.end(), expected.begin(), expected.end()).first -
               bytes.begin());
    EXPECT_TRUE(bytes == expected)
        << "the mix differs from frame " << first / 4 << " of " << bytes.size() / 4;
}

}  // namespace
