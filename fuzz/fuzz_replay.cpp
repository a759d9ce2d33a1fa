// The recording reader on arbitrary bytes: it refuses with a reason or accepts entries that a
// replay can follow (counts of at least one, known messages, a clock that never passes 2^32 - 1).
#include <cstddef>
#include <cstdint>
#include <string>

#include "backends/replay/recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::Recording r;
    std::string error;
    if (!platform::parseRecording(std::string(reinterpret_cast<const char*>(data), size), r, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    uint64_t t = 0;
    for (const platform::RecordEntry& e : r.entries) {
        if (e.kind == platform::RecordEntry::Clock) {
            if (e.count == 0) __builtin_trap();
            t += uint64_t(e.delta) * e.count;
        } else if (e.kind == platform::RecordEntry::Message) {
            if (e.message.wParam > 255 || e.message.message < platform::WM_MOVE) __builtin_trap();
        } else if (e.delta > 1) {
            __builtin_trap();
        }
    }
    if (t > 0xFFFFFFFFu) __builtin_trap();
    return 0;
}
