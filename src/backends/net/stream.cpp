#include "backends/net/stream.h"

#include <random>

namespace platform {

namespace {

void putNumber(uint32_t v, std::string& out) {
    while (v >= 0x80) {
        out += char(0x80 | (v & 0x7F));
        v >>= 7;
    }
    out += char(v);
}

void putText(const std::string& s, std::string& out) {
    putNumber(uint32_t(s.size()), out);
    out += s;
}

class Reader {
public:
    explicit Reader(const std::string& s) : s_(s) {}
    bool done() const { return i_ == s_.size(); }
    bool byte(uint8_t& b) {
        if (i_ >= s_.size()) return false;
        b = uint8_t(s_[i_++]);
        return true;
    }
    // Unsigned LEB128 in its shortest form, at most 32 bits.
    bool number(uint32_t& v) {
        uint64_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            uint8_t b;
            if (!byte(b)) return false;
            value |= uint64_t(b & 0x7F) << shift;
            if (b & 0x80) continue;
            if (value > 0xFFFFFFFFu || (b == 0 && shift > 0))
                return false;  // too large, or not the shortest form
            v = uint32_t(value);
            return true;
        }
        return false;
    }
    bool text(size_t max, std::string& out) {
        uint32_t n;
        if (!number(n) || n > max || n > s_.size() - i_) return false;
        out = s_.substr(i_, n);
        i_ += n;
        return true;
    }
    bool hash(uint64_t& h) {
        if (s_.size() - i_ < 8) return false;
        h = 0;
        for (int k = 0; k < 8; ++k) h |= uint64_t(uint8_t(s_[i_++])) << (8 * k);
        return true;
    }

private:
    const std::string& s_;
    size_t i_ = 1;  // past the frame's kind
};

bool knownMessage(uint32_t m) {
    return m == WM_MOVE || m == WM_CLOSE || m == WM_SETCURSOR || m == WM_KEYDOWN || m == WM_KEYUP ||
           m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
}

bool printable(const std::string& s) {
    for (char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

bool checksum(const std::string& s) {
    return s == "missing" ||
           (s.size() == 16 && s.find_first_not_of("0123456789abcdef") == std::string::npos);
}

bool parseEntry(Reader& r, StreamEntry& e, std::string& error) {
    uint8_t kind = 0;
    r.byte(kind);  // there is one: the caller reads entries until none is left
    uint32_t a = 0, b = 0, c = 0;
    switch (kind) {
        case StreamEntry::Clock:
            if (!r.number(a) || !r.number(b) || b == 0)
                return error = "a clock entry is malformed", false;
            e.value = a;
            e.count = b;
            break;
        case StreamEntry::Message:
            if (!r.number(a) || !r.number(b) || !r.number(c) || !knownMessage(a) || b > 0xFF)
                return error = "a message entry is malformed or unknown", false;
            e.message = Message{a, b, int32_t(c)};
            break;
        case StreamEntry::SoundDevice:
        case StreamEntry::End:
            if (!r.number(a) || a > (kind == StreamEntry::End ? 255u : 1u))
                return error = "an entry's value is out of range", false;
            e.value = a;
            break;
        case StreamEntry::Turn:
            if (!r.number(b) || !r.number(a) || a > 1 || !r.hash(e.hash))
                return error = "a turn entry is malformed", false;
            e.value = a;
            e.count = b;
            break;
        default: return error = "an entry of unknown kind " + std::to_string(kind), false;
    }
    e.kind = StreamEntry::Kind(kind);
    return true;
}

bool parseHello(Reader& r, Hello& h, std::string& error) {
    uint8_t watch = 0;
    if (!r.number(h.protocol)) return error = "the hello is malformed", false;
    if (h.protocol != kNetProtocol)
        return true;  // the rest is another protocol's: refused by the caller
    if (!r.text(32, h.version) || h.version.empty() || !printable(h.version) || !r.number(h.compat))
        return error = "the hello does not name the program", false;
    for (std::string& f : h.files)
        if (!r.text(16, f) || !checksum(f))
            return error = "the hello's data file checksums are malformed", false;
    if (!r.text(kMaxCodeLength, h.code) || (!h.code.empty() && !validCode(h.code)) ||
        !r.byte(watch) || watch > 1)
        return error = "the hello's code or role is malformed", false;
    h.watch = watch != 0;
    return true;
}

}  // namespace

void encodeEntry(const StreamEntry& e, std::string& out) {
    out += char(e.kind);
    switch (e.kind) {
        case StreamEntry::Clock:
            putNumber(e.value, out);
            putNumber(e.count, out);
            break;
        case StreamEntry::Message:
            putNumber(e.message.message, out);
            putNumber(e.message.wParam & 0xFF, out);
            putNumber(uint32_t(e.message.lParam), out);
            break;
        case StreamEntry::SoundDevice:
        case StreamEntry::End: putNumber(e.value, out); break;
        case StreamEntry::Turn:
            putNumber(e.count, out);
            putNumber(e.value, out);
            for (int k = 0; k < 8; ++k) out += char(uint8_t(e.hash >> (8 * k)));
            break;
    }
}

std::string encodeHello(const Hello& h) {
    std::string out = "h";
    putNumber(h.protocol, out);
    putText(h.version, out);
    putNumber(h.compat, out);
    for (const std::string& f : h.files) putText(f, out);
    putText(h.code, out);
    out += char(h.watch ? 1 : 0);
    return out;
}

std::string encodeWelcome(bool player, uint32_t seed) {
    std::string out = "w";
    out += char(player ? 1 : 0);
    putNumber(seed, out);
    return out;
}

std::string encodeRefusal(const std::string& why) {
    std::string out = "r";
    putText(why.substr(0, 200), out);
    return out;
}

std::string encodeMismatch(uint32_t turn) {
    std::string out = "m";
    putNumber(turn, out);
    return out;
}

bool parseFrame(const std::string& bytes, Frame& f, std::string& error) {
    f = Frame{};
    if (bytes.empty() || bytes.size() > kMaxFrame)
        return error = "a frame is empty or too large", false;
    f.kind = bytes[0];
    Reader r(bytes);
    uint8_t b = 0;
    switch (f.kind) {
        case 'h':
            if (!parseHello(r, f.hello, error)) return false;
            if (f.hello.protocol != kNetProtocol) return true;
            break;
        case 'w':
            if (!r.byte(b) || b > 1 || !r.number(f.seed))
                return error = "the welcome is malformed", false;
            f.player = b == 1;
            break;
        case 'r':
            if (!r.text(200, f.text) || !printable(f.text))
                return error = "the refusal is malformed", false;
            break;
        case 's':
            while (!r.done()) {
                StreamEntry e;
                if (!parseEntry(r, e, error)) return false;
                f.entries.push_back(e);
            }
            if (f.entries.empty()) return error = "a stream frame holds no entries", false;
            break;
        case 'e': break;
        case 'm':
            if (!r.number(f.turn)) return error = "the mismatch notice is malformed", false;
            break;
        default: return error = "a frame of unknown kind", false;
    }
    if (!r.done()) return error = "a frame has bytes past its end", false;
    return true;
}

bool validCode(const std::string& code) {
    if (code.empty() || code.size() > kMaxCodeLength) return false;
    for (char c : code)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    return true;
}

std::string randomCode() {
    static constexpr char kDigits[] = "23456789abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ";
    std::random_device source;  // the system's random source (getrandom on Linux)
    std::string code;
    for (int i = 0; i < 22; ++i) {
        uint32_t v;
        do v = source();
        while (v >= 0xFFFFFFFFu - 0xFFFFFFFFu % 56);  // no bias
        code += kDigits[v % 56];
    }
    return code;
}

}  // namespace platform
