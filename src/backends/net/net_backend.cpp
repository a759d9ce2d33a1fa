#include "backends/net/net_backend.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#include "backends/net/net_times.h"
#include "platform/audio.h"
#include "platform/display.h"
#include "platform/snapshot.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

void say(const std::string& line) { std::fprintf(stderr, "varnis: %s\n", line.c_str()); }

uint64_t frontHash() {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : encodeSnapshot()) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

class NetBackend final : public WrappingBackend {
public:
    NetBackend(std::unique_ptr<Backend> inner, NetPlayOptions o)
        : WrappingBackend(std::move(inner)), opts_(std::move(o)), link_(*opts_.link) {
        setMessageGate(
            [](void* self, const Message& m) { return static_cast<NetBackend*>(self)->gate(m); },
            this);
    }
    ~NetBackend() override { setMessageGate(nullptr, nullptr); }

    void waitVerticalBlank() override {
        if (!driving()) return;  // a follower keeps the driver's pace
        flush();                 // what this frame took goes out before the wait, not a frame late
        inner_->waitVerticalBlank();
    }
    void idle(bool hasDeadline, uint32_t deadline) override {
        if (!driving()) return;  // a follower waits for entries instead
        // What the game drew from goes out as soon as it has drawn (the pass right after drawing
        // does not block), so a follower draws the same step right behind. A headless driver
        // keeps its batches.
        if (std::exchange(idleSerial_, drawSerial) != drawSerial && !opts_.headless)
            flush();
        else
            flushIfDue();
        inner_->idle(hasDeadline, uint32_t(int64_t(deadline) - offset_));
    }

    // Every machine takes a reading for every trace line, so the readings stay the same.
    bool tracing() const override { return true; }
    void trace(const std::string& text) override { traceAt(now(), text); }
    void messageBox(const std::string& text, const char* caption) override {
        trace("messagebox [" + std::string(caption ? caption : "") + "] " + text);
        flush();
        if (opts_.writer) opts_.writer->flush();
        inner_->messageBox(text, caption);
    }

    void poll(bool queueEmpty) override {
        handleEvents();
        if (!driving()) {
            inner_->poll(false);  // the window stays alive; this machine's keys pass the gate
            // The messages the driving game found here join the queue.
            for (;;) {
                const StreamEntry* e = nextEntry();
                if (!e) break;  // the second player is gone: this machine drives from here
                if (e->kind == StreamEntry::End) endFromStream(e->value);
                if (e->kind != StreamEntry::Message) return admitScript();
                const Message m = e->message;
                take();
                inject(m);
            }
        }
        inner_->poll(queueEmpty);
        admitScript();
        recover();
        flushIfDue();
    }

    uint32_t now() override {
        while (!driving()) {
            const StreamEntry* e = nextEntry();
            if (!e) break;
            if (e->kind == StreamEntry::End) endFromStream(e->value);
            if (e->kind != StreamEntry::Clock) {
                outOfStep("a clock reading");
                continue;
            }
            const uint32_t delta = e->value;
            take();
            return reading(last_ + delta, delta);
        }
        const uint32_t t = uint32_t(int64_t(inner_->now()) + offset_);
        return reading(t, t - last_);
    }

    SoundDevice* settleSoundDevice(SoundDevice* opened) override {
        bool had = opened != nullptr;
        if (driving()) {
            produce(makeEntry(StreamEntry::SoundDevice, had ? 1u : 0u));
        } else {
            const StreamEntry* e = nextEntry();
            if (!e || e->kind != StreamEntry::SoundDevice)
                outOfStep("whether a sound device opened");
            had = e && e->value != 0;
            take();
        }
        if (opts_.writer) opts_.writer->soundDevice(had);
        if (!had && opened) {
            opened->release();
            return nullptr;
        }
        // No device here, but the driving game had one: a silent one plays the same part.
        return had && !opened ? SoundDevice::createSilent() : opened;
    }

