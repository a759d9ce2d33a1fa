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
    uint32_t maxMs = 3600000;
    std::FILE* traceOut = nullptr;  // null: no trace
};

std::unique_ptr<Backend> makeHeadlessBackend(HeadlessOptions options);

// Parses a script. On error returns false with "line N: what" in error.
bool parseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error);

}  // namespace platform
