// Text that came from a file or the command line, made safe to show on a terminal: a recording's
// header or a script line could otherwise move the cursor, clear the screen or retitle the
// window when a message quotes it, and a CR from a CRLF file would overwrite the line it is in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// `text` with every control character written out: \t, \r and \n by those names, the rest of
// C0, DEL, the C1 controls (U+0080 to U+009F) and bytes that are not UTF-8 as \xNN. Other UTF-8
// (a file name in Japanese, say) stays as it is; so does the backslash, which Windows paths use.
inline std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&out](uint8_t c) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(c));
        out += c == '\t' ? "\\t" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : hex;
    };
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = uint8_t(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                escape(c);
            else
                out += char(c);
            ++i;
            continue;
        }
        // The length a lead byte announces; the sequence must hold that many continuation bytes.
        const size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                         : c >= 0xE0 && c <= 0xEF ? 3
                         : c >= 0xF0 && c <= 0xF4 ? 4
                                                  : 0;
        size_t k = 1;
        while (n && k < n && i + k < text.size() && (uint8_t(text[i + k]) & 0xC0) == 0x80) ++k;
        const bool c1 = c == 0xC2 && n == k && uint8_t(text[i + 1]) < 0xA0;
        if (!n || k < n || c1) {
            escape(c);  // the rest of a broken sequence is looked at byte by byte
            ++i;
            continue;
        }
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace platform