    void awaitPlayer(int player, bool inMatch) override {
        inMatch_ = inMatch;
        const uint32_t turn = ++turn_;
        const uint64_t hash = frontHash();
        while (!driving()) {
            const StreamEntry* e = nextEntry();
            if (!e) break;
            if (e->kind == StreamEntry::End) endFromStream(e->value);
            if (e->kind != StreamEntry::Turn || e->count != turn) {
                outOfStep("turn " + std::to_string(turn));
                continue;
            }
            const StreamEntry t = *e;
            take();
            if (t.hash != hash) {
                say("this game's picture differs from the driving game's at turn " +
                    std::to_string(turn) + (inMatch ? "; the match ends" : ""));
                link_.sendMismatch(turn);
            }
            driver_ = int(t.value);
            if (driving()) takeOver(false);
            net_times::turn(turn, driver_);
            return;
        }
        // The host hands the second player's turns to its machine when one has joined.
        int next = player;
        if (opts_.seat == 0) {
            std::lock_guard<std::mutex> l(link_.inbox.lock);
            next = player == 1 && link_.inbox.player != 0 ? 1 : 0;
            if (next == 1) {
                following_ = link_.inbox.player;
                matchPlayer_ = following_;
                if (link_.inbox.entriesFrom != following_) link_.inbox.entries.clear();
            }
            if (!inMatch) matchPlayer_ = 0;
        }
        StreamEntry t = makeEntry(StreamEntry::Turn, uint32_t(next), turn);
        t.hash = hash;
        produce(t);
        driver_ = next;
        flush();
        net_times::turn(turn, driver_);
    }

    void shutdown(int exitCode) override {
        if (!std::exchange(shutDown_, true)) {
            // A follower's game ends where the driving one did, at the reading that follows.
            traceAt(driving() ? now() : followingReading(), "exit " + std::to_string(exitCode));
            if (opts_.writer) opts_.writer->finish();
            flush();
            if (opts_.seat == 0) {  // to everyone, the second player too when it drives
                std::string end;
                encodeEntry(makeEntry(StreamEntry::End, uint32_t(exitCode & 0xFF)), end);
                link_.publish(std::move(end), 0);
            }
            link_.finish();
        }
        inner_->shutdown(exitCode);
    }

private:
    bool driving() const { return driver_ == opts_.seat; }

    void traceAt(uint32_t t, const std::string& text) {
        if (!opts_.traceOut) return;
        std::fprintf(opts_.traceOut, "%u %s\n", unsigned(t), text.c_str());
        std::fflush(opts_.traceOut);
    }

    uint32_t reading(uint32_t t, uint32_t delta) {
        last_ = t;
        net_times::reading(t, driving());
        if (opts_.writer) opts_.writer->clock(t);
        addClock(delta);
        return t;
    }

    // ---- What goes out: a driver's entries, and on the host those it took from the player ----
    // Entries go out in batches of one producer: the host's own go to everyone, those it took
    // from the player to everyone but that player.
    bool producing() {
        if (opts_.seat != 0 && !driving()) return false;  // only the host passes on what it follows
        const uint64_t producer = driving() ? 0 : following_;
        if (producer != batchProducer_) flush();
        batchProducer_ = producer;
        if (runCount_ == 0 && batch_.empty()) {
            batchStarted_ = Clock::now();
            batchSerial_ = drawSerial;
        }
        return true;
    }
    void addClock(uint32_t delta) {
        if (!producing()) return;
        if (runCount_ > 0 && delta == runDelta_ && runCount_ < 0xFFFFFFFFu) {
            ++runCount_;
            return;
        }
        endRun();
        runDelta_ = delta;
        runCount_ = 1;
    }
    void endRun() {
        if (runCount_ == 0) return;
        encodeEntry(makeEntry(StreamEntry::Clock, runDelta_, runCount_), batch_);
        runCount_ = 0;
    }
    void produce(const StreamEntry& e) {
        if (!producing()) return;
        endRun();
        encodeEntry(e, batch_);
        if (batch_.size() >= 16 * 1024) flush();
    }
    void flush() {
        endRun();
        if (batch_.empty()) return;
        link_.publish(std::move(batch_), batchProducer_);
        batch_.clear();
    }
    // While this machine keeps busy, what it drew from leaves a few milliseconds after the first
    // entry of its batch was made. Readings nothing was drawn from change nothing a follower
    // shows: they may wait for the next drawing, up to a few frames, rather than each go out in
    // a frame of their own.
    void flushIfDue() {
        if (runCount_ == 0 && batch_.empty()) return;
        const auto age = Clock::now() - batchStarted_;
        if ((drawSerial != batchSerial_ && age >= std::chrono::milliseconds(4)) ||
            age >= std::chrono::milliseconds(50) || batch_.size() >= 16 * 1024)
            flush();
    }

