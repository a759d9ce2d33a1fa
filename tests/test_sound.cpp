// The sound bank and the wave reader, on the silent device (and SDL's dummy output).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

std::vector<uint8_t> buildWave(const WaveSpec& s) {
    std::vector<uint8_t> v;
    auto put = [&v](uint32_t x, int bytes) {
        for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(x >> (8 * i)));
    };
    auto id = [&v](const char* s) {
        for (int i = 0; i < 4; ++i) v.push_back(uint8_t(s[i]));
    };
    id("RIFF"), put(0, 4), id("WAVE"), id("fmt "), put(16, 4);
    put(1, 2), put(s.channels, 2), put(s.rate, 4), put(s.rate * s.channels * s.bits / 8, 4);
    put(s.channels * s.bits / 8, 2), put(s.bits, 2);
    id("junk"), put(3, 4), put(0x030201, 4);  // an odd-sized chunk, padded
    if (s.dataChunk) {
        id("data"), put(s.claimedData ? s.claimedData : uint32_t(s.data.size()), 4);
        v.insert(v.end(), s.data.begin(), s.data.end());
    }
    const uint32_t riffSize = uint32_t(v.size() - 8);
    std::memcpy(&v[4], &riffSize, 4);
    return v;
}

// Each test runs in a process of its own, in parallel: a file per process, not shared.
std::string writeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = ::testing::TempDir() + "/varnis-sound-" + support::uniqueTag() + "-" + name;
    support::writeAll(path, std::string(bytes.begin(), bytes.end()));
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
    auto cut = [](std::vector<uint8_t> v, size_t n) { return v.resize(n), v; };
    std::vector<uint8_t> hugeFormat = buildWave(WaveSpec{});
    hugeFormat[19] = 0x7F;
    WaveSpec noData, lying, wide, empty;
    noData.dataChunk = false;
    lying.claimedData = 0xFFFFFFF0u;
    wide.bits = 24;
    empty.data.clear();
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, "Could not Descend into Wave File"},
        {cut(buildWave(WaveSpec{}), 30), "Error reading Wave Format"},
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
