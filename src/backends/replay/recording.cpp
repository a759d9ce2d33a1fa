#include "backends/replay/recording.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/datafile.h"
#include "platform/parse.h"

namespace platform {

namespace {

constexpr size_t kMaxFileBytes = size_t(64) << 20;
// A recording's text grows by about 500 bytes a second of play (2 KB with Ctrl held), so this is
// some eighteen hours. The entries are kept as this text, so it also bounds the memory a
// recording takes: some 70 MB at most.
constexpr size_t kMaxText = size_t(32) << 20;
constexpr size_t kMaxLine = 4096;  // the writer ends its lines at about 1000 characters
constexpr uint32_t kMaxCount = 1000000000;

char deltaLetter(uint32_t d) { return d < 26 ? char('a' + d) : char('A' + (d - 26)); }

bool knownMessage(uint32_t m) {
    return m == WM_MOVE || m == WM_CLOSE || m == WM_SETCURSOR || m == WM_KEYDOWN || m == WM_KEYUP ||
           m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
}

// The digits at s[i..] (decimal, or lower-case hexadecimal) as a number no larger than max; i
// moves past them. False when there are none or the number is too large.
template <typename T>
bool number(std::string_view s, size_t& i, int base, T max, T& value) {
    size_t j = i;
    while (j < s.size() &&
           ((s[j] >= '0' && s[j] <= '9') || (base == 16 && s[j] >= 'a' && s[j] <= 'f')))
        ++j;
    const bool ok = parseNumber(s.substr(i, j - i), value, base) && value <= max;
    i = j;
    return ok;
}

// The entry at s[i..]; i moves past it. False with the reason when it is malformed or out of range.
bool decodeEntry(std::string_view s, size_t& i, RecordEntry& e, const char*& why) {
    e = RecordEntry{};
    const char c = s[i++];
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        e.delta = c >= 'a' ? uint32_t(c - 'a') : uint32_t(c - 'A' + 26);
        if (i < s.size() && s[i] >= '0' && s[i] <= '9' &&
            (!number(s, i, 10, kMaxCount, e.count) || e.count == 0)) {
            why = "has a repeat count out of range";
            return false;
        }
    } else if (c == '+') {
        if (!number(s, i, 10, 0xFFFFFFFFu, e.delta)) {
            why = "has a clock step out of range";
            return false;
        }
    } else if (c == '(') {
        e.kind = RecordEntry::Message;
        uint32_t m = 0, w = 0, l = 0;
        if (!number(s, i, 16, 0xFFFFu, m) || i >= s.size() || s[i++] != ',' ||
            !number(s, i, 16, 0xFFu, w) || i >= s.size() || s[i++] != ',' ||
            !number(s, i, 16, 0xFFFFFFFFu, l) || i >= s.size() || s[i++] != ')' ||
            !knownMessage(m)) {
            why = "has a message that is malformed or out of range";
            return false;
        }
        e.message = Message{m, w, int32_t(l)};
    } else if (c == '!' && i < s.size() && (s[i] == '0' || s[i] == '1')) {
        e.kind = RecordEntry::SoundDevice;
        e.delta = uint32_t(s[i++] - '0');
    } else {
        why = "has an unknown entry";
        return false;
    }
    return true;
}

// Reads a recording's text line by line as it comes (the whole text is never held): the header,
// then the entries of each line, checked and kept as text, then the end line with its CRC. After
// a line it cannot read it goes on to the end line: when the text's CRC differs from the one there,
// the text was damaged or edited, and that is the clearer thing to say.
class Parser {
public:
    explicit Parser(Recording& r) : r_(r) { r_ = Recording{}; }