    // ---- The gate: what this machine's window system and script deliver ----
    bool gate(const Message& m) {
        if (injecting_) {
            if (opts_.writer) opts_.writer->message(m);
            if (m.message == WM_KEYDOWN) held_[m.wParam & 0xFF] = true;
            if (m.message == WM_KEYUP) held_[m.wParam & 0xFF] = false;
            return true;
        }
        const bool system = m.message == WM_SYSKEYDOWN || m.message == WM_SYSKEYUP;
        const bool ends =
            (m.message == WM_KEYDOWN && m.wParam == VK_PAUSE) || m.message == WM_CLOSE;
        const bool window = m.message == WM_MOVE || m.message == WM_SETCURSOR;
        if (driving() && opts_.seat == 0) {
            // The host's end is everyone's, so Pause and closing go into the stream; Alt+F4 goes
            // as the close request it becomes. Alt+Enter is this window's own.
            if (system && m.message == WM_SYSKEYDOWN && m.wParam == VK_F4 && (m.lParam & (1 << 29)))
                produce(messageEntry(Message{WM_CLOSE, 0, 0}));
            else if (!system)
                produce(messageEntry(m));
            inject(m);
        } else if (driving()) {
            // The second player fires the right fortress with any of the fire keys.
            Message k = m;
            if ((k.message == WM_KEYDOWN || k.message == WM_KEYUP) && k.wParam == VK_SPACE)
                k.wParam = VK_RETURN;
            if (!system && !ends && !window) produce(messageEntry(k));
            inject(k);  // system keys, Pause and closing act on this machine only
        } else if (system || ends) {
            localEnd_ = localEnd_ || ends;
            inject(m);
        } else if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE && !(m.lParam & (1 << 30)) &&
                   opts_.seat >= 0 && inMatch_) {
            link_.sendEscape();  // the driving machine applies it when it arrives
        }
        return false;
    }
    static StreamEntry messageEntry(const Message& m) {
        StreamEntry e = makeEntry(StreamEntry::Message);
        e.message = m;
        return e;
    }
    void inject(const Message& m) {
        injecting_ = true;
        enqueueMessage(m);
        injecting_ = false;
    }
    // A driver's own input: keys written up at a takeover, Escapes asked for, the script.
    void driverKey(uint32_t message, uint32_t vk) {
        const Message m{message, vk, message == WM_KEYUP ? int32_t(0xC0000001u) : 1};
        produce(messageEntry(m));
        inject(m);
    }
    void recover() {
        if (keyUps_) {
            keyUps_ = false;
            for (uint32_t vk = 0; vk < 256; ++vk)
                if (held_[vk]) driverKey(WM_KEYUP, vk);
        }
        // Released 80 ms after the press, as a scripted tap is: released at once, the press and
        // the release would reach the game in one pump and the game, which looks at its keys
        // between frames, would never see it.
        if (escapeUp_ && last_ - escapeAt_ >= 80) {
            escapeUp_ = false;
            driverKey(WM_KEYUP, VK_ESCAPE);
        }
        if (escape_) {
            escape_ = false;
            if (inMatch_) {
                driverKey(WM_KEYDOWN, VK_ESCAPE);
                escapeUp_ = true;
                escapeAt_ = last_;
            }
        }
    }
    // While this machine follows, its script is timed on the stream's readings (its own clock
    // stands still then), and its keys meet the gate as a window's would: an Escape during a
    // match goes to the driver, the rest are dropped.
    void admitScript() {
        const uint32_t t = driving() ? uint32_t(int64_t(inner_->now()) + offset_) : last_;
        while (next_ < opts_.script.size() && opts_.script[next_].ms <= t) {
            const ScriptEvent& e = opts_.script[next_++];
            if (Message m; scriptMessage(e, m)) {
                enqueueMessage(m);
                continue;
            }
            std::string error;
            const std::string path = opts_.snapshotDir + "/" + e.name + ".bmp";
            if (!writeSnapshot(path, error))
                say("cannot write snapshot " + path + ": " + error);
            else
                traceAt(t, "snapshot " + e.name);  // no reading: the others take none here
        }
    }

    // ---- Following ----
    // The next entry of the stream, waiting for it; null when this machine (the host) drives
    // from here because the player it followed is gone. The waits keep the window alive.
    const StreamEntry* nextEntry() {
        const auto started = Clock::now();
        for (;;) {
            {
                std::unique_lock<std::mutex> l(link_.inbox.lock);
                Inbox& in = link_.inbox;
                if (!in.entries.empty() && (opts_.seat != 0 || in.entriesFrom == following_)) {
                    current_ = in.entries.front();
                    return &current_;
                }
                if (opts_.seat == 0 && in.player != following_) {
                    l.unlock();
                    say("the second player is gone; this machine plays on");
                    matchPlayer_ = 0;
                    takeOver(true);
                    return nullptr;
                }
                if (in.closed) {
                    const std::string why = in.closeReason;
                    l.unlock();
                    lostHost(why);
                }
                flush();  // what the host took so far goes on to the watchers before it waits
                link_.waitForArrival(l, 4);
            }
            handleEvents();
            inner_->poll(false);
            // Pause or closing while the stream stands still: this machine leaves now.
            if (localEnd_ && Clock::now() - started > std::chrono::seconds(1)) {
                traceAt(last_, "exit 1");
                if (opts_.writer) opts_.writer->flush();
                inner_->shutdown(1);
                std::exit(1);
            }
        }
    }
    // Takes the entry nextEntry gave (one reading of a clock entry); the host passes it on.
    void take() {
        {
            std::lock_guard<std::mutex> l(link_.inbox.lock);
            auto& front = link_.inbox.entries.front();
            if (front.kind == StreamEntry::Clock && front.count > 1)
                --front.count;
            else
                link_.inbox.entries.pop_front();
        }
        if (current_.kind != StreamEntry::Clock) produce(current_);
    }
    uint32_t followingReading() {
        std::unique_lock<std::mutex> l(link_.inbox.lock);
        const auto until = Clock::now() + std::chrono::seconds(2);
        while (link_.inbox.entries.empty() && Clock::now() < until) link_.waitForArrival(l, 20);
        if (link_.inbox.entries.empty() || link_.inbox.entries.front().kind != StreamEntry::Clock)
            return last_;
        const uint32_t t = last_ + link_.inbox.entries.front().value;
        l.unlock();
        current_ = StreamEntry{};
        take();
        return reading(t, t - last_);
    }
    void takeOver(bool playerLost) {
        driver_ = opts_.seat;
        if (opts_.headless) {
            // The virtual clock moves 1 ms a look at an empty queue: brought up to the stream's.
            while (inner_->now() < last_) inner_->poll(true);
            while (next_ < opts_.script.size() && opts_.script[next_].ms <= last_) ++next_;
        }
        offset_ = int64_t(last_) - int64_t(inner_->now());
        keyUps_ = true;
        if (playerLost) escape_ = true;  // the match ends as Escape would end it
    }
    void outOfStep(const std::string& wanted) {
        const std::string what = "at " + std::to_string(last_) + " ms the game waited for " +
                                 wanted + " and the stream held something else";
        if (opts_.seat == 0) {
            say("the second player's game went out of step: " + what);
            link_.dropPlayer("its game went out of step");
            return;
        }
        say("this game went out of step with the host's: " + what);
        flush();
        if (opts_.writer) opts_.writer->flush();
        inner_->shutdown(2);
        std::exit(2);
    }
    [[noreturn]] void endFromStream(uint32_t status) {
        // The host's game ended for a reason of its own machine: this one ends with it, its
        // recording cut off there.
        traceAt(last_, "exit " + std::to_string(status));
        if (opts_.writer) opts_.writer->flush();
        shutDown_ = true;
        link_.finish();
        inner_->shutdown(int(status));
        std::exit(int(status));
    }
    [[noreturn]] void lostHost(const std::string& why) {
        say("lost the host: " + why);
        inner_->setStatus("lost the host: " + why);
        if (opts_.writer) opts_.writer->flush();
        shutDown_ = true;
        inner_->shutdown(1);
        std::exit(1);
    }
    void handleEvents() {
        std::deque<LinkEvent> events;
        std::string lost;
        int hostEnded = -1;
        std::string status;
        bool playerGone = false;
        {
            std::lock_guard<std::mutex> l(link_.inbox.lock);
            events.swap(link_.inbox.events);
            if (std::exchange(link_.inbox.statusChanged, false)) status = link_.inbox.status;
            if (link_.inbox.closed && driving()) lost = link_.inbox.closeReason;
            // The host's own turn in a match with the second player, who left meanwhile.
            if (opts_.seat == 0 && driving() && matchPlayer_ != 0 &&
                link_.inbox.player != matchPlayer_) {
                matchPlayer_ = 0;
                playerGone = true;
            }
            // While the second player drives, the host sends nothing but its end.
            if (driving() && opts_.seat == 1 && !link_.inbox.entries.empty()) {
                const StreamEntry e = link_.inbox.entries.front();
                if (e.kind == StreamEntry::End)
                    hostEnded = int(e.value);
                else
                    lost = "the host sent entries out of turn";
                link_.inbox.entries.clear();
            }
        }
        if (!status.empty()) inner_->setStatus(status);
        if (hostEnded >= 0) endFromStream(uint32_t(hostEnded));
        if (!lost.empty()) lostHost(lost);
        if (playerGone) {
            say("the second player is gone; this machine plays on");
            escape_ = escape_ || inMatch_;
        }
        for (const LinkEvent& e : events) {
            if (e.kind == LinkEvent::Mismatch)
                say("a follower's picture differs from this game's at turn " +
                    std::to_string(e.turn) + (inMatch_ ? "; the match ends" : ""));
            // The second player's game may still be following the turn the host passed on: the
            // match ends when it drives again (if it is still on by then).
            if (driving() || opts_.seat == 1)
                escape_ = escape_ || inMatch_;
            else if (opts_.seat == 0 && e.kind == LinkEvent::Escape)
                link_.sendEscape();
            else if (opts_.seat == 0)
                link_.sendMismatch(e.turn);
        }
    }

    NetPlayOptions opts_;
    NetLink& link_;
    int driver_ = 0;            // the seat whose machine drives: the host's at the start
    uint64_t following_ = 0;    // host: the player connection it follows
    uint64_t matchPlayer_ = 0;  // host: the one it plays this match against, while seated
    int64_t offset_ = 0;        // the game's clock less the inner back end's
    uint32_t last_ = 0;         // the last reading
    uint32_t turn_ = 0;
    uint32_t escapeAt_ = 0;  // the reading at which recover() pressed Escape
    bool inMatch_ = false;
    bool held_[256] = {};
    bool injecting_ = false, localEnd_ = false, shutDown_ = false;
    bool keyUps_ = false, escape_ = false, escapeUp_ = false;
    size_t next_ = 0;  // the script's next event
    StreamEntry current_;
    std::string batch_;
    uint64_t batchProducer_ = 0;
    uint32_t runDelta_ = 0, runCount_ = 0;
    Clock::time_point batchStarted_;  // when the first entry of the batch was made
    uint64_t batchSerial_ = 0;        // the drawing counter then
    uint64_t idleSerial_ = 0;         // the drawing counter at the last idle
};

}  // namespace

std::unique_ptr<Backend> makeNetBackend(std::unique_ptr<Backend> inner, NetPlayOptions options) {
    return std::make_unique<NetBackend>(std::move(inner), std::move(options));
}

}  // namespace platform
