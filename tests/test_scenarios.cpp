// Whole runs of the real program on the headless runner: scripted keys in, trace out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_game_support.h"

namespace {

struct Line {
    uint32_t ms = 0;
    std::string kind, rest;
};

struct Trace {
    int status = -1;
    std::vector<Line> lines;

    std::vector<Line> of(const std::string& kind) const {
        std::vector<Line> out;
        for (const Line& l : lines)
            if (l.kind == kind) out.push_back(l);
        return out;
    }
    // Index of the first line of `kind` whose rest contains `text`, from `from`; -1 when none.
    int find(const std::string& kind, const std::string& text, size_t from = 0) const {
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i].kind == kind && lines[i].rest.find(text) != std::string::npos) return int(i);
        return -1;
    }
    std::string dump() const {
        std::string s;
        for (const Line& l : lines) s += std::to_string(l.ms) + " " + l.kind + " " + l.rest + "\n";
        return s.size() > 4000 ? s.substr(0, 2000) + "\n...\n" + s.substr(s.size() - 2000) : s;
    }
};

// Runs the game with the script, in a folder holding pictures and sounds of the tests' own, so
// the runs do not depend on the artwork.
Trace play(const std::string& name, const std::string& script, uint32_t seed) {
    gametest::enterAssetFolder();
    const std::string dir = std::filesystem::current_path().string();
    const std::string binary = std::string(VARNIS_BINARY_DIR) + "/varnis";
    const std::string scriptPath = dir + "/scenario_" + name + ".txt";
    const std::string tracePath = dir + "/scenario_" + name + ".trace";
    std::ofstream(scriptPath) << script;
    const std::string cmd = "cd '" + dir + "' && '" + binary + "' --headless --script '" + scriptPath +
                            "' --seed " + std::to_string(seed) + " > '" + tracePath + "' 2>/dev/null";
    Trace run;
    const int rc = std::system(cmd.c_str());
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::ifstream in(tracePath);
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream ss(text);
        Line l;
        ss >> l.ms >> l.kind;
        std::getline(ss >> std::ws, l.rest);
        run.lines.push_back(l);
    }
    return run;
}

// "tap <vk>" every `period` ms from `from` to `to`.
std::string taps(uint32_t from, uint32_t to, uint32_t period, int vk) {
    std::string s;
    for (uint32_t t = from; t < to; t += period) s += std::to_string(t) + " tap " + std::to_string(vk) + "\n";
    return s;
}

int panOf(const Line& sound) {
    int slot = 0, pan = 0, frequency = 0;
    std::sscanf(sound.rest.c_str(), "%d %d %d", &slot, &pan, &frequency);
    return pan;
}

const char* kWinners[] = {"Computer Win!", "1 Player Win!", "2 Player Win!"};

// Index of the first winner announcement, or -1.
int firstWinner(const Trace& r, std::string* which = nullptr) {
    int best = -1;
    for (const char* w : kWinners) {
        const int i = r.find("text", w);
        if (i >= 0 && (best < 0 || i < best)) {
            best = i;
            if (which) *which = w;
        }
    }
    return best;
}

}  // namespace

TEST(Scenario, MenuSoundsAndTheQuitItem) {
    // Up wraps to "quit", Down wraps back to the first item, Up again; Enter quits after the blink.
    const Trace r = play("menu", "100 tap 38\n400 tap 40\n700 tap 38\n1000 tap 13\n", 1);
    EXPECT_EQ(r.status, 1) << r.dump();
    const auto sounds = r.of("sound");
    ASSERT_EQ(sounds.size(), 4u) << r.dump();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sounds[i].rest, "0 0 11025");
    EXPECT_EQ(sounds[3].rest, "1 0 11025");
    const auto exits = r.of("exit");
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_GE(exits[0].ms, sounds[3].ms + 51 * 34);
}

