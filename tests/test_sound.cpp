// The sound bank and the wave reader, on the headless back end's silent device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/backend.h"
#include "sound/soundbank.h"
#include "sound/wave.h"

using namespace platform;

namespace {

// Records message boxes and trace lines.
class Recorder final : public Backend {
public:
    bool real = false;
    std::vector<std::string> boxes, lines;
    bool createWindow(const char*) override { return true; }
    void getWindowRect(Rect& r) override { r = Rect{}; }
    void poll(bool) override {}
    uint32_t now() override { return 0; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {}
    void messageBox(const std::string& text, const char* caption) override {
        EXPECT_EQ(caption, nullptr);
        boxes.push_back(text);
    }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}
    bool realAudio() const override { return real; }
    bool tracing() const override { return true; }
    void trace(const std::string& text) override { lines.push_back(text); }
};

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
void putId(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(id[i]));
}

struct WaveSpec {
    uint16_t tag = 1, channels = 1, bits = 16;
    uint32_t rate = 11025;
    uint32_t fmtSize = 16;
    std::vector<uint8_t> data = std::vector<uint8_t>(200, 0);
    bool dataChunk = true;
    uint32_t claimedData = 0;  // 0: the real size
};

std::vector<uint8_t> buildWave(const WaveSpec& s) {
    std::vector<uint8_t> v;
    putId(v, "RIFF");
    put32(v, 0);
    putId(v, "WAVE");
    putId(v, "fmt ");
    put32(v, s.fmtSize);
    put16(v, s.tag);
    put16(v, s.channels);
    put32(v, s.rate);
    put32(v, s.rate * s.channels * s.bits / 8);
    put16(v, uint16_t(s.channels * s.bits / 8));
    put16(v, s.bits);
    if (s.fmtSize > 16) v.resize(v.size() + s.fmtSize - 16, 0);
    // An odd-sized chunk before the data, padded.
    putId(v, "junk");
    put32(v, 3);
    v.insert(v.end(), {1, 2, 3, 0});
    if (s.dataChunk) {
        putId(v, "data");
        put32(v, s.claimedData ? s.claimedData : uint32_t(s.data.size()));
        v.insert(v.end(), s.data.begin(), s.data.end());
    }
    const uint32_t riffSize = uint32_t(v.size() - 8);
    std::memcpy(&v[4], &riffSize, 4);
    return v;
}

std::string writeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = std::string(VARNIS_BINARY_DIR) + "/test_sound_" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

struct Bank : ::testing::Test {
    Recorder* rec = nullptr;
    SoundBank bank;
    std::string good;

    void SetUp() override {
        auto r = std::make_unique<Recorder>();
        rec = r.get();
        installBackend(std::move(r));
        good = writeFile("good.wav", buildWave(WaveSpec{}));
    }
    void TearDown() override { bank.destroy(); }

    SoundBuffer* copy(int slot, int i) { return bank.slots[slot].copies[i]; }
    static bool playing(SoundBuffer* b) {
        uint32_t status = 0;
        b->getStatus(&status);
        return status & DSBSTATUS_PLAYING;
    }
};

TEST_F(Bank, CopiesArePlayedInTurn) {
    bank.open(2);
    ASSERT_TRUE(bank.enabled);
    bank.loadSlot(good.c_str(), 0, 6);
    EXPECT_TRUE(rec->boxes.empty());
    for (int i = 0; i < 6; ++i) ASSERT_NE(copy(0, i), nullptr);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(playing(copy(0, i)));
        bank.play(0, i * 100, 11025 + i);
        EXPECT_TRUE(playing(copy(0, i)));
    }
    bank.play(0, -700, 8000);
    EXPECT_EQ(bank.slots[0].nextCopy, 1);
    EXPECT_EQ(copy(0, 0)->pan(), -700);
    EXPECT_EQ(copy(0, 0)->frequency(), 8000);
    EXPECT_EQ(copy(0, 5)->pan(), 500);
    ASSERT_EQ(rec->lines.size(), 7u);
    EXPECT_EQ(rec->lines[1], "sound 0 100 11026");
    EXPECT_EQ(rec->lines[6], "sound 0 -700 8000");

    bank.playLooped(0);
    EXPECT_EQ(rec->lines.back(), "sound 0 loop");
    uint32_t status = 0;
    copy(0, 1)->getStatus(&status);
    EXPECT_EQ(status, uint32_t(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));

    bank.stopAll();
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(playing(copy(0, i)));
}

