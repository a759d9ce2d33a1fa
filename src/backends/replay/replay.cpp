#include "backends/replay/replay.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/audio.h"
#include "platform/bitmap.h"
#include "platform/display.h"
#include "platform/snapshot.h"

namespace platform {

namespace {

void writeTrace(std::FILE* out, uint32_t ms, const std::string& text) {
    if (!out) return;
    std::fprintf(out, "%u %s\n", unsigned(ms), text.c_str());
}

std::string messageBoxLine(const std::string& text, const char* caption) {
    return "messagebox [" + std::string(caption ? caption : "") + "] " + text;
}

class RecordingBackend final : public WrappingBackend {
public:
    RecordingBackend(std::unique_ptr<Backend> inner, std::unique_ptr<RecordWriter> writer,
                     std::FILE* traceOut)
        : WrappingBackend(std::move(inner)), writer_(std::move(writer)), traceOut_(traceOut) {
        if (writer_)
            setMessageGate(
                [](void* w, const Message& m) {
                    static_cast<RecordWriter*>(w)->message(m);
                    return true;
                },
                writer_.get());
    }
    ~RecordingBackend() override {
        setMessageGate(nullptr, nullptr);
        if (traceOut_) std::fclose(traceOut_);
    }

    void poll(bool queueEmpty) override { inner_->poll(queueEmpty); }
    uint32_t now() override {
        const uint32_t t = inner_->now();
        if (writer_) writer_->clock(t);
        return t;
    }
    void idle(bool hasDeadline, uint32_t deadline) override { inner_->idle(hasDeadline, deadline); }
    void waitVerticalBlank() override { inner_->waitVerticalBlank(); }
    void messageBox(const std::string& text, const char* caption) override {
        trace(messageBoxLine(text, caption));
        if (writer_) writer_->flush();  // the box may stay up for long
        inner_->messageBox(text, caption);
    }
    bool tracing() const override { return writer_ || traceOut_; }
    void trace(const std::string& text) override {
        const uint32_t t = now();
        writeTrace(traceOut_, t, text);
        if (traceOut_) std::fflush(traceOut_);
    }
    void shutdown(int exitCode) override {
        if (!std::exchange(shutDown_, true)) {
            trace("exit " + std::to_string(exitCode));
            if (writer_) writer_->finish();
        }
        inner_->shutdown(exitCode);
    }
    // The recording is left cut off (no "end"): its replay ends where the file does.
    void displayLost() override {
        if (writer_) writer_->flush();
        if (traceOut_) std::fflush(traceOut_);
    }

    SoundDevice* settleSoundDevice(SoundDevice* opened) override {
        if (writer_) writer_->soundDevice(opened != nullptr);
        return opened;
    }

private:
    std::unique_ptr<RecordWriter> writer_;
    std::FILE* traceOut_;
    bool shutDown_ = false;
};

class ReplayBackend final : public Backend {
public:
    ReplayBackend(Recording recording, ReplayOptions options, std::unique_ptr<Backend> window)
        : rec_(std::move(recording)), opts_(std::move(options)), window_(std::move(window)) {
        if (window_)
            setMessageGate(
                [](void* self, const Message& m) {
                    return static_cast<ReplayBackend*>(self)->fromViewer(m);
                },
                this);
    }
    ~ReplayBackend() override { setMessageGate(nullptr, nullptr); }

    bool createWindow(const char* caption) override {
        return window_ ? window_->createWindow(caption) : true;
    }
    void showWindow() override {
        if (window_) window_->showWindow();
    }
    void hideCursor() override {
        if (window_) window_->hideCursor();
    }

