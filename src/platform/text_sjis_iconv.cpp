// Shift-JIS through iconv.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace platform {

std::u32string decodeShiftJis(const char* sjis) {
    std::u32string out;
    if (!sjis) return out;
    // Some C libraries know code page 932 only by its JIS name.
    static iconv_t cd = [] {
        iconv_t c = iconv_open("UTF-32LE", "CP932");
        return c != iconv_t(-1) ? c : iconv_open("UTF-32LE", "SHIFT_JIS");
    }();
    const size_t len = std::strlen(sjis);
    if (cd == iconv_t(-1)) {
        // No converter: pass ASCII through, everything else is unknown.
        for (size_t i = 0; i < len; ++i) {
            const auto b = uint8_t(sjis[i]);
            out += b < 0x80 ? char32_t(b) : char32_t(0xFFFD);
        }
        return out;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(sjis);
    size_t inLeft = len;
    char buf[256];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        const size_t produced = size_t(o - buf);
        for (size_t i = 0; i + 4 <= produced; i += 4) {
            const auto* u = reinterpret_cast<const uint8_t*>(buf + i);
            out += char32_t(u[0] | u[1] << 8 | u[2] << 16 | uint32_t(u[3]) << 24);
        }
        if (r == size_t(-1) && errno != E2BIG) {
            // An undecodable or truncated sequence: U+FFFD for its first byte, then carry on.
            out += char32_t(0xFFFD);
            ++in;
            --inLeft;
        }
    }
    return out;
}

}  // namespace platform
