#include "platform/stats.h"
#include "platform/stats_system.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace platform::stats {

namespace {

using Steady = std::chrono::steady_clock;
const Steady::time_point loaded = Steady::now();

double steadyMs() {
    return std::chrono::duration<double, std::milli>(Steady::now() - loaded).count();
}

struct PendingKey {
    double at;
    uint64_t serial;
};

struct State {
    bool on = false;
    bool reported = false;
    Clock stepClock = steadyMs;
    bool virtualClock = false;
    double virtualStart = 0;
    bool stepOpen = false;
    double stepStart = 0;
    std::map<uint32_t, std::vector<double>> steps;
    std::vector<double> presentCost;
    std::vector<double> keyLatency;
    std::vector<PendingKey> pendingKeys;
    double startup = -1;
    double slowestKey = 0, slowestKeyAt = 0;
};

State& state() {
    static State s;
    return s;
}

void appendf(std::string& out, const char* fmt, auto... args) {
    char line[256];
    std::snprintf(line, sizeof line, fmt, args...);
    out += line;
}

}  // namespace

// The report is printed at the process's exit, whichever way the run ends: from main, by a
// timeout or a replay out of step deep in a back end, or by the game's own exit.
void enable() {
    State& s = state();
    if (!s.on) std::atexit(report);
    s.on = true;
}
bool enabled() { return state().on; }

void useStepClock(Clock clock, bool isVirtual) {
    State& s = state();
    s.stepClock = clock ? clock : steadyMs;
    s.virtualClock = isVirtual;
    s.virtualStart = s.stepClock();
}

double wallMs() { return steadyMs(); }

void frameStarted() {
    State& s = state();
    if (!s.on) return;
    s.stepOpen = true;
    s.stepStart = s.stepClock();
}

void stepEnded(uint32_t ms) {
    State& s = state();
    // Only steps begun by startFrame count: waitUntil(0) on an old stamp just pumps once.
    if (!s.on || !s.stepOpen) return;
    s.stepOpen = false;
    s.steps[ms].push_back(s.stepClock() - s.stepStart);
}

void keyArrived(uint64_t serial) {
    State& s = state();
    if (s.on) s.pendingKeys.push_back({steadyMs(), serial});
}

void presented(double costMs, uint64_t serial, bool pictureVisible) {
    State& s = state();
    if (!s.on) return;
    const double now = steadyMs();
    s.presentCost.push_back(costMs);
    if (pictureVisible && s.startup < 0) s.startup = now;
    // A key's effect is shown by the first presentation of anything drawn after it arrived.
    std::erase_if(s.pendingKeys, [&](const PendingKey& k) {
        if (serial <= k.serial) return false;
        s.keyLatency.push_back(now - k.at);
        if (now - k.at > s.slowestKey) {
            s.slowestKey = now - k.at;
            s.slowestKeyAt = k.at;
        }
        return true;
    });
}

Summary summarise(std::vector<double>& v) {
    Summary r;
    r.count = v.size();
    if (v.empty()) return r;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    r.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    // Nearest rank: the smallest value at or above which 99% of the sample lies.
    r.p99 = v[size_t(std::ceil(0.99 * double(n))) - 1];
    return r;
}

std::string format() {
    State& s = state();
    const double wall = steadyMs() / 1000.0, cpu = cpuSeconds();
    const double peakMB = peakMemoryMB();
    std::string out = "varnis stats\n";
    appendf(out, "  wall time           %.3f s\n", wall);
    // A browser tells a page neither its CPU time nor its memory's peak: those lines are left out
    // there rather than filled with what the C library makes up.
    if (cpu >= 0) {
        appendf(out, "  cpu time            %.3f s = %.1f%% of one core\n", cpu,
                wall > 0 ? 100.0 * cpu / wall : 0.0);
        appendf(out, "  peak memory         %.1f MB\n", peakMB);
    }
    if (s.startup >= 0)
        appendf(out, "  start-up to title   %.1f ms\n", s.startup);
    else
        out += "  start-up to title   none shown\n";
    Summary p = summarise(s.presentCost);
    appendf(out, "  presentations       %zu, cost median %.3f ms, p99 %.3f ms\n", p.count, p.median,
            p.p99);
    Summary k = summarise(s.keyLatency);
    appendf(out, "  key to presentation %zu keys, median %.2f ms, p99 %.2f ms", k.count, k.median,
            k.p99);
    if (k.count) appendf(out, ", slowest %.2f ms at %.3f s", s.slowestKey, s.slowestKeyAt / 1000);
    out += "\n";
    out += "  paced steps         waitUntil(N): count, median, p99 against nominal N+1 ms\n";
    for (auto& [ms, lengths] : s.steps) {
        Summary st = summarise(lengths);
        appendf(out, "    waitUntil(%u)%*s %6zu, median %.2f ms, p99 %.2f ms, nominal %u ms\n", ms,
                ms < 10 ? 2 : 1, "", st.count, st.median, st.p99, ms + 1);
    }
    if (s.virtualClock) {
        const double span = s.stepClock() - s.virtualStart;
        appendf(out, "  virtual time        %.0f ms = %.0f times real time\n", span,
                wall > 0 ? span / 1000.0 / wall : 0.0);
    }
    return out;
}

void report() {
    State& s = state();
    if (!s.on || s.reported) return;
    s.reported = true;
    std::fputs(format().c_str(), stderr);
    std::fflush(stderr);
}

void reset() {
    const bool on = state().on;
    state() = State{};
    state().on = on;
}

}  // namespace platform::stats
