// The network frame reader on arbitrary bytes: it refuses with a reason, or what it accepts is
// in range and written back byte for byte the same (one spelling per frame, so nothing a peer
// sends is read two ways).
#include <cstddef>
#include <cstdint>
#include <string>

#include "backends/net/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    platform::Frame f;
    std::string error;
    if (!platform::parseFrame(bytes, f, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    std::string again;
    switch (f.kind) {
        case 's':
            again = "s";
            for (const platform::StreamEntry& e : f.entries) {
                if ((e.kind == platform::StreamEntry::Clock && e.count == 0) ||
                    e.message.wParam > 255)
                    __builtin_trap();
                platform::encodeEntry(e, again);
            }
            break;
        case 'h':
            if (f.hello.protocol != platform::kNetProtocol) return 0;
            again = platform::encodeHello(f.hello);
            break;
        case 'w': again = platform::encodeWelcome(f.player, f.seed); break;
        case 'r': again = platform::encodeRefusal(f.text); break;
        case 'm': again = platform::encodeMismatch(f.turn); break;
        default: again = bytes;
    }
    if (again != bytes) __builtin_trap();
    return 0;
}