TEST(Scenario, OnePlayerMatchToAWinnerAndBackToTheTitle) {
    // The player taps Space now and then; the computer needs no key. After the announcement a
    // Space acknowledges it (Space means nothing on the title), and Down then Escape on the title
    // prove the menu runs again.
    const std::string script = "200 tap 13\n" + taps(3000, 200000, 1300, 32) + "200000 tap 40\n200300 tap 27\n";
    const Trace r = play("one_player", script, 7);
    ASSERT_EQ(r.status, 1) << r.dump();
    std::string winner;
    const int win = firstWinner(r, &winner);
    ASSERT_GE(win, 0) << r.dump();
    EXPECT_NE(winner, "2 Player Win!");
    int announcements = 0;
    for (const Line& l : r.of("text")) announcements += l.rest.find(" Win!") != std::string::npos;
    EXPECT_EQ(announcements, 1);
    // The computer opened the match from the right without a key, and the shots alternate.
    const auto sounds = r.of("sound");
    ASSERT_GE(sounds.size(), 3u);
    EXPECT_EQ(sounds[0].rest, "1 0 11025");
    int expectedPan = 7440, shots = 0;
    for (size_t i = 1; i < sounds.size() && sounds[i].ms < r.lines[size_t(win)].ms; ++i) {
        if (sounds[i].rest[0] != '0') continue;
        EXPECT_EQ(panOf(sounds[i]), expectedPan) << sounds[i].ms;
        expectedPan = expectedPan == 7440 ? -7920 : 7440;
        ++shots;
    }
    EXPECT_GE(shots, 1);
    // Back on the title: the cursor sound of the final Down, then the exit.
    const int cursor = r.find("sound", "0 0 11025", size_t(win));
    ASSERT_GE(cursor, 0) << r.dump();
    EXPECT_GE(r.lines[size_t(cursor)].ms, 200000u);
}

TEST(Scenario, TwoPlayerMatchToAWinnerIsRepeatable) {
    // Down to "two players", Enter; both players tap their keys now and then. Enter on the title
    // starts the next match, so the run ends with Escapes held down, each seen once: one that
    // abandons whatever match runs, and later ones that end the program on the title.
    const std::string script = "100 tap 40\n400 tap 13\n" + taps(3000, 150000, 1100, 13) +
                               taps(3500, 150000, 1300, 32) +
                               "150000 down 27\n160000 down 27\n170000 down 27\n";
    const Trace a = play("two_player", script, 11);
    ASSERT_EQ(a.status, 1) << a.dump();
    std::string winner;
    const int win = firstWinner(a, &winner);
    ASSERT_GE(win, 0) << a.dump();
    EXPECT_NE(winner, "Computer Win!");
    // The first shot comes from the right-hand fortress with Enter.
    const auto sounds = a.of("sound");
    ASSERT_GE(sounds.size(), 4u);
    EXPECT_EQ(panOf(sounds[2]), 7440);
    // The same seed and keys give the same run, to the millisecond.
    const Trace b = play("two_player_again", script, 11);
    ASSERT_EQ(a.lines.size(), b.lines.size());
    for (size_t i = 0; i < a.lines.size(); ++i) {
        ASSERT_EQ(a.lines[i].ms, b.lines[i].ms) << i;
        ASSERT_EQ(a.lines[i].rest, b.lines[i].rest) << i;
    }
}

TEST(Scenario, EscapeInAimingAndInFlightReturnsToTheTitleWithTheCursorKept) {
    // Two-player match; Escape while the right fortress aims. Back on the title the cursor is
    // still on "two players": Enter starts a second match, where Enter fires and an Escape 30 ms
    // later lands in the flight. Then Down reaches "quit" and Enter ends the program. Keys
    // pressed while a battlefield is built are released before the aiming reads them, so every
    // key here comes after the build (about 2.1 s after the blink).
    const std::string script =
        "100 tap 40\n400 tap 13\n"
        "6000 tap 27\n"
        "7000 tap 13\n"
        "14000 down 13\n14030 down 27\n14100 up 13\n14100 up 27\n"
        "16000 tap 40\n16300 tap 13\n";
    const Trace r = play("escape", script, 5);
    ASSERT_EQ(r.status, 1) << r.dump();
    const auto sounds = r.of("sound");
    // Menu: Down, Enter; first match: nothing fired; Enter; second match: one shot, no burst;
    // menu: Down, Enter.
    std::vector<std::string> kinds;
    for (const Line& s : sounds) kinds.push_back(s.rest.substr(0, 1));
    EXPECT_EQ(kinds, (std::vector<std::string>{"0", "1", "1", "0", "0", "1"})) << r.dump();
    ASSERT_EQ(sounds.size(), 6u);
    EXPECT_EQ(sounds[2].ms, 7001u);
    EXPECT_EQ(panOf(sounds[3]), 7440);
    EXPECT_EQ(sounds[4].rest, "0 0 11025");
    const auto exits = r.of("exit");
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_GE(exits[0].ms, 16300u + 51 * 34);
}