    // More text. A last line without its newline waits for the rest. False when the text is far
    // from any recording's; a line that cannot be read is said by finish().
    bool add(std::string_view text, std::string& error) {
        if ((size_ += text.size()) > kMaxText) {
            error = "it holds far more than any recording";
            return false;
        }
        partial_ += text;
        size_t pos = 0;
        for (size_t end; (end = partial_.find('\n', pos)) != std::string::npos; pos = end + 1) {
            if (end - pos > kMaxLine) return tooLong(error);
            const std::string_view l = std::string_view(partial_).substr(pos, end - pos);
            if (error_.empty()) {
                if (!line(l, error_) && error_.empty()) error_ = "the recording cannot be read";
            } else if (lines_++ >= 7 && !ended_ && l.rfind("end ", 0) == 0) {
                ended_ = true;
                size_t i = 4;
                uint32_t crc = 0;
                endDiffers_ = l.size() != 12 || !number(l, i, 16, 0xFFFFFFFFu, crc) || crc != crc_;
            } else {
                addCrc(l);
            }
        }
        partial_.erase(0, pos);
        return partial_.size() <= kMaxLine || tooLong(error);
    }
    // The text ended; a line without its newline (cut off while being written) is not read.
    bool finish(std::string& error) {
        if (!error_.empty()) {
            error = endDiffers_ ? kDamaged : error_;
            return false;
        }
        if (size_ == 0) {
            error = "the recording is empty";
            return false;
        }
        if (lines_ == 0 && partial_.rfind(kMagic, 0) != 0) {
            error = "this is not a varnis recording";
            return false;
        }
        if (lines_ < 7) {
            error = "the recording ends inside its header";
            return false;
        }
        return true;
    }

private:
    static constexpr const char* kMagic = "varnis recording ";
    static constexpr const char* kDamaged =
        "the recording is damaged: its text is not the text that was written";

    void addCrc(std::string_view l) {
        crc_ = uint32_t(crc32(crc_, reinterpret_cast<const Bytef*>(l.data()), uInt(l.size())));
        crc_ = uint32_t(crc32(crc_, reinterpret_cast<const Bytef*>("\n"), 1));
    }

    bool tooLong(std::string& error) {
        error = "line " + std::to_string(lines_ + 1) + " is far longer than any recording's";
        return false;
    }
    bool line(std::string_view l, std::string& error) {
        const size_t n = ++lines_;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(n) + " " + why;
            return false;
        };
        if (ended_) return fail("follows the end of the recording");
        if (n > 7 && l.rfind("end", 0) == 0) {
            ended_ = r_.complete = true;
            uint32_t crc = 0;
            size_t i = 4;
            if (l.size() != 12 || l[3] != ' ' || !number(l, i, 16, 0xFFFFFFFFu, crc) ||
                crc != crc_) {
                error = kDamaged;
                return false;
            }
            return true;
        }
        addCrc(l);
        if (n == 1) {
            if (l.rfind(kMagic, 0) != 0) {
                error = "this is not a varnis recording";
                return false;
            }
            const std::string format(l.substr(17, 40));
            if (format == std::to_string(kRecordingFormat)) return true;
            error = "the recording is in format " +
                    (format == "1" ? "1, which varnis 1.0.0 reads" : "'" + format + "'") +
                    "; this varnis reads format " + std::to_string(kRecordingFormat);
            return false;
        }
        if (n == 2) {
            // "game <version> replay <compat>"
            const size_t v = l.find(' ', 5);
            size_t i = v + 8;
            if (l.rfind("game ", 0) != 0 || v == std::string_view::npos || v == 5 ||
                l.substr(v).rfind(" replay ", 0) != 0 ||
                !number(l, i, 10, 0xFFFFFFFFu, r_.compat) || i != l.size())
                return fail("does not name the program that recorded it");
            r_.version = l.substr(5, v - 5);
            return true;
        }
        if (n == 3) {
            size_t i = 5;
            if (l.rfind("seed ", 0) != 0 || !number(l, i, 10, 0xFFFFFFFFu, r_.seed) ||
                i != l.size())
                return fail("does not hold the seed");
            return true;
        }
        if (n <= 7) {
            const int f = int(n - 4);
            const std::string prefix = std::string("file ") + kRecordedFiles[f] + " ";
            const std::string_view sum = l.rfind(prefix, 0) == 0 ? l.substr(prefix.size()) : "";
            const bool hex =
                sum.size() == 16 && sum.find_first_not_of("0123456789abcdef") == std::string::npos;
            if (!hex && sum != "missing")
                return fail(std::string("does not hold the checksum of ") + kRecordedFiles[f]);
            r_.files[f] = sum;
            return true;
        }
        return body(l, fail);
    }
    template <typename Fail>
    bool body(std::string_view l, Fail& fail) {
        size_t i = 1;
        uint32_t start = 0;
        if (l.empty() || l[0] != '@' || !number(l, i, 10, 0xFFFFFFFFu, start) || i >= l.size() ||
            l[i] != ':')
            return fail("is not a line of clock readings and messages");
        if (start < now_)
            return fail("goes back in time, from " + std::to_string(now_) + " to " +
                        std::to_string(start) + " ms");
        if (start != now_)
            return fail("starts at " + std::to_string(start) +
                        " ms, but the readings before end at " + std::to_string(now_));
        const size_t from = ++i;
        uint64_t t = now_;
        while (i < l.size()) {
            RecordEntry e;
            const char* why = "";
            if (!decodeEntry(l, i, e, why)) return fail(why);
            if (e.kind != RecordEntry::Clock) continue;
            t += uint64_t(e.delta) * e.count;
            if (t > 0xFFFFFFFFu) return fail("takes the clock past its last millisecond");
            if ((readings_ += e.count) > kMaxReadingsPerMs * (t + 1000))
                return fail("holds more clock readings than a game takes (" +
                            std::to_string(readings_) + " by " + std::to_string(t) + " ms)");
        }
        now_ = uint32_t(t);
        r_.entries.append(l.substr(from));
        return true;
    }

