// The recording reader on arbitrary bytes: it refuses with a reason or accepts entries that a
// replay can follow (counts of at least one, known messages, a clock that never passes 2^32 - 1,
// no more readings than a game takes). The first byte chooses what the rest is: the file itself
// (mostly refused by gzip) or the text inside it, compressed here so that the text's reader is
// reached.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "backends/replay/recording.h"

namespace {

std::string gzip(const uint8_t* data, size_t size) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) __builtin_trap();
    std::string out(deflateBound(&z, uLong(size)), '\0');
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) __builtin_trap();
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string bytes = data[0] & 1
                                  ? gzip(data + 1, size - 1)
                                  : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    platform::Recording r;
    std::string error;
    if (!platform::readRecording(bytes, r, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    uint64_t t = 0, readings = 0;
    platform::EntryReader entries(r);
    for (platform::RecordEntry e; entries.next(e);) {
        if (e.kind == platform::RecordEntry::Clock) {
            if (e.count == 0) __builtin_trap();
            t += uint64_t(e.delta) * e.count;
            readings += e.count;
        } else if (e.kind == platform::RecordEntry::Message) {
            if (e.message.wParam > 255 || e.message.message < platform::WM_MOVE) __builtin_trap();
        } else if (e.delta > 1) {
            __builtin_trap();
        }
    }
    if (t > 0xFFFFFFFFu || readings > platform::kMaxReadingsPerMs * (t + 1000)) __builtin_trap();
    return 0;
}
