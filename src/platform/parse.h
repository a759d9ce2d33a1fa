// Numbers in text the program reads (options, scripts, recordings): one parser for all of them.
#pragma once

#include <charconv>
#include <string_view>
#include <system_error>

namespace platform {

// The whole of `text` as an unsigned (or signed) number of type T in `base`: no spaces, no '+',
// nothing after the digits, and it must fit T. False leaves `value` unspecified.
template <typename T>
bool parseNumber(std::string_view text, T& value, int base = 10) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && p == end;
}

}  // namespace platform
