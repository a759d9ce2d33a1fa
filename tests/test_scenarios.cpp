// Whole runs of the real program on the headless runner: scripted keys in, trace out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "test_game_support.h"

namespace {

struct Line { uint32_t ms = 0; std::string kind, rest; };

struct Trace {
    int status = -1;
    std::vector<Line> lines;

    std::vector<Line> of(const std::string& kind) const {
        std::vector<Line> out;
        for (const Line& l : lines)
            if (l.kind == kind) out.push_back(l);
        return out;
    }
    // Index of the first line of `kind` containing `text`, from `from`; -1 when none.
    int find(const std::string& kind, const std::string& text, size_t from = 0) const {
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i].kind == kind && lines[i].rest.find(text) != std::string::npos) return int(i);
        return -1;
    }
    std::string dump() const {
        std::string s;
        for (const Line& l : lines) s += std::to_string(l.ms) + " " + l.kind + " " + l.rest + "\n";
        return s.size() > 3000 ? s.substr(0, 1500) + "...\n" + s.substr(s.size() - 1500) : s;
    }
};

// Runs the game with the script and seed in a folder holding the tests' own pictures and
// sounds, so the runs do not depend on the artwork.
Trace play(const std::string& name, const std::string& script, uint32_t seed) {
    gametest::enterAssetFolder();
    const std::string dir = std::filesystem::current_path().string();
    std::ofstream(dir + "/" + name + ".txt") << script;
    const std::string cmd = "cd '" + dir + "' && '" + VARNIS_BINARY_DIR + "/varnis' --headless --script " +
                            name + ".txt --seed " + std::to_string(seed) + " > " + name + ".trace";
    Trace t;
    const int rc = std::system(cmd.c_str());
    t.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::ifstream in(dir + "/" + name + ".trace");
    for (std::string text; std::getline(in, text);) {
        std::istringstream ss(text);
        Line l;
        ss >> l.ms >> l.kind;
        std::getline(ss >> std::ws, l.rest);
        t.lines.push_back(l);
    }
    return t;
}

std::string taps(uint32_t from, uint32_t to, uint32_t period, int vk) {
    std::string s;
    for (uint32_t t = from; t < to; t += period) s += std::to_string(t) + " tap " + std::to_string(vk) + "\n";
    return s;
}

int panOf(const Line& sound) {
    int slot = 0, pan = 0;
    std::sscanf(sound.rest.c_str(), "%d %d", &slot, &pan);
    return pan;
}

// Index of the first winner announcement (and which), or -1.
int firstWinner(const Trace& t, std::string& which) {
    int best = -1;
    for (const char* w : {"Computer Win!", "1 Player Win!", "2 Player Win!"}) {
        const int i = t.find("text", w);
        if (i >= 0 && (best < 0 || i < best)) best = i, which = w;
    }
    return best;
}

}  // namespace

TEST(Scenario, MenuWrapsWithItsSoundAndQuitsAfterTheBlink) {
    // Up wraps to "quit", Down back to the first item, Up and Down in one pass move and come
    // back; Enter on "quit" plays the selection sound and blinks before the end.
    const Trace t = play("menu", "100 tap 38\n400 tap 40\n700 tap 38\n800 down 38\n800 down 40\n1000 tap 13\n", 1);
    EXPECT_EQ(t.status, 1);
    const auto sounds = t.of("sound");
    ASSERT_EQ(sounds.size(), 6u) << t.dump();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sounds[i].rest, "0 0 11025");
    EXPECT_EQ(sounds[5].rest, "1 0 11025");
    ASSERT_EQ(t.of("exit").size(), 1u);
    EXPECT_GE(t.of("exit")[0].ms, sounds[5].ms + 51 * 34);
}