    Recording& r_;
    std::string partial_;    // the text after the last whole line
    size_t size_ = 0;        // of all the text
    size_t lines_ = 0;       // whole lines read
    uint32_t now_ = 0;       // the clock after the entries so far
    uint64_t readings_ = 0;  // clock readings so far
    uint32_t crc_ = 0;       // of the lines before the end line
    bool ended_ = false;
    std::string error_;        // the first line that could not be read
    bool endDiffers_ = false;  // the end line holds another CRC than the text's
};

// Inflates a gzip stream as it comes and hands its text to the parser.
class Inflater {
public:
    explicit Inflater(Parser& parser) : parser_(parser) {
        ok_ = inflateInit2(&z_, 15 + 16) == Z_OK;  // a gzip wrapper only
    }
    ~Inflater() {
        if (ok_) inflateEnd(&z_);
    }
    bool add(const char* data, size_t size, std::string& error) {
        if (!ok_) {
            error = "there is not enough memory to read it";
            return false;
        }
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z_.avail_in = uInt(size);
        // Until the input is used up and inflate has given all it holds.
        do {
            if (ended_) {
                error = "the recording is damaged: something follows its end";
                return false;
            }
            char out[65536];
            z_.next_out = reinterpret_cast<Bytef*>(out);
            z_.avail_out = sizeof out;
            const int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                error = rc == Z_MEM_ERROR ? "there is not enough memory to read it"
                                          : std::string("the recording is damaged: ") +
                                                (z_.msg ? z_.msg : "bad data");
                return false;
            }
            ended_ = rc == Z_STREAM_END;
            if (!parser_.add(std::string_view(out, sizeof out - z_.avail_out), error)) return false;
            if (rc == Z_BUF_ERROR || (ended_ && z_.avail_in == 0)) break;
        } while (z_.avail_in > 0 || z_.avail_out == 0);
        return true;
    }

private:
    Parser& parser_;
    z_stream z_{};
    bool ok_ = false, ended_ = false;
};

// Bytes that do not start a gzip stream: an older recording in plain text, or no recording.
bool plainText(std::string_view start, Recording& r, std::string& error) {
    Parser parser(r);
    const size_t newline = start.find('\n');
    const std::string_view first =
        start.substr(0, newline == std::string_view::npos ? start.size() : newline + 1);
    if (parser.add(first, error) && !parser.finish(error) &&
        error.find("format") != std::string::npos)
        return false;
    error = start.empty() ? "the recording is empty" : "this is not a varnis recording";
    return false;
}

bool isGzip(std::string_view start) {
    return !start.empty() && uint8_t(start[0]) == 0x1f &&
           (start.size() < 2 || uint8_t(start[1]) == 0x8b);
}

}  // namespace

bool EntryReader::next(RecordEntry& e) {
    if (pos_ >= text_->size()) return false;
    const char* why = "";
    return decodeEntry(*text_, pos_, e, why);  // checked when read
}

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
    Parser parser(r);
    return parser.add(text, error) && parser.finish(error);
}

bool readRecording(const std::string& bytes, Recording& r, std::string& error) {
    if (!isGzip(bytes)) return plainText(bytes, r, error);
    Parser parser(r);
    Inflater inflater(parser);
    return inflater.add(bytes.data(), bytes.size(), error) && parser.finish(error);
}

