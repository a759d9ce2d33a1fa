// The one interface between the platform layer and what stands for a system: the SDL2 back end
// (sdl/), the headless one (headless/), the browser's (web/), and the recording and replaying
// wrappers (replay/). host.cpp owns the message queue and forwards everything else here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/host.h"

namespace platform {

// A running audio output. It pulls interleaved 16-bit stereo frames through the function it was
// opened with, on a thread of its own; destroying it stops the pulls (waiting for one under way).
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
};
class SoundDevice;
using AudioPull = void (*)(void* user, int16_t* frames, size_t count);

class Backend {
public:
    virtual ~Backend() = default;

    virtual bool createWindow(const char* caption) = 0;
    virtual void showWindow() {}
    virtual void hideCursor() {}

    // Called by every peek. Moves system events into the queue (enqueueMessage) and presents the
    // front surface when due. queueEmpty tells whether the queue held nothing before the look
    // (the headless clock advances by 1 ms exactly then).
    virtual void poll(bool queueEmpty) = 0;
    virtual uint32_t now() = 0;
    virtual void idle(bool hasDeadline, uint32_t deadline) = 0;
    virtual void waitVerticalBlank() = 0;

    // text and caption are UTF-8; caption null for the default caption.
    virtual void messageBox(const std::string& text, const char* caption) = 0;

    // DirectDrawCreate and the release of the device.
    virtual bool openDisplay() = 0;
    virtual void closeDisplay() = 0;

    // True when sounds should reach a real audio device (SDL); the headless back end uses a
    // silent device that accepts and refuses the same buffers.
    virtual bool realAudio() const { return false; }
    // Opens the audio device and starts pulling from `pull`. The device's rate (8000..192000 Hz)
    // is written to `rate` before the first pull. Null when no device opens.
    virtual std::unique_ptr<AudioOutput> openAudio(AudioPull pull, void* user, uint32_t& rate) {
        (void)pull, (void)user, (void)rate;
        return nullptr;
    }

    // The sound device the platform opened (or null) passes through here before the game gets it:
    // a recording notes whether there was one, a replay goes on with a device exactly when the
    // recorded game had one. The back end gives back the device the game is to use.
    virtual SoundDevice* settleSoundDevice(SoundDevice* opened) { return opened; }

    // Alt+Enter: between full screen and a window (SDL only).
    virtual void toggleFullscreen() {}

    virtual bool tracing() const { return false; }
    virtual void trace(const std::string&) {}

    // Last words before exit(code): the headless back end writes "<ms> exit <code>".
    virtual void shutdown(int exitCode) { (void)exitCode; }
    // The window system went away under the game, which ends at once without shutting down
    // (that would talk to the dead display): save what can be saved without touching it.
    virtual void displayLost() {}

    // The game is about to wait for `player` (0 the first player, 1 the second) and will go on
    // on that player's behalf until the next call; inMatch is false once back on the title. In
    // network play the machine of that player drives the game from here; alone it means nothing.
    virtual void awaitPlayer(int player, bool inMatch) { (void)player, (void)inMatch; }

    // The last thing that happened to the connections of network play (someone joined, left, was
    // refused or dropped), for the player's eyes only: a window shows it in its title, apart from
    // the game's picture and trace. Nothing elsewhere.
    virtual void setStatus(const std::string& text) { (void)text; }
};

// A back end that wraps another (recording, network play): the window, the display, the audio
// device and the title are the inner one's; a wrapper overrides what it stands between.
class WrappingBackend : public Backend {
public:
    explicit WrappingBackend(std::unique_ptr<Backend> inner) : inner_(std::move(inner)) {}

    bool createWindow(const char* caption) override { return inner_->createWindow(caption); }
    void showWindow() override { inner_->showWindow(); }
    void hideCursor() override { inner_->hideCursor(); }
    bool openDisplay() override { return inner_->openDisplay(); }
    void closeDisplay() override { inner_->closeDisplay(); }
    bool realAudio() const override { return inner_->realAudio(); }
    std::unique_ptr<AudioOutput> openAudio(AudioPull pull, void* user, uint32_t& rate) override {
        return inner_->openAudio(pull, user, rate);
    }
    void toggleFullscreen() override { inner_->toggleFullscreen(); }
    void setStatus(const std::string& text) override { inner_->setStatus(text); }

protected:
    std::unique_ptr<Backend> inner_;
};

// The active back end. Every program and test installs the one it uses before touching the
// platform; using it with none installed ends the process with a message saying so.
Backend& backend();
void installBackend(std::unique_ptr<Backend> b);

// The message queue of the one window.
void enqueueMessage(const Message& msg);
// When set, every message a back end enqueues passes the gate first and is dropped when it says
// false: a recording notes each one, a replay in a window keeps the viewer's keys away from the
// game. Messages the game posts itself do not pass it. A plain function and its argument, so the
// gate outlives nothing it points to at exit.
using MessageGate = bool (*)(void* user, const Message& msg);
void setMessageGate(MessageGate gate, void* user);
bool messageQueueEmpty();
// Drops every queued message and the quit flag, and forgets the window procedure's state
// (for tests that start over in one process).
void resetMessageQueue();

}  // namespace platform
