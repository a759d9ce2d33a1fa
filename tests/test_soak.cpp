// Random matches on the headless runner: random seeds, random keys at random times, one and two
// players. Every run must end through the game's own paths with status 1 inside its time limit and
// without a sanitizer report, and every match must end with a winner, an Escape or the script.
//
// The suite plays a short soak. tools/soak.sh plays a longer one through the same test, setting
// VARNIS_SOAK_RUNS (runs), VARNIS_SOAK_MINUTES (virtual minutes of keys per run),
// VARNIS_SOAK_JOBS (runs at once) and VARNIS_SOAK_SEED (first seed).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "app/texts.h"
#include "game_runner.h"
#include "platform/host.h"

namespace {

enum Vk : uint32_t { kEnter = 13, kCtrl = 17, kPause = 19, kEscape = 27, kSpace = 32, kUp = 38, kDown = 40 };

struct Soak {
    std::string script;
    std::vector<uint32_t> escapes;  // times of every Escape press
    uint32_t end = 0;               // time of the closing Pause or close
};

// Keys by weight: mostly the two fire keys and Ctrl, now and then the menu keys, rarely Escape
// (which also quits from the title).
Soak randomScript(uint32_t seed, uint32_t minutes) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    Soak s;
    uint32_t t = pick(50, 600);
    if (pick(0, 1)) {  // two players: Down, then Enter
        s.script += std::to_string(t) + " tap 40\n";
        t += pick(100, 500);
    }
    s.script += std::to_string(t) + " tap 13\n";
    const uint32_t stop = t + minutes * 60000;
    static const std::pair<Vk, int> keys[] = {{kSpace, 36}, {kEnter, 30}, {kCtrl, 18},
                                              {kUp, 7},     {kDown, 8},   {kEscape, 1}};
    while (t < stop) {
        t += pick(0, 9) < 7 ? pick(10, 1500) : pick(1500, 12000);
        int roll = int(pick(0, 99));
        Vk vk = kSpace;
        for (const auto& [key, weight] : keys) {
            if (roll < weight) {
                vk = key;
                break;
            }
            roll -= weight;
        }
        const std::string k = std::to_string(vk);
        if (pick(0, 9) < 6) {
            s.script += std::to_string(t) + " tap " + k + "\n";
        } else {  // held for a while, possibly across other keys
            s.script += std::to_string(t) + " down " + k + "\n";
            s.script += std::to_string(t + pick(1, vk == kCtrl ? 20000 : 3000)) + " up " + k + "\n";
        }
        if (vk == kEscape) s.escapes.push_back(t);
    }
    s.end = stop + 25000;
    s.script += std::to_string(s.end) + (pick(0, 1) ? " tap 19\n" : " close\n");
    return s;
}

struct Figures {
    int runs = 0, matches = 0, wins = 0;
    uint64_t virtualMs = 0;
};

// Checks one run; adds its matches to the figures.
void checkRun(const runner::Run& r, const Soak& s, uint32_t seed, Figures& f) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    EXPECT_TRUE(r.endedCleanly()) << r.tail();
    EXPECT_FALSE(r.sanitizerReport()) << r.tail();
    EXPECT_FALSE(r.has("messagebox")) << r.tail();
    if (r.trace.empty()) return;
    EXPECT_LE(r.trace.back().ms, s.end + 1000) << r.tail();

    // Matches start with the battlefield's "Just a moment"; the next start or the exit ends one.
    static const std::string building = platform::sjisToUtf8(kTextJustAMoment);
    std::vector<size_t> starts;
    for (size_t i = 0; i < r.trace.size(); ++i)
        if (r.trace[i].kind == "text" && r.trace[i].rest.find(building) != std::string::npos) starts.push_back(i);
    for (size_t m = 0; m < starts.size(); ++m) {
        const uint32_t from = r.trace[starts[m]].ms;
        const size_t endLine = m + 1 < starts.size() ? starts[m + 1] : r.trace.size() - 1;
        const uint32_t to = r.trace[endLine].ms;
        bool won = false;
        for (size_t i = starts[m]; i < endLine; ++i)
            won = won || (r.trace[i].kind == "text" && r.trace[i].rest.find("Win!") != std::string::npos);
        const bool escaped = std::any_of(s.escapes.begin(), s.escapes.end(),
                                         [&](uint32_t e) { return e >= from && e <= to; });
        const bool scriptEnded = m + 1 == starts.size() && to >= s.end;
        EXPECT_TRUE(won || escaped || scriptEnded)
            << "the match from " << from << " ms ended at " << to << " ms without a winner or an Escape\n"
            << r.tail();
        f.matches += 1;
        f.wins += won;
    }
    f.runs += 1;
    f.virtualMs += r.trace.back().ms;
}

uint32_t envNumber(const char* name, uint32_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? uint32_t(std::strtoul(v, nullptr, 10)) : fallback;
}

}  // namespace

TEST(Soak, RandomKeysThroughRandomMatches) {
    const uint32_t runs = envNumber("VARNIS_SOAK_RUNS", 20);
    const uint32_t minutes = envNumber("VARNIS_SOAK_MINUTES", 8);
    const uint32_t jobs = std::max<uint32_t>(1, envNumber("VARNIS_SOAK_JOBS", 1));
    const uint32_t firstSeed = envNumber("VARNIS_SOAK_SEED", 20261206);
    runner::AssetFolder folder("soak");
    if (!folder.complete()) GTEST_SKIP() << "the generated assets are not in " << VARNIS_BINARY_DIR;

    const auto started = std::chrono::steady_clock::now();
    Figures figures;
    std::mutex lock;
    std::atomic<uint32_t> next{0};
    auto worker = [&] {
        for (uint32_t i; (i = next++) < runs;) {
            const uint32_t seed = firstSeed + i * 7919;
            const Soak s = randomScript(seed, minutes);
            const runner::Run r = runner::play(folder.dir(), "run" + std::to_string(i), s.script, seed, s.end + 60000);
            std::lock_guard<std::mutex> g(lock);
            checkRun(r, s, seed, figures);
        }
    };
    std::vector<std::thread> pool;
    for (uint32_t j = 0; j < jobs; ++j) pool.emplace_back(worker);
    for (std::thread& t : pool) t.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("soak: %d runs, %d matches (%d won), %.2f virtual hours, %.1f s wall\n", figures.runs,
                figures.matches, figures.wins, double(figures.virtualMs) / 3.6e6, wall);
    EXPECT_EQ(figures.runs, int(runs));
    EXPECT_GT(figures.matches, 0);
}
