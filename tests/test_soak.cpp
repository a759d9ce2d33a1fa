// Random keys at random times through random one- and two-player matches on the headless runner.
// Every run must end through the game's own paths in time without a sanitizer report, and every
// match with a winner, an Escape or the script. tools/soak.sh plays a longer soak through this
// test with VARNIS_SOAK_RUNS, VARNIS_SOAK_MINUTES (of keys per run), _JOBS and _SEED (first seed).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "app/texts.h"
#include "platform/host.h"
#include "support.h"

namespace {

struct Soak {
    std::string script;
    std::vector<uint32_t> escapes;  // times of every Escape press
    uint32_t end = 0;               // time of the closing Pause or close
};

// Mostly the two fire keys and Ctrl, now and then the menu keys, rarely Escape; taps and holds.
Soak randomScript(uint32_t seed, uint32_t minutes) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    Soak s;
    uint32_t t = pick(50, 600);
    if (pick(0, 1)) s.script += std::to_string(t) + " tap 40\n", t += pick(100, 500);  // two players
    s.script += std::to_string(t) + " tap 13\n";
    const uint32_t stop = t + minutes * 60000;
    static const uint32_t keys[] = {32, 13, 17, 38, 40, 27};
    static const int weights[] = {36, 30, 18, 7, 8, 1};
    while (t < stop) {
        t += pick(0, 9) < 7 ? pick(10, 1500) : pick(1500, 12000);
        int roll = int(pick(0, 99)), k = 0;
        while (roll >= weights[k]) roll -= weights[k++];
        const uint32_t vk = keys[k];
        if (pick(0, 9) < 6) {
            s.script += std::to_string(t) + " tap " + std::to_string(vk) + "\n";
        } else {  // held for a while, possibly across other keys
            s.script += std::to_string(t) + " down " + std::to_string(vk) + "\n";
            s.script += std::to_string(t + pick(1, vk == 17 ? 20000 : 3000)) + " up " + std::to_string(vk) + "\n";
        }
        if (vk == 27) s.escapes.push_back(t);
    }
    s.end = stop + 25000;
    s.script += std::to_string(s.end) + (pick(0, 1) ? " tap 19\n" : " close\n");
    return s;
}

// Checks one run; returns its matches.
int checkRun(const support::Run& r, const Soak& s, uint32_t seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    EXPECT_TRUE(r.endedCleanly()) << r.tail();
    EXPECT_FALSE(r.has("messagebox")) << r.tail();
    if (r.trace.empty()) return 0;
    EXPECT_LE(r.trace.back().ms, s.end + 1000) << r.tail();
    // Matches start with the battlefield's "Just a moment"; the next start or the exit ends one.
    static const std::string building = platform::sjisToUtf8(kTextJustAMoment);
    std::vector<size_t> starts;
    for (int i = r.find("text", building); i >= 0; i = r.find("text", building, size_t(i) + 1)) starts.push_back(size_t(i));
    for (size_t m = 0; m < starts.size(); ++m) {
        const size_t endLine = m + 1 < starts.size() ? starts[m + 1] : r.trace.size() - 1;
        const uint32_t from = r.trace[starts[m]].ms, to = r.trace[endLine].ms;
        const int win = r.find("text", "Win!", starts[m]);
        const bool won = win >= 0 && size_t(win) < endLine;
        const bool escaped = std::any_of(s.escapes.begin(), s.escapes.end(), [&](uint32_t e) { return e >= from && e <= to; });
        EXPECT_TRUE(won || escaped || (m + 1 == starts.size() && to >= s.end))
            << "the match from " << from << " ms ended at " << to << " ms without a winner or an Escape\n" << r.tail();
    }
    return int(starts.size());
}

uint32_t envNumber(const char* name, uint32_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? uint32_t(std::strtoul(v, nullptr, 10)) : fallback;
}

}  // namespace

TEST(Soak, RandomKeysThroughRandomMatches) {
    const uint32_t runs = envNumber("VARNIS_SOAK_RUNS", 20), minutes = envNumber("VARNIS_SOAK_MINUTES", 8);
    const uint32_t jobs = std::max<uint32_t>(1, envNumber("VARNIS_SOAK_JOBS", 1));
    const uint32_t firstSeed = envNumber("VARNIS_SOAK_SEED", 20261206);
    const auto dir = support::makeAssetFolder();
    const auto started = std::chrono::steady_clock::now();
    int matches = 0;
    uint64_t virtualMs = 0;
    std::mutex lock;
    std::atomic<uint32_t> next{0};
    auto worker = [&] {
        for (uint32_t i; (i = next++) < runs;) {
            const uint32_t seed = firstSeed + i * 7919;
            const Soak s = randomScript(seed, minutes);
            const support::Run r = support::play(dir, s.script, seed, s.end + 60000);
            std::lock_guard<std::mutex> g(lock);
            matches += checkRun(r, s, seed);
            virtualMs += r.trace.empty() ? 0 : r.trace.back().ms;
        }
    };
    std::vector<std::thread> pool;
    for (uint32_t j = 0; j < jobs; ++j) pool.emplace_back(worker);
    for (std::thread& t : pool) t.join();
    std::filesystem::remove_all(dir);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("soak: %u runs, %d matches, %.2f virtual hours, %.1f s wall\n", runs, matches,
                double(virtualMs) / 3.6e6, wall);
    EXPECT_GT(matches, 0);
}