    // The messages the recorded game found at this point of its clock join the queue.
    void poll(bool queueEmpty) override {
        if (window_) {
            window_->poll(queueEmpty);
            if (viewerEnded_) end(false);
        }
        keepPicture();
        while (peek() && entry_.kind == RecordEntry::Message) {
            injecting_ = true;
            enqueueMessage(entry_.message);
            injecting_ = false;
            taken_ = true;
        }
    }
    uint32_t now() override {
        if (!peek()) ranOut("a clock reading");
        if (entry_.kind != RecordEntry::Clock) outOfStep("a clock reading");
        now_ += entry_.delta;
        if (++used_ == entry_.count) {
            used_ = 0;
            taken_ = true;
        }
        if (now_ > opts_.maxMs) {
            writeTrace(opts_.traceOut, now_, "timeout");
            quitTraced(finish(124));
        }
        if (window_) pace();
        return now_;
    }
    void idle(bool, uint32_t) override {}  // the pace is kept by now()
    void waitVerticalBlank() override {}
    void messageBox(const std::string& text, const char* caption) override {
        trace(messageBoxLine(text, caption));
        if (window_) window_->messageBox(text, caption);
    }
    bool openDisplay() override { return window_ ? window_->openDisplay() : true; }
    void closeDisplay() override {
        if (window_) window_->closeDisplay();
    }
    bool realAudio() const override { return window_ && window_->realAudio(); }
    std::unique_ptr<AudioOutput> openAudio(AudioPull pull, void* user, uint32_t& rate) override {
        return window_ ? window_->openAudio(pull, user, rate) : nullptr;
    }
    // The viewer's Alt+Enter decides, not the player's.
    void toggleFullscreen() override {}
    bool tracing() const override { return true; }
    void trace(const std::string& text) override {
        const uint32_t t = now();
        writeTrace(opts_.traceOut, t, text);
    }
    // The trace's exit line names the run's status, which may not be the game's.
    void shutdown(int exitCode) override {
        if (shutDown_) return;
        const uint32_t t = now();  // the reading the recorded game took for its exit line
        int status = exitCode;
        // The recorded game ended here too: what the recording still holds came from another one.
        if (rec_.complete && peek()) status = outOfStepAt("the end of the game");
        status = finish(status);
        writeTrace(opts_.traceOut, t, "exit " + std::to_string(status));
        if (status != exitCode) quit(status);
        close(status);
    }
    void displayLost() override {
        if (opts_.traceOut) std::fflush(opts_.traceOut);
    }

