#include "backends/replay/recording.h"

#include <cerrno>
#include <cstring>

#include "platform/datafile.h"

namespace platform {

namespace {

constexpr size_t kMaxFileBytes = size_t(64) << 20;
constexpr size_t kMaxLine = 4096;     // the writer ends its lines at about 1000 characters
constexpr uint32_t kMaxCount = 1000000000;

constexpr size_t kWindow = 4096;          // how far back the writer's copies reach
constexpr size_t kMaxEntries = size_t(1) << 24;  // about twelve hours of play
constexpr size_t kMaxExpanded = 65536;    // a line's entries once its copies are made

char deltaLetter(uint32_t d) { return d < 26 ? char('a' + d) : char('A' + (d - 26)); }

bool knownMessage(uint32_t m) {
    return m == WM_MOVE || m == WM_CLOSE || m == WM_SETCURSOR || m == WM_KEYDOWN || m == WM_KEYUP ||
           m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
}

// Reads digits (base 10 or 16) at s[i..] into value; false when there are none, too many, or the
// value passes max.
bool number(const std::string& s, size_t& i, int base, uint64_t max, uint64_t& value) {
    const size_t start = i;
    value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) break;
        if (i - start >= 10) return false;
        value = value * uint64_t(base) + uint64_t(digit);
    }
    return i > start && value <= max;
}

// Copies are written "*" and three characters of this alphabet: the distance back less one (two
// characters, most significant first) and the length less one.
constexpr char kCopyDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_";
constexpr size_t kMinCopy = 5, kMaxCopy = 64;

int copyDigit(char c) {
    const char* p = c ? std::strchr(kCopyDigits, c) : nullptr;
    return p ? int(p - kCopyDigits) : -1;
}

// Replaces repeats in `line` (entries text) by copies of text that came before, in `history` (the
// entries of the lines before) or earlier in the line. A copy may overlap what it makes.
std::string compressLine(const std::string& history, const std::string& line) {
    const size_t from = history.size() > kWindow ? history.size() - kWindow : 0;
    const std::string s = history.substr(from) + line;
    const size_t base = s.size() - line.size();
    // The latest earlier position of each three-character sequence, and the one before it.
    std::vector<int32_t> prev(s.size(), -1);
    std::vector<int32_t> head(4096, -1);
    auto hash = [&](size_t i) { return (uint8_t(s[i]) * 961u + uint8_t(s[i + 1]) * 31u + uint8_t(s[i + 2])) & 4095u; };
    auto insert = [&](size_t i) {
        if (i + 3 > s.size()) return;
        prev[i] = head[hash(i)];
        head[hash(i)] = int32_t(i);
    };
    for (size_t i = 0; i < base; ++i) insert(i);
    std::string out;
    for (size_t i = base; i < s.size();) {
        size_t bestLen = 0, bestDist = 0;
        if (i + 3 <= s.size()) {
            int tries = 64;
            for (int32_t j = head[hash(i)]; j >= 0 && tries-- > 0 && i - size_t(j) <= kWindow; j = prev[size_t(j)]) {
                size_t k = 0;
                while (k < kMaxCopy && i + k < s.size() && s[size_t(j) + k] == s[i + k]) ++k;
                if (k > bestLen) bestLen = k, bestDist = i - size_t(j);
            }
        }
        const size_t take = bestLen >= kMinCopy ? bestLen : 1;
        if (take > 1) {
            out += '*';
            out += kCopyDigits[(bestDist - 1) / 64];
            out += kCopyDigits[(bestDist - 1) % 64];
            out += kCopyDigits[take - 1];
        } else {
            out += s[i];
        }
        for (size_t k = 0; k < take; ++k) insert(i + k);
        i += take;
    }
    return out;
}

