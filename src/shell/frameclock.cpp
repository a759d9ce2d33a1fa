#include "shell/frameclock.h"

#include <cstring>

#include "platform/host.h"
#include "platform/stats.h"
#include "shell/shell.h"

uint32_t frameStart = 0;

int pumpMessages() {
    platform::Message msg;
    while (platform::peekMessage()) {
        if (!platform::getMessage(msg)) return 0;
        platform::translateMessage(msg);
        platform::dispatchMessage(msg);
    }
    return 1;
}

void startFrame() {
    frameStart = platform::timeGetTime();
    platform::stats::frameStarted();
}

// Each pass first lets the platform idle: it returns at once after drawing or when a message
// waits, and otherwise may block on the event queue until shortly before the deadline, so a wait
// does not keep a processor busy. The end conditions are tested exactly as the spinning original
// tested them.
void waitUntil(uint32_t ms) {
    const uint32_t deadline = frameStart + ms;
    for (;;) {
        platform::idle(true, deadline + 1);
        if (!pumpMessages()) platform::exitProcess(1);
        const uint32_t now = platform::timeGetTime();
        if (now > deadline || waitEnabled == 0) {
            platform::stats::stepEnded(ms);
            return;
        }
    }
}

void waitFor(uint32_t ms) {
    const uint32_t start = platform::timeGetTime();
    const uint32_t deadline = start + ms;
    for (;;) {
        platform::idle(true, deadline);
        if (!pumpMessages()) platform::exitProcess(1);
        const uint32_t now = platform::timeGetTime();
        if (now >= deadline) return;
        if (waitEnabled == 0) return;
    }
}

void clearKeys() { std::memset(keyDown, 0, sizeof keyDown); }
