#include "platform/headless/headless.h"
#include "platform/stats.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/display.h"

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
            if (opts_.traceOut) std::fflush(opts_.traceOut);
            std::fflush(stdout);
            stats::report();
            std::_Exit(124);
        }
        now_ = t;
    }
    void admitDueEvents() {
        while (next_ < opts_.events.size() && opts_.events[next_].ms <= now_) {
            const ScriptEvent& e = opts_.events[next_++];
            switch (e.kind) {
                case ScriptEvent::KeyDown: enqueueMessage({WM_KEYDOWN, e.vk, 1}); break;
                case ScriptEvent::KeyUp: enqueueMessage({WM_KEYUP, e.vk, int32_t(0xC0000001u)}); break;
                case ScriptEvent::Close: enqueueMessage({WM_CLOSE, 0, 0}); break;
                case ScriptEvent::Snapshot: takeSnapshot(e.name); break;
            }
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
            std::fprintf(stderr, "varnis: cannot write snapshot %s: %s\n", path.c_str(),
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

// A whole decimal number no larger than max; digits only.
bool parseNumber(const std::string& s, uint64_t max, uint64_t& value) {
    if (s.empty() || s.size() > 12) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint64_t(c - '0');
    }
    return value <= max;
}

}  // namespace

std::unique_ptr<Backend> makeHeadlessBackend(HeadlessOptions options) {
    return std::make_unique<HeadlessBackend>(std::move(options));
}

std::vector<uint8_t> encodeSnapshot() {
    const DisplayDevice* device = DisplayDevice::current();
    const Surface* front = device ? device->primary() : nullptr;
    static const PaletteEntry black[256] = {};
    return encodeBitmap8(front ? front->width() : 640, front ? front->height() : 480,
                         front ? front->data() : nullptr, front ? front->pitch() : 0,
                         device ? device->devicePalette() : black);
}

bool writeSnapshot(const std::string& path, std::string& error) { return writeSnapshot(path, encodeSnapshot(), error); }

bool writeSnapshot(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) error = "write failed";
    return ok && closed;
}

bool parseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error) {
    struct Keyed {
        ScriptEvent event;
        size_t order;  // the line the event comes from: equal times keep line order
    };
    std::vector<Keyed> parsed;
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
            error = "line " + std::to_string(lineNo) + ": " + what;
            return false;
        };
        uint64_t ms = 0;
        if (!parseNumber(w[0], 0xFFFFFFFFu, ms))
            return fail("the time '" + w[0] + "' is not a whole number of milliseconds");
        if (w.size() < 2) return fail("an action is missing after the time");
        const std::string& action = w[1];
        ScriptEvent e;
        e.ms = uint32_t(ms);
        if (action == "down" || action == "up" || action == "tap") {
            if (w.size() != 3) return fail("'" + action + "' takes one key code");
            uint64_t vk = 0;
            if (!parseNumber(w[2], 255, vk))
                return fail("the key code '" + w[2] + "' is not a number from 0 to 255");
            e.vk = uint32_t(vk);
            e.kind = action == "up" ? ScriptEvent::KeyUp : ScriptEvent::KeyDown;
            if (action == "tap" && ms + 80 > 0xFFFFFFFFu)
                return fail("the tap's release falls after the clock's last millisecond");
            parsed.push_back({e, lineNo});
            if (action == "tap") {
                ScriptEvent up = e;
                up.kind = ScriptEvent::KeyUp;
                up.ms = uint32_t(ms + 80);
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
