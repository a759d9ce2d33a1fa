// Whole runs of the real program on the headless runner, scripted keys in and trace out: menu and
// match scenarios, and the game against hostile data files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "app/texts.h"
#include "platform/host.h"
#include "support.h"

namespace {

// Runs the game in a folder of the tests' own pictures and sounds, so the runs do not depend on
// the artwork.
support::Run play(const std::string& script, uint32_t seed) {
    static const auto dir = support::makeAssetFolder();
    return support::play(dir, script, seed);
}

std::string taps(uint32_t from, uint32_t to, uint32_t period, int vk) {
    std::string s;
    for (uint32_t t = from; t < to; t += period) s += std::to_string(t) + " tap " + std::to_string(vk) + "\n";
    return s;
}

int panOf(const support::TraceLine& sound) {
    int slot = 0, pan = 0;
    std::sscanf(sound.rest.c_str(), "%d %d", &slot, &pan);
    return pan;
}

}  // namespace

TEST(Scenario, MenuWrapsWithItsSoundAndQuitsAfterTheBlink) {
    // Up wraps to "quit", Down back to the first item, Up and Down in one pass move and come
    // back; Enter on "quit" plays the selection sound and blinks before the end.
    const auto t = play("100 tap 38\n400 tap 40\n700 tap 38\n800 down 38\n800 down 40\n1000 tap 13\n", 1);
    EXPECT_EQ(t.status, 1);
    const auto sounds = t.of("sound");
    ASSERT_EQ(sounds.size(), 6u) << t.tail();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sounds[i].rest, "0 0 11025");
    EXPECT_EQ(sounds[5].rest, "1 0 11025");
    ASSERT_EQ(t.of("exit").size(), 1u);
    EXPECT_GE(t.of("exit")[0].ms, sounds[5].ms + 51 * 34);
}

TEST(Scenario, TwoPlayerMatchToAWinnerIsRepeatable) {
    // Enter on the title starts the next match, so the run ends with Escapes held down, each
    // seen once: the first abandons whatever match runs, a later one ends the program.
    const std::string script = "100 tap 40\n400 tap 13\n" + taps(3000, 150000, 1100, 13) +
                               taps(3500, 150000, 1300, 32) +
                               "150000 down 27\n160000 down 27\n170000 down 27\n";
    const auto a = play(script, 11);
    ASSERT_EQ(a.status, 1) << a.tail();
    ASSERT_TRUE(a.has("text", " Player Win!")) << a.tail();
    EXPECT_FALSE(a.has("text", "Computer Win!"));
    ASSERT_GE(a.of("sound").size(), 4u);
    EXPECT_EQ(panOf(a.of("sound")[2]), 7440) << "the right fortress shoots first";
    // The same seed and keys give the same run, to the millisecond.
    const auto b = play(script, 11);
    ASSERT_EQ(a.trace.size(), b.trace.size());
    for (size_t i = 0; i < a.trace.size(); ++i) {
        ASSERT_EQ(a.trace[i].ms, b.trace[i].ms) << i;
        ASSERT_EQ(a.trace[i].rest, b.trace[i].rest) << i;
    }
}

TEST(Scenario, EscapeInAimingAndInFlightReturnsToTheTitleWithTheCursorKept) {
    // Two players; Escape while the right fortress aims. The cursor stays on "two players":
    // Enter starts a second match, where Enter fires and Escape 30 ms later lands in the flight.
    // Then Down reaches "quit". Keys pressed while a battlefield is built are released before
    // the aiming reads them, so each comes after the build (about 2.1 s after the blink).
    const std::string script =
        "100 tap 40\n400 tap 13\n6000 tap 27\n7000 tap 13\n"
        "14000 down 13\n14030 down 27\n14100 up 13\n14100 up 27\n16000 tap 40\n16300 tap 13\n";
    const auto t = play(script, 5);
    ASSERT_EQ(t.status, 1) << t.tail();
    // Down, Enter; nothing fired; Enter; one shot without a burst; Down, Enter.
    std::vector<std::string> sounds;
    for (const auto& s : t.of("sound")) sounds.push_back(s.rest.substr(0, s.rest.rfind(' ')));
    EXPECT_EQ(sounds, (std::vector<std::string>{"0 0", "1 0", "1 0", "0 7440", "0 0", "1 0"})) << t.tail();
    ASSERT_EQ(t.of("exit").size(), 1u);
    EXPECT_GE(t.of("exit")[0].ms, 16300u + 51 * 34);
}