// Makes the copies of a line; false when one reaches before the text there is or the line grows
// past any the writer makes.
bool expandLine(const std::string& line, size_t start, std::string& history, std::string& out) {
    out.clear();
    for (size_t i = start; i < line.size();) {
        if (line[i] != '*') {
            out += line[i++];
            continue;
        }
        const int d1 = i + 3 < line.size() ? copyDigit(line[i + 1]) : -1;
        const int d2 = d1 >= 0 ? copyDigit(line[i + 2]) : -1;
        const int len = d2 >= 0 ? copyDigit(line[i + 3]) + 1 : 0;
        const size_t dist = size_t(d1 * 64 + d2 + 1);
        if (len <= 0 || dist > history.size() + out.size() || out.size() + size_t(len) > kMaxExpanded) return false;
        for (int k = 0; k < len; ++k)
            out += dist <= out.size() ? out[out.size() - dist] : history[history.size() - (dist - out.size())];
        i += 4;
    }
    history += out;
    if (history.size() > 2 * kMaxExpanded) history.erase(0, history.size() - kMaxExpanded);
    return true;
}

bool parseBody(const std::string& text, std::string& history, uint32_t& now, std::vector<RecordEntry>& out,
               std::string& why) {
    size_t i = 1;
    uint64_t start = 0;
    if (text.empty() || text[0] != '@' || !number(text, i, 10, 0xFFFFFFFFu, start) || i >= text.size() ||
        text[i] != ':') {
        why = "is not a line of clock readings and messages";
        return false;
    }
    if (start < now) {
        why = "goes back in time, from " + std::to_string(now) + " to " + std::to_string(start) + " ms";
        return false;
    }
    if (start != now) {
        why = "starts at " + std::to_string(start) + " ms, but the readings before end at " + std::to_string(now);
        return false;
    }
    std::string line;
    if (!expandLine(text, i + 1, history, line)) {
        why = "copies text from out of range";
        return false;
    }
    uint64_t t = now;
    for (i = 0; i < line.size();) {
        const char c = line[i++];
        RecordEntry e;
        uint64_t a = 0, b = 0, l = 0;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            e.delta = c >= 'a' ? uint32_t(c - 'a') : uint32_t(c - 'A' + 26);
            if (i < line.size() && line[i] >= '0' && line[i] <= '9') {
                if (!number(line, i, 10, kMaxCount, a) || a == 0) {
                    why = "has a repeat count out of range";
                    return false;
                }
                e.count = uint32_t(a);
            }
        } else if (c == '+') {
            if (!number(line, i, 10, 0xFFFFFFFFu, a)) {
                why = "has a clock step out of range";
                return false;
            }
            e.delta = uint32_t(a);
        } else if (c == '(') {
            e.kind = RecordEntry::Message;
            if (!number(line, i, 16, 0xFFFF, a) || i >= line.size() || line[i++] != ',' ||
                !number(line, i, 16, 0xFF, b) || i >= line.size() || line[i++] != ',' ||
                !number(line, i, 16, 0xFFFFFFFFu, l) || i >= line.size() || line[i++] != ')' ||
                !knownMessage(uint32_t(a))) {
                why = "has a message that is malformed or out of range";
                return false;
            }
            e.message = Message{uint32_t(a), uint32_t(b), int32_t(uint32_t(l))};
        } else if (c == '!' && i < line.size() && (line[i] == '0' || line[i] == '1')) {
            e.kind = RecordEntry::SoundDevice;
            e.delta = uint32_t(line[i++] - '0');
        } else {
            why = std::string("has an unknown entry at '") + c + "'";
            return false;
        }
        if (e.kind == RecordEntry::Clock) {
            t += uint64_t(e.delta) * e.count;
            if (t > 0xFFFFFFFFu) {
                why = "takes the clock past its last millisecond";
                return false;
            }
        }
        if (out.size() >= kMaxEntries) {
            why = "holds more entries than any recording";
            return false;
        }
        out.push_back(e);
    }
    now = uint32_t(t);
    return true;
}

}  // namespace

