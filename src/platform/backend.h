// The one interface with two implementations: the SDL2 back end (sdl/) and the headless one
// (headless/). host.cpp owns the message queue and forwards everything else here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/host.h"

namespace platform {

class Backend {
public:
    virtual ~Backend() = default;

    virtual bool createWindow(const char* caption) = 0;
    virtual void showWindow() {}
    virtual void hideCursor() {}
    virtual void getWindowRect(Rect& rect) = 0;

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

    // Alt+Enter: between full screen and a window (SDL only).
    virtual void toggleFullscreen() {}

    virtual bool tracing() const { return false; }
    virtual void trace(const std::string&) {}

    // Last words before exit(code): the headless back end writes "<ms> exit <code>".
    virtual void shutdown(int exitCode) { (void)exitCode; }
};

// The active back end. Until one is installed, a headless back end without a script serves
// (so unit tests can use every layer in-process).
Backend& backend();
void installBackend(std::unique_ptr<Backend> b);

// The message queue of the one window.
void enqueueMessage(const Message& msg);
// When set, every message a back end enqueues passes the gate first and is dropped when it says
// false: a recording notes each one, a replay in a window keeps the viewer's keys away from the
// game. Messages the game posts itself do not pass it.
void setMessageGate(std::function<bool(const Message&)> gate);
bool messageQueueEmpty();
// Drops every queued message and the quit flag, and forgets the window procedure's state
// (for tests that start over in one process).
void resetMessageQueue();

}  // namespace platform