bool loadRecording(const std::string& path, Recording& r, std::string& error) {
    // A FIFO is read like a file, never waited on at its open; the size is capped before inflating.
    std::string bytes;
    if (!readWholeFile(path, kMaxFileBytes, bytes, error) || !readRecording(bytes, r, error))
        return false;
    if (r.compat != kReplayCompat) {
        error = "it was recorded by varnis " + r.version + " (replay " + std::to_string(r.compat) +
                "), and this varnis " VARNIS_VERSION " (replay " + std::to_string(kReplayCompat) +
                ") would play it differently";
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        const std::string sum = dataFileChecksum(kRecordedFiles[i]);
        if (sum == r.files[i]) continue;
        error = sum == "missing" ? std::string(kRecordedFiles[i]) + " is missing"
                : r.files[i] == "missing"
                    ? std::string("it was played without ") + kRecordedFiles[i]
                    : std::string("it was played with another ") + kRecordedFiles[i];
        error += "; a replay needs the same four data files";
        return false;
    }
    return true;
}

// ---- Writing ---------------------------------------------------------------------------------

RecordWriter::RecordWriter() = default;

RecordWriter::~RecordWriter() {
    if (!file_) return;
    flush();
    deflateEnd(z_.get());
    std::fclose(file_);
}

bool RecordWriter::open(const std::string& path, uint32_t seed, std::string& error) {
    path_ = path;
    z_ = std::make_unique<z_stream>();
    if (deflateInit2(z_.get(), Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        error = "there is not enough memory";
        return false;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error = std::strerror(errno);
        deflateEnd(z_.get());
        return false;
    }
    // Every write goes straight to the file: after a failed one nothing is held back to follow
    // later.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    pending_ = "varnis recording " + std::to_string(kRecordingFormat) +
               "\ngame " VARNIS_VERSION " replay " + std::to_string(kReplayCompat) + "\nseed " +
               std::to_string(seed) + "\n";
    for (const char* name : kRecordedFiles)
        pending_ += std::string("file ") + name + " " + dataFileChecksum(name) + "\n";
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
    pending_ += "@" + std::to_string(lineAt_) + ":" + line_ + "\n";
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
    std::snprintf(buf, sizeof buf, "(%x,%x,%x)", unsigned(m.message), unsigned(m.wParam & 0xFF),
                  unsigned(m.lParam));
    line_ += buf;
    if (line_.size() >= 1000) endLine();
}

void RecordWriter::soundDevice(bool opened) {
    if (!file_) return;
    emitRun();
    if (line_.empty()) lineAt_ = written_;
    line_ += opened ? "!1" : "!0";
}

void RecordWriter::fail(const char* why) {
    if (std::exchange(failed_, true)) return;
    // Said once, when it happens: the game plays on.
    std::fprintf(stderr, "varnis: cannot write the recording %s: %s\n", path_.c_str(), why);
}

void RecordWriter::write(int mode) {
    crc_ = uint32_t(
        crc32(crc_, reinterpret_cast<const Bytef*>(pending_.data()), uInt(pending_.size())));
    z_->next_in = reinterpret_cast<Bytef*>(pending_.data());
    z_->avail_in = uInt(pending_.size());
    int rc;
    do {
        unsigned char out[16384];
        z_->next_out = out;
        z_->avail_out = sizeof out;
        rc = deflate(z_.get(), mode);
        const size_t n = sizeof out - z_->avail_out;
        if (rc == Z_STREAM_ERROR) return fail("the compressor failed");
        if (n > 0 && std::fwrite(out, 1, n, file_) != n) return fail(std::strerror(errno));
    } while (z_->avail_out == 0 || (mode == Z_FINISH && rc != Z_STREAM_END));
    pending_.clear();
}

void RecordWriter::flush() {
    if (!file_) return;
    emitRun();
    endLine();
    if (failed_) {
        pending_.clear();  // the file stays whole up to its last good write
        return;
    }
    if (!pending_.empty()) write(Z_SYNC_FLUSH);
}

void RecordWriter::finish() {
    if (!file_) return;
    flush();
    if (!failed_) {
        char end[16];
        std::snprintf(end, sizeof end, "end %08x\n", unsigned(crc_));
        pending_ = end;
        write(Z_FINISH);
    }
    deflateEnd(z_.get());
    if (std::fclose(file_) != 0) fail(std::strerror(errno));
    file_ = nullptr;
}

}  // namespace platform