std::string dataFileChecksum(const char* name) {
    std::FILE* f = openDataFile(name);
    if (!f) return "missing";
    uint64_t h = 0xcbf29ce484222325ull;
    unsigned char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        for (size_t i = 0; i < n; ++i) h = (h ^ buf[i]) * 0x100000001b3ull;
    std::fclose(f);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

bool parseRecording(const std::string& text, Recording& r, std::string& error) {
    r = Recording{};
    if (text.empty()) {
        error = "the recording is empty";
        return false;
    }
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find('\n', pos);
        const size_t stop = end == std::string::npos ? text.size() : end;
        if (stop - pos > kMaxLine) {
            error = "line " + std::to_string(lines.size() + 1) + " is far longer than any recording's";
            return false;
        }
        if (end == std::string::npos) break;  // cut off while being written: not read
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    // The n-th word of a line (words are separated by single spaces); "" past the last.
    auto word = [](const std::string& line, size_t n) {
        size_t p = 0;
        for (size_t k = 0; k < n; ++k) {
            p = line.find(' ', p);
            if (p == std::string::npos) return std::string();
            ++p;
        }
        return line.substr(p, line.find(' ', p) - p);
    };
    if (lines.empty() || lines[0].rfind("varnis recording ", 0) != 0) {
        error = text.rfind("varnis recording ", 0) == 0 ? "the recording ends inside its header"
                                                       : "this is not a varnis recording";
        return false;
    }
    if (lines[0] != "varnis recording " + std::to_string(kRecordingFormat)) {
        error = "the recording is in format '" + lines[0].substr(17, 40) + "'; this varnis reads format " +
                std::to_string(kRecordingFormat);
        return false;
    }
    if (lines.size() < 7) {
        error = "the recording ends inside its header";
        return false;
    }
    uint64_t compat = 0, seed = 0;
    size_t i = 0;
    const std::string compatText = word(lines[1], 3);
    if (lines[1].rfind("game ", 0) != 0 || word(lines[1], 2) != "replay" ||
        !number(compatText, i, 10, 0xFFFFFFFFu, compat) || i != compatText.size() ||
        lines[1] != "game " + word(lines[1], 1) + " replay " + compatText) {
        error = "line 2 does not name the program that recorded it";
        return false;
    }
    r.version = word(lines[1], 1);
    r.compat = uint32_t(compat);
    const std::string seedText = lines[2].substr(std::min<size_t>(lines[2].size(), 5));
    i = 0;
    if (lines[2].rfind("seed ", 0) != 0 || !number(seedText, i, 10, 0xFFFFFFFFu, seed) || i != seedText.size()) {
        error = "line 3 does not hold the seed";
        return false;
    }
    r.seed = uint32_t(seed);
    for (int f = 0; f < 4; ++f) {
        const std::string& line = lines[size_t(3 + f)];
        const std::string prefix = std::string("file ") + kRecordedFiles[f] + " ";
        const std::string sum = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "";
        const bool hex = sum.size() == 16 && sum.find_first_not_of("0123456789abcdef") == std::string::npos;
        if (!hex && sum != "missing") {
            error = "line " + std::to_string(4 + f) + " does not hold the checksum of " + kRecordedFiles[f];
            return false;
        }
        r.files[f] = sum;
    }
    uint32_t now = 0;
    std::string history;
    for (size_t n = 7; n < lines.size(); ++n) {
        if (lines[n] == "end") {
            if (n + 1 != lines.size()) {
                error = "line " + std::to_string(n + 2) + " follows the end of the recording";
                return false;
            }
            r.complete = true;
            break;
        }
        std::string why;
        if (!parseBody(lines[n], history, now, r.entries, why)) {
            error = "line " + std::to_string(n + 1) + " " + why;
            return false;
        }
    }
    return true;
}

bool loadRecording(const std::string& path, Recording& r, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    std::string text;
    char buf[65536];
    size_t n;
    while (text.size() <= kMaxFileBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    const bool readError = std::ferror(f);
    std::fclose(f);
    if (readError) {
        error = "it cannot be read";
        return false;
    }
    if (text.size() > kMaxFileBytes) {
        error = "it is far larger than any recording";
        return false;
    }
    if (!parseRecording(text, r, error)) return false;
    if (r.compat != kReplayCompat) {
        error = "it was recorded by varnis " + r.version + " (replay " + std::to_string(r.compat) +
                "), and this varnis " VARNIS_VERSION " (replay " + std::to_string(kReplayCompat) +
                ") would play it differently";
        return false;
    }
    for (int i = 0; i < 4; ++i)
        if (dataFileChecksum(kRecordedFiles[i]) != r.files[i]) {
            error = std::string("it was played with another ") + kRecordedFiles[i] +
                    "; a replay needs the same four data files";
            return false;
        }
    return true;
}

// ---- Writing ---------------------------------------------------------------------------------

RecordWriter::~RecordWriter() {
    if (!file_) return;
    flush();
    std::fclose(file_);
}

bool RecordWriter::open(const std::string& path, uint32_t seed, std::string& error) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error = std::strerror(errno);
        return false;
    }
    pending_ = "varnis recording " + std::to_string(kRecordingFormat) + "\ngame " VARNIS_VERSION " replay " +
               std::to_string(kReplayCompat) + "\nseed " + std::to_string(seed) + "\n";
    for (const char* name : kRecordedFiles) pending_ += std::string("file ") + name + " " + dataFileChecksum(name) + "\n";
    flush();
    return true;
}

