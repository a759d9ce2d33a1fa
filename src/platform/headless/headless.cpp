#include "platform/headless/headless.h"

#include <cstdlib>

#include "platform/display.h"

namespace platform {

namespace {

class HeadlessBackend final : public Backend {
public:
    explicit HeadlessBackend(HeadlessOptions o) : opts_(std::move(o)) {}

    bool createWindow(const char*) override { return true; }
    void getWindowRect(Rect& rect) override {
        // Placed so that the drawing area starts at the screen's origin.
        rect = Rect{-3, -42, 643, 482};
    }

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
        if (opts_.maxMs && t > opts_.maxMs && now_ <= opts_.maxMs) {
            now_ = t;
            trace("timeout");
            if (opts_.traceOut) std::fflush(opts_.traceOut);
            std::fflush(stdout);
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
                case ScriptEvent::Snapshot: trace("snapshot " + e.name); break;
            }
        }
    }

    HeadlessOptions opts_;
    uint32_t now_ = 0;
    size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Backend> makeHeadlessBackend(HeadlessOptions options) {
    return std::make_unique<HeadlessBackend>(std::move(options));
}

bool parseScript(const std::string&, std::vector<ScriptEvent>&, std::string& error) {
    error = "scripts are not read yet";
    return false;
}

}  // namespace platform