// The whole game against hostile data files: the real-world pictures and sounds of the test data,
// and empty, truncated, damaged and garbage files, each in place of one of the game's four files.
// The game must either play on or stop with its own message box and status 1; never crash, hang
// or draw a sanitizer report.

namespace {

namespace fs = std::filesystem;

// Enters a one-player match at full speed (Ctrl held), lets the computer shoot, fires once and
// quits from the field.
const char kScript[] = "100 down 17\n200 tap 13\n5500 tap 32\n7500 tap 19\n";

struct Case {
    std::string label, bytes;
    const char* as;      // the file it replaces
    bool valid = false;  // a well-formed file the game reads: it must play on without a word
};

std::vector<Case> allCases(const fs::path& assets) {
    std::vector<Case> cases;
    for (const char* sub : {"bmpsuite/good", "bmpsuite/bad", "wav"}) {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(fs::path(VARNIS_TESTDATA) / sub)) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        // Pictures stand in for a picture (taking turns at the two names), sounds for a sound, and
        // the first of each for the other kind.
        const bool sound = std::string(sub) == "wav";
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string name = files[i].filename().string();
            cases.push_back({name, support::readAll(files[i]), support::kAssetNames[(sound ? 2 : 0) + i % 2],
                             std::string(sub) == "bmpsuite/good" || name.starts_with("pcm-")});
            if (i == 0) cases.push_back({name, cases.back().bytes, sound ? "char.bmp" : "bomb.wav"});
        }
    }
    std::mt19937 rng(7);
    for (const char* as : support::kAssetNames) {
        const std::string whole = support::readAll(assets / as);
        cases.push_back({"empty", "", as});
        for (size_t cut : {size_t(13), size_t(53), size_t(300), whole.size() / 2})
            cases.push_back({"cut at " + std::to_string(cut), whole.substr(0, cut), as});
        std::string flipped = whole, noise(4096, '\0');
        for (int i = 0; i < 16; ++i) flipped[rng() % 80] ^= char(rng());
        for (char& c : noise) c = char(rng());
        cases.push_back({"header bytes flipped", flipped, as});
        cases.push_back({"noise behind a tag", (std::string(as).ends_with(".wav") ? "RIFF" : "BM") + noise, as});
    }
    return cases;
}

void playCase(const fs::path& dir, const Case& c) {
    SCOPED_TRACE(c.label + " as " + c.as);
    const std::string original = support::readAll(dir / c.as);
    support::writeAll(dir / c.as, c.bytes);
    const support::Run r = support::play(dir, kScript, 5, 60000);
    support::writeAll(dir / c.as, original);

    EXPECT_TRUE(r.endedCleanly()) << r.tail();
    // Playing on means the match was reached; a refused picture stops at the box, a refused sound
    // only warns.
    static const std::string building = platform::sjisToUtf8(kTextJustAMoment);
    const bool box = r.has("messagebox"), reachedMatch = r.has("text", building);
    EXPECT_TRUE(box || reachedMatch) << r.tail();
    EXPECT_TRUE(!c.valid || (reachedMatch && !box)) << r.tail();
}

}  // namespace

TEST(HostileFiles, TheGamePlaysOnOrStopsWithItsOwnMessage) {
    const fs::path dirs[2] = {support::makeAssetFolder(), support::makeAssetFolder()};
    const std::vector<Case> cases = allCases(dirs[0]);
    // Two runs at a time, each in a folder of its own.
    auto half = [&](size_t h) {
        for (size_t i = h; i < cases.size(); i += 2) playCase(dirs[h], cases[i]);
    };
    std::thread other(half, 1);
    half(0);
    other.join();
    for (const fs::path& d : dirs) fs::remove_all(d);
}