void RecordWriter::emitRun() {
    if (runCount_ == 0) return;
    if (line_.empty()) lineAt_ = written_;
    if (runDelta_ < 52) {
        line_ += deltaLetter(runDelta_);
        if (runCount_ > 1) line_ += std::to_string(runCount_);
    } else {
        for (uint32_t k = 0; k < runCount_; ++k) line_ += "+" + std::to_string(runDelta_);
    }
    written_ += runDelta_ * runCount_;
    runCount_ = 0;
    if (line_.size() >= 1000) endLine();
}

void RecordWriter::endLine() {
    if (line_.empty()) return;
    pending_ += "@" + std::to_string(lineAt_) + ":" + compressLine(history_, line_) + "\n";
    history_ += line_;
    if (history_.size() > 2 * kWindow) history_.erase(0, history_.size() - kWindow);
    line_.clear();
}

void RecordWriter::clock(uint32_t ms) {
    if (!file_) return;
    const uint32_t delta = ms - last_;  // the clock never goes back; a wrap is a step forward
    last_ = ms;
    if (runCount_ > 0 && (delta != runDelta_ || runCount_ == kMaxCount || delta >= 52)) emitRun();
    runDelta_ = delta;
    ++runCount_;
    if (ms - lastFlush_ >= 500) {
        lastFlush_ = ms;
        flush();
    }
}

void RecordWriter::message(const platform::Message& m) {
    if (!file_) return;
    emitRun();
    if (line_.empty()) lineAt_ = written_;
    char buf[40];
    std::snprintf(buf, sizeof buf, "(%x,%x,%x)", unsigned(m.message), unsigned(m.wParam & 0xFF), unsigned(m.lParam));
    line_ += buf;
    if (line_.size() >= 1000) endLine();
}

void RecordWriter::soundDevice(bool opened) {
    if (!file_) return;
    emitRun();
    if (line_.empty()) lineAt_ = written_;
    line_ += opened ? "!1" : "!0";
}

void RecordWriter::flush() {
    if (!file_) return;
    emitRun();
    endLine();
    if (!pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), file_);
    pending_.clear();
    if (std::fflush(file_) != 0 && !failed_) {
        failed_ = true;  // said once, when it happens: the game plays on
        std::fprintf(stderr, "varnis: cannot write the recording %s: %s\n", path_.c_str(), std::strerror(errno));
    }
}

void RecordWriter::finish() {
    if (!file_) return;
    flush();
    std::fputs("end\n", file_);
    if (std::fclose(file_) != 0 && !failed_)
        std::fprintf(stderr, "varnis: cannot write the recording %s: %s\n", path_.c_str(), std::strerror(errno));
    file_ = nullptr;
}

}  // namespace platform