TEST_F(Bank, EmptyCopiesAndKeptSettings) {
    bank.open(1);
    bank.loadSlot(good.c_str(), 0, 3);
    copy(0, 1)->release();
    bank.slots[0].copies[1] = nullptr;
    bank.play(0, 0, 0);
    bank.play(0, 0, 0);
    bank.play(0, 0, 0);
    EXPECT_EQ(bank.slots[0].nextCopy, 1);
    EXPECT_EQ(rec->lines.size(), 1u);
    bank.playLooped(0);
    EXPECT_EQ(rec->lines.size(), 1u);

    // Frequency 0 or below and a pan out of range leave what the copy had.
    bank.loadSlot(good.c_str(), 0, 1);
    bank.play(0, 300, 22050);
    bank.play(0, 20000, 0);
    EXPECT_EQ(copy(0, 0)->frequency(), 22050);
    EXPECT_EQ(copy(0, 0)->pan(), 300);
    bank.play(0, 0, -5);
    EXPECT_EQ(copy(0, 0)->frequency(), 22050);
    EXPECT_EQ(rec->lines.back(), "sound 0 0 -5");

    bank.setSlotVolume(0, 150);
    EXPECT_EQ(copy(0, 0)->volume(), 0);
    bank.setSlotVolume(0, -5);
    EXPECT_EQ(copy(0, 0)->volume(), -10000);
    bank.setSlotVolume(0, 73);
    EXPECT_EQ(copy(0, 0)->volume(), -2700);
}

TEST_F(Bank, SlotsOutOfRangeAndEmptySlotsDoNothing) {
    bank.open(2);
    bank.loadSlot(good.c_str(), 2, 6);
    bank.loadSlot(good.c_str(), -1, 6);
    bank.play(2, 0, 11025);
    bank.play(-1, 0, 11025);
    bank.play(1, 0, 11025);
    bank.playLooped(1);
    bank.stopSlot(5);
    bank.freeSlot(7);
    bank.setSlotVolume(2, 50);
    EXPECT_TRUE(rec->lines.empty());

    bank.loadSlot(good.c_str(), 1, 4);
    bank.loadSlot(good.c_str(), 1, 0);
    EXPECT_EQ(bank.slots[1].copies, nullptr);
    bank.loadSlot(good.c_str(), 1, 2);
    bank.freeSlot(1);
    EXPECT_EQ(bank.slots[1].copies, nullptr);
    bank.play(1, 0, 11025);
    EXPECT_TRUE(rec->lines.empty());

    // A missing file leaves every copy empty, silently.
    bank.loadSlot("no-such-file.wav", 0, 6);
    EXPECT_TRUE(rec->boxes.empty());
    EXPECT_EQ(copy(0, 5), nullptr);
}

TEST_F(Bank, EachFaultShowsItsMessageOncePerCopy) {
    auto grow = [](std::vector<uint8_t> v, const std::vector<uint8_t>& tail) {
        v.insert(v.end(), tail.begin(), tail.end());
        return v;
    };
    std::vector<uint8_t> riffOnly = buildWave(WaveSpec{});
    riffOnly.resize(12);
    std::vector<uint8_t> shortFormat = buildWave(WaveSpec{});
    shortFormat.resize(12 + 8 + 10);
    std::vector<uint8_t> hugeFormat = buildWave(WaveSpec{});
    hugeFormat[16] = 0xF0;
    hugeFormat[19] = 0x7F;
    WaveSpec noData;
    noData.dataChunk = false;
    WaveSpec lying;
    lying.claimedData = 0xFFFFFFF0u;
    WaveSpec notPcm;
    notPcm.tag = 3;
    WaveSpec odd;
    odd.bits = 24;
    odd.data.resize(201);
    WaveSpec empty;
    empty.data.clear();
    WaveSpec tooFast;
    tooFast.rate = 100001;

    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {grow({'R', 'I', 'F', 'X'}, {4, 0, 0, 0, 'W', 'A', 'V', 'E'}), "Could not Descend into Wave File"},
        {riffOnly, "Could not Descend into format of Wave File"},
        {shortFormat, "Error reading Wave Format"},
        {buildWave(notPcm), "Not a valid Wave Format"},
        {hugeFormat, "Unable to Ascend"},
        {buildWave(noData), "Wave file has no data"},
        {buildWave(lying), "Could not read Wave Data"},
        {buildWave(odd), "Could not Create Sound Buffer."},
        {buildWave(empty), "Could not Create Sound Buffer."},
        {buildWave(tooFast), "Could not Create Sound Buffer."},
    };
    bank.open(1);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        rec->boxes.clear();
        bank.loadSlot(writeFile("bad" + std::to_string(n++) + ".wav", c.bytes).c_str(), 0, 6);
        ASSERT_EQ(rec->boxes.size(), 6u);
        for (const std::string& box : rec->boxes) EXPECT_EQ(box, c.message);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(copy(0, i), nullptr);
    }
}

