// The headless back end: no window, no audio device, a virtual millisecond clock, input from a
// script, snapshots of the front surface and a trace of what the game did.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace platform {

struct ScriptEvent {
    enum Kind { KeyDown, KeyUp, Close, Snapshot } kind = KeyDown;
    uint32_t ms = 0;
    uint32_t vk = 0;
    std::string name;  // snapshot name
};

struct HeadlessOptions {
    std::vector<ScriptEvent> events;  // in time order (stable for equal times)
    std::string snapshotDir = ".";
    // The first time the clock passes maxMs the run ends with "timeout" and status 124.
    uint32_t maxMs = 3600000;
    std::FILE* traceOut = nullptr;  // null: no trace
};

std::unique_ptr<Backend> makeHeadlessBackend(HeadlessOptions options);

// The window message a script's key or close event stands for (a release as the system sends it);
// false for a snapshot, which is no message.
bool scriptMessage(const ScriptEvent& e, Message& msg);

// Parses a script: one event a line, "<ms> down|up|tap <vk>", "<ms> close" or
// "<ms> snapshot <name>"; blank lines and lines starting with '#' are skipped. Events come out in
// time order, equal times in line order (a tap's release keeps its line's place). On error returns
// false with "line N: what" in error.
bool parseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error);

}  // namespace platform
