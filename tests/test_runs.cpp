// Whole runs of the real program on the headless runner, scripted keys in and trace out: seeded
// scenarios against their golden traces, and the game against hostile data files.
#include <gtest/gtest.h>

#include <random>

#include "platform/host.h"
#include "shell/texts.h"
#include "support.h"

// Each tests/golden/NAME.script (its seed on the first line) played in a folder of the tests' own
// pictures and sounds: the trace, without the font-dependent x of texts, must match NAME.trace to
// the millisecond, and each snapshot NAME.SNAPSHOT.pix but for its top 30 rows (the wind text
// there is placed by the measured width of the installed font). The menu, the wind, aiming,
// flights, craters, victories, pacing and Ctrl all show in them.
class Scenario : public ::testing::TestWithParam<std::string> {};

TEST_P(Scenario, FollowsItsGoldenTraceAndPictures) {
    const std::string name = GetParam();
    const auto dir = support::makeAssetFolder();
    const std::string script = support::readAll(support::kGoldenDir / (name + ".script"));
    const support::Run r = support::play(dir, script, uint32_t(std::stoul(script.substr(7))));
    std::string trace = "status " + std::to_string(r.status) + "\n";
    for (const support::TraceLine& l : r.trace) {
        trace += std::to_string(l.ms) + " " + l.kind + " " +
                 (l.kind == "text" ? l.rest.substr(l.rest.find(' ') + 1) : l.rest) + "\n";
        if (l.kind == "snapshot") {
            EXPECT_TRUE(
                support::matchesGoldenPicture(support::readSnapshot(dir / (l.rest + ".bmp"), 30),
                                              name, name + "." + l.rest + ".pix"));
        }
    }
    EXPECT_TRUE(support::matchesGoldenText(trace, name, name + ".trace"));
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Golden, Scenario,
                         ::testing::Values("menu", "two-players", "escapes", "computer"),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// The whole game against hostile data files (the test data's real-world files; empty, cut, damaged
// and garbage ones) in place of each of its four: it plays on or stops with its own message box.

namespace {

namespace fs = std::filesystem;

// A one-player match at full speed (Ctrl held): the computer shoots, one shot back, Pause.
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
        for (const auto& e : fs::directory_iterator(fs::path(VARNIS_TESTDATA) / sub))
            files.push_back(e.path());
        std::sort(files.begin(), files.end());
        // Pictures stand in for a picture (taking turns at the two names), sounds for a sound, and
        // the first of each for the other kind.
        const bool sound = std::string(sub) == "wav";
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string name = files[i].filename().string();
            cases.push_back({name, support::readAll(files[i]),
                             support::kAssetNames[(sound ? 2 : 0) + i % 2],
                             std::string(sub) == "bmpsuite/good" || name.starts_with("pcm-")});
            if (i == 0)
                cases.push_back({name, cases.back().bytes, sound ? "char.bmp" : "bomb.wav"});
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
        cases.push_back({"noise behind a tag",
                         (std::string(as).ends_with(".wav") ? "RIFF" : "BM") + noise, as});
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
