// Random keys at random times through random one- and two-player matches on the headless runner:
// every run ends through the game's own paths in time without a sanitizer report, and every match
// with a winner, an Escape or the script. tests/soak.sh plays a longer soak through this test with
// VARNIS_SOAK_RUNS, VARNIS_SOAK_MINUTES (of keys per run), _JOBS and _SEED (the first seed).
#include <gtest/gtest.h>

#include <random>

#include "platform/host.h"
#include "shell/texts.h"
#include "support.h"

namespace {

uint32_t envNumber(const char* name, uint32_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? uint32_t(std::strtoul(v, nullptr, 10)) : fallback;
}

// Mostly the two fire keys and Ctrl, now and then the menu keys, rarely Escape; taps and holds.
// Returns the script; `escapes` gets the time of every Escape, `end` that of the closing key.
std::string randomScript(uint32_t seed, uint32_t minutes, std::vector<uint32_t>& escapes,
                         uint32_t& end) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    auto line = [](uint32_t t, const char* what, uint32_t vk) {
        return std::to_string(t) + what + std::to_string(vk) + "\n";
    };
    uint32_t t = pick(50, 600);
    std::string s;
    if (pick(0, 1)) s = line(t, " tap ", 40), t += pick(100, 500);  // two players
    s += line(t, " tap ", 13);
    const uint32_t stop = t + minutes * 60000;
    while (t < stop) {
        t += pick(0, 9) < 7 ? pick(10, 1500) : pick(1500, 12000);
        const uint32_t roll = pick(0, 99), vk = roll < 36   ? 32
                                                : roll < 66 ? 13
                                                : roll < 84 ? 17
                                                : roll < 91 ? 38
                                                : roll < 99 ? 40
                                                            : 27;
        if (pick(0, 9) < 6)
            s += line(t, " tap ", vk);
        else  // held for a while, possibly across other keys
            s += line(t, " down ", vk) + line(t + pick(1, vk == 17 ? 20000 : 3000), " up ", vk);
        if (vk == 27) escapes.push_back(t);
    }
    end = stop + 25000;
    return s + std::to_string(end) + (pick(0, 1) ? " tap 19\n" : " close\n");
}

}  // namespace

TEST(Soak, RandomKeysThroughRandomMatches) {
    const uint32_t runs = envNumber("VARNIS_SOAK_RUNS", 20),
                   minutes = envNumber("VARNIS_SOAK_MINUTES", 8);
    const uint32_t jobs = std::max<uint32_t>(1, envNumber("VARNIS_SOAK_JOBS", 1)),
                   firstSeed = envNumber("VARNIS_SOAK_SEED", 20261206);
    const auto dir = support::makeAssetFolder();
    static const std::string building = platform::sjisToUtf8(kTextJustAMoment);
    std::atomic<int> matches{0};
    std::atomic<uint32_t> next{0};
    std::mutex lock;
    auto worker = [&] {
        for (uint32_t i; (i = next++) < runs;) {
            const uint32_t seed = firstSeed + i * 7919;
            std::vector<uint32_t> escapes;
            uint32_t end = 0;
            const std::string script = randomScript(seed, minutes, escapes, end);
            const support::Run r = support::play(dir, script, seed, end + 60000);
            std::lock_guard<std::mutex> g(lock);
            SCOPED_TRACE("seed " + std::to_string(seed));
            EXPECT_TRUE(r.endedCleanly() && !r.has("messagebox") && r.trace.back().ms <= end + 1000)
                << r.tail();
            // A match runs from its "Just a moment" to the next one or the exit.
            for (int m = r.find("text", building), following; m >= 0; m = following, ++matches) {
                following = r.find("text", building, size_t(m) + 1);
                const size_t last = following >= 0 ? size_t(following) : r.trace.size() - 1;
                const uint32_t from = r.trace[size_t(m)].ms, to = r.trace[last].ms;
                const int win = r.find("text", "Win!", size_t(m));
                const bool escaped = std::any_of(escapes.begin(), escapes.end(),
                                                 [&](uint32_t e) { return e >= from && e <= to; });
                EXPECT_TRUE((win >= 0 && size_t(win) < last) || escaped ||
                            (following < 0 && to >= end))
                    << "the match from " << from << " ms ended at " << to
                    << " ms without a winner or an Escape\n"
                    << r.tail();
            }
        }
    };
    std::vector<std::thread> pool;
    for (uint32_t j = 0; j < jobs; ++j) pool.emplace_back(worker);
    for (std::thread& t : pool) t.join();
    std::filesystem::remove_all(dir);
    std::printf("soak: %u runs, %d matches\n", runs, matches.load());
    EXPECT_GT(matches, 0);
}
