// Recordings: the writer and reader agree (also on files cut off mid-write or by a full disk),
// bad or damaged recordings are refused with a clear line and status 2, and a golden recording of
// a real match still replays to the trace it was made with: if it stops doing so while
// kReplayCompat stays, old recordings would replay into other matches. The golden match is a real
// one: full.rec and full.trace of VARNIS_E2E_KEEP=1 tests/e2e/replay_window.sh, renamed (recorded
// by 1.0.0 and carried over to the gzip format line for line, so its header names 1.0.0).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>

#include "backends/replay/recording.h"
#include "support.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

const fs::path kGolden = fs::path(VARNIS_SOURCE_DIR) / "tests/golden";

// The entries as one reading or message per string, runs unrolled.
std::vector<std::string> unrolled(const Recording& r) {
    std::vector<std::string> out;
    uint32_t t = 0;
    EntryReader entries(r);
    for (RecordEntry e; entries.next(e);)
        for (uint32_t k = 0; k < (e.kind == RecordEntry::Clock ? e.count : 1); ++k)
            out.push_back(e.kind == RecordEntry::Clock ? std::to_string(t += e.delta)
                          : e.kind == RecordEntry::Message
                              ? "m" + std::to_string(e.message.message) + "," +
                                    std::to_string(e.message.wParam) + "," +
                                    std::to_string(e.message.lParam)
                              : "s" + std::to_string(e.delta));
    return out;
}

// gzip and zcat, through zlib.
std::string gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
std::string zcat(const std::string& bytes) {
    z_stream z{};
    inflateInit2(&z, 31);
    std::string out(bytes.size() * 50 + 1000, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}
// The text up to its end line, ended again with the CRC it has now.
std::string reEnded(std::string text) {
    text.resize(text.rfind("end ") == std::string::npos ? text.size() : text.rfind("end "));
    char end[16];
    std::snprintf(end, sizeof end, "end %08lx\n",
                  crc32(0, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size())));
    return text + end;
}

Recording parsed(const std::string& text, bool gzipped = false) {
    Recording r;
    std::string error;
    EXPECT_TRUE(gzipped ? readRecording(text, r, error) : parseRecording(text, r, error)) << error;
    return r;
}

