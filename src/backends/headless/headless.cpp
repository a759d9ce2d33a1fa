#include "backends/headless/headless.h"
#include "platform/stats.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/bitmap.h"
#include "platform/display.h"
#include "platform/parse.h"
#include "platform/printable.h"
#include "platform/snapshot.h"

namespace platform {

namespace {

class HeadlessBackend final : public Backend {
public:
    explicit HeadlessBackend(HeadlessOptions o) : opts_(std::move(o)) {}

    bool createWindow(const char*) override { return true; }

    // The look at the queue: an empty queue moves the clock on by 1 ms first, then every event
    // due by the new time joins the queue, so it is dispatched by the pump whose look brought it.
    void poll(bool queueEmpty) override {
        if (queueEmpty) advance(now_ + 1);
        admitDueEvents();
    }
    uint32_t now() override { return now_; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {
        // Next tick of the 60 Hz grid floor(k * 50 / 3), strictly later than now.
        uint64_t k = (uint64_t(now_) * 3) / 50 + 1;
        while (k * 50 / 3 <= now_) ++k;
        advance(uint32_t(k * 50 / 3));
    }

    void messageBox(const std::string& text, const char* caption) override {
        trace("messagebox [" + std::string(caption ? caption : "") + "] " + text);
    }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}

    bool tracing() const override { return opts_.traceOut != nullptr; }
    void trace(const std::string& text) override {
        if (!opts_.traceOut) return;
        std::fprintf(opts_.traceOut, "%u %s\n", now_, text.c_str());
    }
    void shutdown(int exitCode) override {
        trace("exit " + std::to_string(exitCode));
        if (opts_.traceOut) std::fflush(opts_.traceOut);
    }

private:
    void advance(uint32_t t) {
        // 64-bit comparison: the clock never wraps here, a run ends at --max-ms first.
        if (uint64_t(t) > opts_.maxMs && now_ <= opts_.maxMs) {
            now_ = t;
            trace("timeout");
            exitProcess(124);  // the trace ends "exit 124", as every run's ends with its status
        }
        now_ = t;
    }
    void admitDueEvents() {
        while (next_ < opts_.events.size() && opts_.events[next_].ms <= now_) {
            const ScriptEvent& e = opts_.events[next_++];
            if (Message m; scriptMessage(e, m))
                enqueueMessage(m);
            else
                takeSnapshot(e.name);
        }
    }
    // A snapshot that cannot be written ends the run with status 3: the pictures are what the
    // run was for, and a trace that named a missing file would report a failure as a success.
    void takeSnapshot(const std::string& name) {
        std::string path = opts_.snapshotDir;
        if (!path.empty() && path.back() != '/') path += '/';
        path += name + ".bmp";
        std::string error;
        if (!writeSnapshot(path, error)) {
            std::fprintf(stderr, "varnis: cannot write snapshot %s: %s\n", printable(path).c_str(),
                         error.c_str());
            exitProcess(3);
        }
        trace("snapshot " + name);
    }

    HeadlessOptions opts_;
    uint32_t now_ = 0;
    size_t next_ = 0;
};

// Splits a line into whitespace-separated words.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(uint8_t(line[i]))) ++i;
        size_t j = i;
        while (j < line.size() && !std::isspace(uint8_t(line[j]))) ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string lowerCase(std::string s) {
    for (char& c : s) c = char(std::tolower(uint8_t(c)));
    return s;
}

// Names Windows keeps for its devices, with any extension and in any case: a snapshot called
// NUL would be traced as written and go nowhere.
bool reservedOnWindows(const std::string& name) {
    const std::string base = lowerCase(name.substr(0, name.find('.')));
    if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
    return base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

bool scriptMessage(const ScriptEvent& e, Message& msg) {
    switch (e.kind) {
        case ScriptEvent::KeyDown: msg = {WM_KEYDOWN, e.vk, 1}; return true;
        case ScriptEvent::KeyUp: msg = {WM_KEYUP, e.vk, int32_t(0xC0000001u)}; return true;
        case ScriptEvent::Close: msg = {WM_CLOSE, 0, 0}; return true;
        case ScriptEvent::Snapshot: return false;
    }
    return false;
}

std::unique_ptr<Backend> makeHeadlessBackend(HeadlessOptions options) {
    return std::make_unique<HeadlessBackend>(std::move(options));
}

bool parseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error) {
    struct Keyed {
        ScriptEvent event;
        size_t order;  // the line the event comes from: equal times keep line order
    };
    std::vector<Keyed> parsed;
    // Snapshot names by their lower case, with the line that first used them: names that differ
    // only in case are one file where the file system ignores case, and the later picture would
    // silently replace the earlier one.
    std::map<std::string, std::pair<std::string, size_t>> names;
    size_t lineNo = 0, pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        const std::vector<std::string> w = words(line);
        if (w.empty() || w[0][0] == '#') continue;
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(lineNo) + ": " + printable(what);
            return false;
        };
        uint32_t ms = 0;
        if (!parseNumber(w[0], ms))
            return fail("the time '" + w[0] + "' is not a whole number of milliseconds");
        if (w.size() < 2) return fail("an action is missing after the time");
        const std::string& action = w[1];
        ScriptEvent e;
        e.ms = ms;
        if (action == "down" || action == "up" || action == "tap") {
            if (w.size() != 3) return fail("'" + action + "' takes one key code");
            uint32_t vk = 0;
            if (!parseNumber(w[2], vk) || vk > 255)
                return fail("the key code '" + w[2] + "' is not a number from 0 to 255");
            e.vk = vk;
            e.kind = action == "up" ? ScriptEvent::KeyUp : ScriptEvent::KeyDown;
            if (action == "tap" && uint64_t(ms) + 80 > 0xFFFFFFFFu)
                return fail("the tap's release falls after the clock's last millisecond");
            parsed.push_back({e, lineNo});
            if (action == "tap") {
                ScriptEvent up = e;
                up.kind = ScriptEvent::KeyUp;
                up.ms = ms + 80;
                parsed.push_back({up, lineNo});
            }
        } else if (action == "close") {
            if (w.size() != 2) return fail("'close' takes nothing after it");
            e.kind = ScriptEvent::Close;
            parsed.push_back({e, lineNo});
        } else if (action == "snapshot") {
            if (w.size() != 3) return fail("'snapshot' takes one name");
            const std::string& name = w[2];
            const bool good = std::all_of(name.begin(), name.end(), [](char c) {
                return std::isalnum(uint8_t(c)) || c == '-' || c == '_';
            });
            if (!good || name.size() > 200)
                return fail("the snapshot name '" + name +
                            "' may hold only letters, digits, '-' and '_'");
            if (reservedOnWindows(name))
                return fail("the snapshot name '" + name + "' is a device on Windows, not a file");
            const auto [it, fresh] = names.try_emplace(lowerCase(name), name, lineNo);
            if (!fresh && it->second.first != name)
                return fail("the snapshot name '" + name + "' differs from '" + it->second.first +
                            "' (line " + std::to_string(it->second.second) +
                            ") only in letter case");
            e.kind = ScriptEvent::Snapshot;
            e.name = name;
            parsed.push_back({e, lineNo});
        } else {
            return fail("unknown action '" + action + "'");
        }
    }
    std::stable_sort(parsed.begin(), parsed.end(), [](const Keyed& a, const Keyed& b) {
        return a.event.ms != b.event.ms ? a.event.ms < b.event.ms : a.order < b.order;
    });
    events.clear();
    for (Keyed& k : parsed) events.push_back(std::move(k.event));
    return true;
}

}  // namespace platform