TEST_F(Bank, ReadsRealFiles) {
    bank.open(1);
    const std::string dir = std::string(VARNIS_TESTDATA) + "/wav/";
    struct {
        const char* name;
        uint16_t channels, bits;
        uint32_t rate;
    } good[] = {{"pcm-u8-mono-11025.wav", 1, 8, 11025},
                {"pcm-s16-mono-44100.wav", 1, 16, 44100},
                {"pcm-s16-stereo-22050.wav", 2, 16, 22050}};
    for (const auto& g : good) {
        SCOPED_TRACE(g.name);
        SoundBuffer* b = nullptr;
        ASSERT_TRUE(bank.loadWave(&b, (dir + g.name).c_str()));
        EXPECT_EQ(b->format().nChannels, g.channels);
        EXPECT_EQ(b->format().wBitsPerSample, g.bits);
        EXPECT_EQ(b->frequency(), int32_t(g.rate));
        EXPECT_GT(b->sizeBytes(), 0u);
        b->release();
    }
    for (const char* name : {"float32-mono.wav", "ima-adpcm.wav"}) {
        rec->boxes.clear();
        SoundBuffer* b = nullptr;
        EXPECT_FALSE(bank.loadWave(&b, (dir + name).c_str()));
        EXPECT_EQ(b, nullptr);
        ASSERT_EQ(rec->boxes.size(), 1u);
        EXPECT_EQ(rec->boxes[0], "Not a valid Wave Format");
    }
}

TEST_F(Bank, WithoutADeviceNothingIsOpened) {
    // SDL cannot open this driver: the bank stays disabled without a word.
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    rec->real = true;
    bank.open(2);
    EXPECT_FALSE(bank.enabled);
    EXPECT_EQ(bank.slots, nullptr);
    bank.loadSlot(writeFile("unread.wav", {'R', 'I', 'F', 'X'}).c_str(), 0, 6);
    bank.play(0, 0, 11025);
    EXPECT_TRUE(rec->boxes.empty());
    EXPECT_TRUE(rec->lines.empty());

    // With SDL's dummy driver the real output opens at a usual rate.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    bank.open(2);
    ASSERT_TRUE(bank.enabled);
    EXPECT_FALSE(bank.device->isSilent());
    EXPECT_TRUE(bank.device->outputRate() == 44100 || bank.device->outputRate() == 48000);
    bank.loadSlot(good.c_str(), 0, 2);
    bank.play(0, 0, 11025);
    EXPECT_EQ(rec->lines.size(), 1u);
}

TEST(Wave, SixteenByteAndEighteenByteFormatsAndPaddedChunks) {
    for (uint32_t fmtSize : {16u, 18u, 40u}) {
        WaveSpec s;
        s.fmtSize = fmtSize;
        s.data = {1, 2, 3, 4, 5, 6};
        const auto bytes = buildWave(s);
        WaveSample w;
        ASSERT_EQ(parseWave(bytes.data(), bytes.size(), w), WaveError::None);
        EXPECT_EQ(w.size, 6u);
        EXPECT_EQ(w.data[5], 6);
        EXPECT_EQ(w.format.samplesPerSec, 11025u);
    }
    // Every prefix of a good file is refused cleanly.
    const auto bytes = buildWave(WaveSpec{});
    for (size_t n = 0; n < bytes.size(); ++n) {
        WaveSample w;
        EXPECT_NE(parseWave(bytes.data(), n, w), WaveError::None) << n;
    }
}

}  // namespace