bool isPrefix(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Plays frames into a writer as a game does (repeating frames, runs, steps past a letter's range,
// a jump, messages), noting what it took in `expected`. Returns the writer's file's size after
// its header.
struct Session {
    RecordWriter w;
    std::vector<std::string> expected;
    uint32_t t = 5;
    size_t open(const fs::path& file) {
        std::string error;
        EXPECT_TRUE(w.open(file.string(), 77, error)) << error;
        w.soundDevice(true), expected.push_back("s1");
        return fs::file_size(file);
    }
    void clock(uint32_t at) { w.clock(at), expected.push_back(std::to_string(at)); }
    void frames(int from, int to) {
        for (int frame = from; frame < to; ++frame) {
            for (uint32_t d : {0u, 0u, 0u, 1u, 2u, 0u, 11u, uint32_t(frame % 7 == 0 ? 51 : 0)})
                clock(t += d);
            if (frame % 50 == 3) {
                w.message({WM_KEYDOWN, 13, 1}), expected.push_back("m256,13,1");
                w.message({WM_SYSKEYUP, 255, int32_t(0xC0000001u)}),
                    expected.push_back("m261,255,-1073741823");
            }
            if (frame == 200) clock(t += 52), clock(t += 52), clock(t += 4000000000u - t);
        }
    }
};

TEST(Recording, WhatIsWrittenReadsBackAndEveryCutReadsAPrefix) {
    const fs::path file = fs::temp_directory_path() / ("rec-" + support::uniqueTag());
    Session s;
    const size_t header = s.open(file);
    s.frames(0, 400);
    s.w.finish();
    const std::string bytes = support::readAll(file);
    fs::remove(file);
    const Recording whole = parsed(bytes, true);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(whole.seed, 77u);
    EXPECT_EQ(unrolled(whole), s.expected);
    EXPECT_LT(bytes.size(), 6000u) << "repeating frames should cost little";
    // zcat shows the text, which reads alike.
    const std::string text = zcat(bytes);
    EXPECT_EQ(text.rfind("varnis recording 2\n", 0), 0u);
    EXPECT_EQ(unrolled(parsed(text)), s.expected);
    for (size_t cut = header; cut < bytes.size() - 8; cut += 37) {
        const Recording part = parsed(bytes.substr(0, cut), true);
        EXPECT_FALSE(part.complete);
        EXPECT_TRUE(isPrefix(unrolled(part), s.expected)) << "cut at " << cut;
    }
}

// Damage to the file and edits of its text are refused; a disk that fills up and has room again
// leaves a file that replays up to the first write that failed.
TEST(Recording, DamageIsRefusedAndAFullDiskLeavesAWholePrefix) {
    const fs::path file = fs::temp_directory_path() / ("rec-" + support::uniqueTag());
    Session s;
    s.open(file);
    s.frames(0, 60);
    s.w.finish();
    const std::string bytes = support::readAll(file);
    const std::vector<std::string> expected = s.expected;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string damaged = bytes;
        damaged[i] = char(damaged[i] ^ (1 << (i % 8)));
        Recording r;
        std::string error;
        if (readRecording(damaged, r,
                          error)) {  // the few bytes gzip leaves unchecked (its time stamp)
            EXPECT_TRUE(r.complete && unrolled(r) == expected && r.seed == 77) << "byte " << i;
        }
    }
    const std::string text = zcat(bytes);
    std::string seed = text, entry = text;
    seed.replace(seed.find("seed 77"), 7, "seed 78");
    entry[entry.find("(100,d,1)") + 5] = 'e';
    for (const std::string& edited : {seed, entry}) {
        Recording r;
        std::string error;
        EXPECT_FALSE(readRecording(gzip(edited), r, error));
        EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    }

    // Writes past 2 KB fail while the limit stands (a full disk), then succeed again.
    Session full;
    full.open(file);
    full.frames(0, 150);
    full.w.flush();
    const std::vector<std::string> written = full.expected;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = fs::file_size(file) + 7;
    setrlimit(RLIMIT_FSIZE, &limit);
    full.frames(150, 250);
    setrlimit(RLIMIT_FSIZE, &old);
    full.frames(250, 400);
    full.w.finish();
    const Recording cut = parsed(support::readAll(file), true);
    fs::remove(file);
    EXPECT_FALSE(cut.complete);
    const std::vector<std::string> got = unrolled(cut);
    EXPECT_TRUE(isPrefix(got, full.expected));
    EXPECT_GE(got.size(), written.size());
}

TEST(Recording, BadOnesAreRefusedWithTheReason) {
    const std::string head =
        "varnis recording 2\ngame 1.0.0 replay 1\nseed 5\nfile title.bmp missing\n"
        "file char.bmp missing\nfile shoot.wav missing\nfile bomb.wav 0123456789abcdef\n";
    const struct {
        std::string text, error;
    } cases[] = {
        {"", "empty"},
        {"\x89PNG\r\n", "not a varnis recording"},
        {"varnis recording 3\n", "format '3'"},
        {"varnis recording 1\n", "format 1, which varnis 1.0.0 reads"},
        {head.substr(0, 60), "inside its header"},
        {head.substr(0, 19) + "game 1 replay x\n" + head.substr(39), "line 2"},
        {head + "@0:cb\n@1:a\n", "line 9 goes back in time"},
        {head + "@0:c\n@9:a\n", "line 9 starts at 9"},
        {head + "@0:+4294967295a\n@4294967295:b\n", "past its last millisecond"},
        {head + "@0:a0\n", "repeat count"},
        {head + "@0:a99999999999\n", "repeat count"},
        {head + "@0:(2,0,0)\n", "message"},
        {head + "@0:(100,100,0)\n", "message"},
        {head + "@0:(100,1,100000000)\n", "message"},
        {head + "@0:a*014\n", "unknown entry"},
        {head + "@0:a-1\n", "unknown entry"},
        {head + "@0:b5000a999999999\n", "more clock readings"},
        {reEnded(head + "@0:a\n") + "@0:a\n", "line 10 follows the end"},
        {head + "end 00000000\n", "damaged"},
        {head + "end\n", "damaged"},
        {head + std::string(5000, '7') + "\n", "longer"},
    };
    for (const auto& c : cases) {
        Recording r;
        std::string error;
        EXPECT_FALSE(parseRecording(c.text, r, error)) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.error << " -> " << error;
    }
    // The same through the file reader; a format 1 file was plain text.
    Recording r;
    std::string error;
    EXPECT_FALSE(readRecording(head.substr(0, 18) + "\n", r, error));
    EXPECT_FALSE(readRecording("varnis recording 1\n", r, error) ||
                 error.find("1.0.0") == std::string::npos)
        << error;
    EXPECT_FALSE(readRecording(gzip(reEnded(head + "@0:a\n")) + "x", r, error) ||
                 error.find("damaged") == std::string::npos);
    EXPECT_TRUE(readRecording(gzip(reEnded(head + "@0:b5000a99999\n")), r, error)) << error;
    // A small file that inflates into far more text than any recording holds.
    EXPECT_FALSE(readRecording(gzip(head + std::string(size_t(33) << 20, '\n')), r, error));
    EXPECT_NE(error.find("far more"), std::string::npos) << error;
}

// The built program on recordings: the golden match, cut short, timed out, and refused.
TEST(Replay, GoldenMatchCutsTimeoutsAndRefusals) {
    const fs::path dir = VARNIS_BINARY_DIR;  // the generated data files the golden was played with
    const std::string rec = support::readAll(kGolden / "replay-match.rec"), text = zcat(rec),
                      trace = support::readAll(kGolden / "replay-match.trace");
    ASSERT_NE(text.find("replay " + std::to_string(kReplayCompat) + "\n"), std::string::npos)
        << "kReplayCompat moved: record a new golden match";
    const fs::path tmp = fs::temp_directory_path() / ("replay-" + support::uniqueTag());
    fs::create_directory(tmp);
    auto run = [&](const std::string& bytes, const std::string& args = "",
                   const fs::path& in = VARNIS_BINARY_DIR) {
        support::writeAll(tmp / "r.rec", bytes);
        return support::runVarnis(in,
                                  "--headless --replay '" + (tmp / "r.rec").string() + "' " + args);
    };
    auto lastLine = [](const std::string& out) {
        return out.substr(out.find(' ', out.rfind('\n', out.size() - 2) + 1));
    };
    // The end picture is the last one the game showed, not its closed display.
    const support::Output golden = run(rec, "--snapshots " + tmp.string());
    EXPECT_EQ(golden.status, 1);
    EXPECT_TRUE(support::matchesGoldenText(golden.out, "replay", "replay-match.trace"))
        << "the game plays differently: move kReplayCompat and record a new golden match";
    const std::string end = support::readAll(tmp / "end.bmp");
    EXPECT_NE(end.find_first_not_of('\0', 54), std::string::npos) << "end.bmp is black";

    // Cut in the middle of the file: the trace up to the last whole line, then the end.
    const support::Output cut = run(rec.substr(0, rec.size() / 2), "--snapshots " + tmp.string());
    EXPECT_EQ(cut.status, 0);
    const size_t last = cut.out.rfind('\n', cut.out.size() - 2) + 1;
    EXPECT_EQ(lastLine(cut.out), " end of recording\n");
    EXPECT_EQ(trace.compare(0, last, cut.out, 0, last), 0);
    EXPECT_TRUE(fs::exists(tmp / "end.bmp"));
    const support::Output timeout = run(rec, "--max-ms 20000");
    EXPECT_EQ(timeout.status, 124);
    EXPECT_NE(timeout.out.find(" timeout\n"), std::string::npos);
    EXPECT_EQ(lastLine(timeout.out), " exit 124\n");
    // A whole recording missing its last line: the game asks for more than it holds. One with
    // readings after the game's end: the game ended before the recorded one did. Either way the
    // trace ends on the run's status.
    const std::string body = text.substr(0, text.rfind("end ")),
                      exitLine = trace.substr(trace.rfind('\n', trace.size() - 2) + 1);
    const std::string shortOne = body.substr(0, body.rfind("\n@") + 1),
                      longOne = body + "@" + exitLine.substr(0, exitLine.find(' ')) + ":a\n";
    for (const std::string& other : {shortOne, longOne}) {
        const support::Output r = run(gzip(reEnded(other)));
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("plays differently"), std::string::npos) << r.err;
    }
    EXPECT_EQ(lastLine(run(gzip(reEnded(longOne))).out), " exit 2\n");
    // An end picture that cannot be written is no successful end.
    fs::create_directories(tmp / "taken" / "end.bmp");
    const support::Output lost = run(rec, "--snapshots " + (tmp / "taken").string());
    EXPECT_EQ(lost.status, 3);
    EXPECT_EQ(lastLine(lost.out), " exit 3\n");

    std::string otherCompat = text, otherFile = text,
                outOfStep = text.substr(0, text.find("\n@") + 1) + "@0:a5\n";
    otherCompat.replace(otherCompat.find(" replay ") + 8, 1, "999");
    otherFile[otherFile.find("file shoot.wav ") + 16] ^= 1;
    std::string flipped = rec;
    flipped[rec.size() / 2] ^= 4;
    const struct {
        std::string bytes, args, err;
        fs::path in = VARNIS_BINARY_DIR;
    } refused[] = {
        {"", "", "empty"},
        {gzip(reEnded(otherCompat)), "", "(replay 999), and this varnis "},
        {gzip(reEnded(otherCompat)), "",
         "(replay " + std::to_string(kReplayCompat) + ") would play it differently"},
        {gzip(reEnded(otherFile)), "", "another shoot.wav"},
        {rec, "", "title.bmp is missing", tmp},
        {rec, "--seed 1", "--seed"},
        {rec, "--window", "exclude"},
        {gzip(outOfStep), "", "plays differently"},
        {flipped, "", "damaged"},
        {gzip(text.substr(0, text.size() / 2) + "+1\n" + text.substr(text.size() / 2)), "",
         "damaged"},
    };
    for (const auto& c : refused) {
        const support::Output r = run(c.bytes, c.args, c.in);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.err << " -> " << r.err;
        // Refused before the game starts: no trace; out of step once it runs: only its status.
        EXPECT_TRUE(r.out.empty() || r.out == "0 exit 2\n") << c.err << " -> " << r.out;
    }
    fs::remove_all(tmp);
}

}  // namespace
