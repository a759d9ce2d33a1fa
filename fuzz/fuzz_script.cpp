// The headless runner's script parser on arbitrary text: it accepts or refuses with a line
// number, and what it accepts is in time order with key codes and snapshot names in range.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "backends/headless/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<platform::ScriptEvent> events;
    std::string error;
    if (!platform::parseScript(text, events, error)) {
        if (error.rfind("line ", 0) != 0) __builtin_trap();
        return 0;
    }
    for (size_t i = 0; i < events.size(); ++i) {
        const platform::ScriptEvent& e = events[i];
        if (i > 0 && events[i - 1].ms > e.ms) __builtin_trap();
        if (e.vk > 255) __builtin_trap();
        if (e.kind == platform::ScriptEvent::Snapshot) {
            if (e.name.empty() || e.name.size() > 200) __builtin_trap();
            for (char c : e.name)
                if (!std::isalnum(uint8_t(c)) && c != '-' && c != '_') __builtin_trap();
        }
    }
    return 0;
}