TEST(Scenario, EscapeAndEnterInOnePassEndWithoutTheBlink) {
    const Trace t = play("escape_enter", "100 down 27\n100 down 13\n", 1);
    EXPECT_EQ(t.status, 1);
    EXPECT_TRUE(t.of("sound").empty()) << t.dump();
    ASSERT_EQ(t.of("exit").size(), 1u);
    EXPECT_LT(t.of("exit")[0].ms, 200u);
}

TEST(Scenario, OnePlayerMatchToAWinnerAndBackToTheTitle) {
    // The player taps Space now and then; the computer needs no key. A Space acknowledges the
    // announcement (it means nothing on the title); Down and Escape show the menu runs again.
    const std::string script = "200 tap 13\n" + taps(3000, 200000, 1300, 32) + "200000 tap 40\n200300 tap 27\n";
    const Trace t = play("one_player", script, 7);
    ASSERT_EQ(t.status, 1) << t.dump();
    std::string winner;
    const int win = firstWinner(t, winner);
    ASSERT_GE(win, 0) << t.dump();
    EXPECT_NE(winner, "2 Player Win!");
    int announcements = 0;
    for (const Line& l : t.of("text")) announcements += l.rest.find(" Win!") != std::string::npos;
    EXPECT_EQ(announcements, 1);
    // The computer opened from the right without a key; the shots alternate sides.
    const auto sounds = t.of("sound");
    ASSERT_GE(sounds.size(), 3u);
    int expectedPan = 7440;
    for (size_t i = 1; i < sounds.size() && sounds[i].ms < t.lines[size_t(win)].ms; ++i) {
        if (sounds[i].rest[0] != '0') continue;
        EXPECT_EQ(panOf(sounds[i]), expectedPan) << sounds[i].ms;
        expectedPan = expectedPan == 7440 ? -7920 : 7440;
    }
    const int cursor = t.find("sound", "0 0 11025", size_t(win));
    ASSERT_GE(cursor, 0) << t.dump();
    EXPECT_GE(t.lines[size_t(cursor)].ms, 200000u);
}

TEST(Scenario, TwoPlayerMatchToAWinnerIsRepeatable) {
    // Enter on the title starts the next match, so the run ends with Escapes held down, each
    // seen once: the first abandons whatever match runs, a later one ends the program.
    const std::string script = "100 tap 40\n400 tap 13\n" + taps(3000, 150000, 1100, 13) +
                               taps(3500, 150000, 1300, 32) +
                               "150000 down 27\n160000 down 27\n170000 down 27\n";
    const Trace a = play("two_player", script, 11);
    ASSERT_EQ(a.status, 1) << a.dump();
    std::string winner;
    ASSERT_GE(firstWinner(a, winner), 0) << a.dump();
    EXPECT_NE(winner, "Computer Win!");
    ASSERT_GE(a.of("sound").size(), 4u);
    EXPECT_EQ(panOf(a.of("sound")[2]), 7440) << "the right fortress shoots first";
    // The same seed and keys give the same run, to the millisecond.
    const Trace b = play("two_player_again", script, 11);
    ASSERT_EQ(a.lines.size(), b.lines.size());
    for (size_t i = 0; i < a.lines.size(); ++i) {
        ASSERT_EQ(a.lines[i].ms, b.lines[i].ms) << i;
        ASSERT_EQ(a.lines[i].rest, b.lines[i].rest) << i;
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
    const Trace t = play("escape", script, 5);
    ASSERT_EQ(t.status, 1) << t.dump();
    // Down, Enter; nothing fired; Enter; one shot without a burst; Down, Enter.
    std::vector<std::string> sounds;
    for (const Line& s : t.of("sound")) sounds.push_back(s.rest.substr(0, s.rest.rfind(' ')));
    EXPECT_EQ(sounds, (std::vector<std::string>{"0 0", "1 0", "1 0", "0 7440", "0 0", "1 0"})) << t.dump();
    ASSERT_EQ(t.of("exit").size(), 1u);
    EXPECT_GE(t.of("exit")[0].ms, 16300u + 51 * 34);
}