    SoundDevice* settleSoundDevice(SoundDevice* opened) override {
        if (!peek()) ranOut("whether a sound device opened");
        if (entry_.kind != RecordEntry::SoundDevice) outOfStep("whether a sound device opened");
        taken_ = true;
        const bool recorded = entry_.delta != 0;
        if (!recorded && opened) {
            opened->release();
            return nullptr;
        }
        // No device here, but the recorded game had one: a silent one plays the same part.
        return recorded && !opened ? SoundDevice::createSilent() : opened;
    }

private:
    // Keeps the recorded pace: a reading is handed out once as much time has passed since the
    // first one as had passed in the recording. The window is kept alive meanwhile.
    void pace() {
        const int64_t t = now_;
        if (!paced_) {
            paced_ = true;
            offset_ = int64_t(window_->now()) - t;
        }
        for (;;) {
            window_->poll(false);
            if (viewerEnded_) end(false);
            const int64_t left = t + offset_ - int64_t(window_->now());
            if (left <= 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 2)));
        }
    }
    bool fromViewer(const Message& m) {
        if (injecting_) return true;
        if ((m.message == WM_KEYDOWN && m.wParam == VK_PAUSE) || m.message == WM_CLOSE)
            viewerEnded_ = true;
        if (m.message == WM_SYSKEYDOWN && m.wParam == VK_RETURN && (m.lParam & (1 << 29)) &&
            !(m.lParam & (1 << 30)))
            window_->toggleFullscreen();
        return false;
    }
    // The entry the game is at; false when they are used up.
    bool peek() {
        if (taken_) {
            taken_ = false;
            more_ = entries_.next(entry_);
        }
        return more_;
    }
    // Keeps the front surface the game shows while the display is open: the game clears and
    // closes it before it ends, and the end picture is the last one it showed.
    void keepPicture() {
        const DisplayDevice* device = DisplayDevice::current();
        const Surface* front = device ? device->primary() : nullptr;
        if (opts_.endPicture.empty() || !front || drawSerial == keptSerial_) return;
        keptSerial_ = drawSerial;
        picture_ = encodeBitmap8(front->width(), front->height(), front->data(), front->pitch(),
                                 device->devicePalette());
    }
    // Writes the end picture; the run's status: `status`, or 3 when the picture was asked for
    // and not written (as for a script's snapshot, that is no successful end).
    int finish(int status) {
        shutDown_ = true;
        if (opts_.endPicture.empty()) return status;
        keepPicture();
        if (picture_.empty()) picture_ = encodeSnapshot();  // the display never opened: black
        std::string error;
        if (writeSnapshot(opts_.endPicture, picture_, error)) return status;
        std::fprintf(stderr, "varnis: cannot write %s: %s\n", opts_.endPicture.c_str(),
                     error.c_str());
        return 3;
    }
    void close(int status) {
        if (opts_.traceOut) std::fflush(opts_.traceOut);
        if (window_) window_->shutdown(status);
    }
    [[noreturn]] void quit(int status) {
        close(status);
        std::fflush(stdout);
        std::exit(status);
    }
    // The entries are used up. A recording that ended in order holds everything its game asked
    // for, so a game asking for more plays differently; a cut-off one simply ends here.
    [[noreturn]] void ranOut(const char* wanted) {
        if (rec_.complete) outOfStep(wanted);
        end(true);
    }
    // The recording ran out (traced) or the viewer ended the replay.
    [[noreturn]] void end(bool cutOff) {
        if (cutOff) writeTrace(opts_.traceOut, now_, "end of recording");
        quit(finish(0));
    }
    [[noreturn]] void outOfStep(const char* wanted) { quitTraced(finish(outOfStepAt(wanted))); }
    // A run the replay ends with an error ends its trace as the game would: "exit <status>".
    [[noreturn]] void quitTraced(int status) {
        writeTrace(opts_.traceOut, now_, "exit " + std::to_string(status));
        quit(status);
    }
    int outOfStepAt(const char* wanted) {
        std::fprintf(
            stderr,
            "varnis: %s: at %u ms the game asked for %s where the recording holds something else; "
            "it was made by a varnis that plays differently\n",
            opts_.source.c_str(), unsigned(now_), wanted);
        return 2;
    }

    Recording rec_;
    ReplayOptions opts_;
    std::unique_ptr<Backend> window_;
    EntryReader entries_{rec_};
    RecordEntry entry_;  // the entry the game is at, when more_
    bool taken_ = true;  // entry_ is used up: the next one is read when wanted
    bool more_ = false;
    uint32_t used_ = 0;  // readings already taken from the clock entry entry_
    uint32_t now_ = 0;
    bool paced_ = false;
    int64_t offset_ = 0;
    bool injecting_ = false, viewerEnded_ = false, shutDown_ = false;
    std::vector<uint8_t>
        picture_;  // the last picture the game showed, when an end picture is wanted
    uint64_t keptSerial_ = ~uint64_t(0);
};

}  // namespace

std::unique_ptr<Backend> makeRecordingBackend(std::unique_ptr<Backend> inner,
                                              std::unique_ptr<RecordWriter> writer,
                                              std::FILE* traceOut) {
    return std::make_unique<RecordingBackend>(std::move(inner), std::move(writer), traceOut);
}

std::unique_ptr<Backend> makeReplayBackend(Recording recording, ReplayOptions options,
                                           std::unique_ptr<Backend> window) {
    return std::make_unique<ReplayBackend>(std::move(recording), std::move(options),
                                           std::move(window));
}

}  // namespace platform
