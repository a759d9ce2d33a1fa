// Recordings: the writer and reader agree (also on files cut off mid-write), bad recordings are
// refused with a clear line and status 2, and a golden recording of a real match still replays
// to the trace it was made with: if it stops doing so while kReplayCompat stays, old recordings
// would replay into other matches. The golden match is a real one: full.rec and full.trace of
// VARNIS_E2E_KEEP=1 tests/e2e/replay_window.sh, renamed.
#include <gtest/gtest.h>

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
    for (const RecordEntry& e : r.entries)
        for (uint32_t k = 0; k < (e.kind == RecordEntry::Clock ? e.count : 1); ++k)
            out.push_back(e.kind == RecordEntry::Clock ? std::to_string(t += e.delta)
                          : e.kind == RecordEntry::Message ? "m" + std::to_string(e.message.message) + "," +
                                std::to_string(e.message.wParam) + "," + std::to_string(e.message.lParam)
                                                           : "s" + std::to_string(e.delta));
    return out;
}

Recording parsed(const std::string& text) {
    Recording r;
    std::string error;
    EXPECT_TRUE(parseRecording(text, r, error)) << error;
    return r;
}

TEST(Recording, WhatIsWrittenReadsBackAndEveryCutReadsAPrefix) {
    const fs::path file = fs::temp_directory_path() / ("rec-" + support::uniqueTag());
    RecordWriter w;
    std::string error;
    ASSERT_TRUE(w.open(file.string(), 77, error)) << error;
    std::vector<std::string> expected;
    auto clock = [&](uint32_t t) { w.clock(t), expected.push_back(std::to_string(t)); };
    w.soundDevice(true), expected.push_back("s1");
    // Frames that repeat (copies), runs, steps past a letter's range, a jump, messages.
    uint32_t t = 5;
    for (int frame = 0; frame < 400; ++frame) {
        for (uint32_t d : {0u, 0u, 0u, 1u, 2u, 0u, 11u, uint32_t(frame % 7 == 0 ? 51 : 0)}) clock(t += d);
        if (frame % 50 == 3) {
            w.message({WM_KEYDOWN, 13, 1}), expected.push_back("m256,13,1");
            w.message({WM_SYSKEYUP, 255, int32_t(0xC0000001u)}), expected.push_back("m261,255,-1073741823");
        }
        if (frame == 200) clock(t += 52), clock(t += 52), clock(t += 4000000000u - t);
    }
    w.finish();
    const std::string text = support::readAll(file);
    fs::remove(file);
    const Recording whole = parsed(text);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(whole.seed, 77u);
    EXPECT_EQ(unrolled(whole), expected);
    EXPECT_LT(text.size(), 6000u) << "repeating frames should cost little";
    const size_t header = text.find("\n@");
    for (size_t cut = header + 1; cut < text.size(); cut += 97) {
        const Recording part = parsed(text.substr(0, cut));
        const std::vector<std::string> got = unrolled(part);
        EXPECT_FALSE(part.complete);
        ASSERT_LE(got.size(), expected.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << "cut at " << cut;
    }
}

TEST(Recording, BadOnesAreRefusedWithTheReason) {
    const std::string head = "varnis recording 1\ngame 1.0.0 replay 1\nseed 5\nfile title.bmp missing\n"
                             "file char.bmp missing\nfile shoot.wav missing\nfile bomb.wav 0123456789abcdef\n";
    const struct { std::string text, error; } cases[] = {
        {"", "empty"}, {"\x89PNG\r\n", "not a varnis recording"}, {"varnis recording 2\n", "format '2'"},
        {head.substr(0, 60), "inside its header"}, {head.substr(0, 19) + "game 1 replay x\n" + head.substr(39), "line 2"},
        {head + "@0:cb\n@1:a\n", "line 9 goes back in time"}, {head + "@0:c\n@9:a\n", "line 9 starts at 9"},
        {head + "@0:+4294967295a\n@4294967295:b\n", "past its last millisecond"}, {head + "@0:a0\n", "repeat count"},
        {head + "@0:a99999999999\n", "repeat count"}, {head + "@0:(2,0,0)\n", "message"},
        {head + "@0:(100,100,0)\n", "message"}, {head + "@0:(100,1,100000000)\n", "message"},
        {head + "@0:a*014\n", "copies"}, {head + "@0:a*00\n", "copies"}, {head + "@0:a*0!0\n", "copies"}, {head + "@0:a-1\n", "at '-'"},
        {head + "end\n@0:a\n", "line 9 follows the end"}, {head + std::string(5000, '7') + "\n", "longer"},
    };
    for (const auto& c : cases) {
        Recording r;
        std::string error;
        EXPECT_FALSE(parseRecording(c.text, r, error)) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.error << " -> " << error;
    }
}

// The built program on recordings: the golden match, cut short, timed out, and refused.
TEST(Replay, GoldenMatchCutsTimeoutsAndRefusals) {
    const fs::path dir = VARNIS_BINARY_DIR;  // the generated data files the golden was played with
    const std::string rec = support::readAll(kGolden / "replay-match.rec"), trace =
                          support::readAll(kGolden / "replay-match.trace");
    ASSERT_NE(rec.find("replay " + std::to_string(kReplayCompat) + "\n"), std::string::npos)
        << "kReplayCompat moved: record a new golden match";
    const support::Output golden = support::runVarnis(dir, "--headless --replay '" + (kGolden / "replay-match.rec").string() + "'");
    EXPECT_EQ(golden.status, 1);
    EXPECT_EQ(golden.out, trace) << "the game plays differently: move kReplayCompat and record a new golden match";

    const fs::path tmp = fs::temp_directory_path() / ("replay-" + support::uniqueTag());
    fs::create_directory(tmp);
    auto run = [&](const std::string& text, const std::string& args = "") {
        support::writeAll(tmp / "r.rec", text);
        return support::runVarnis(dir, "--headless --replay '" + (tmp / "r.rec").string() + "' " + args);
    };
    // Cut in the middle of a line: the trace up to the last whole line, then the end.
    const support::Output cut = run(rec.substr(0, rec.size() / 2), "--snapshots " + tmp.string());
    EXPECT_EQ(cut.status, 0);
    const size_t last = cut.out.rfind('\n', cut.out.size() - 2) + 1;
    EXPECT_EQ(cut.out.substr(cut.out.find(' ', last)), " end of recording\n");
    EXPECT_EQ(trace.compare(0, last, cut.out, 0, last), 0);
    EXPECT_TRUE(fs::exists(tmp / "end.bmp"));
    const support::Output timeout = run(rec, "--max-ms 20000");
    EXPECT_EQ(timeout.status, 124);
    EXPECT_EQ(timeout.out.substr(timeout.out.rfind(' ')), " timeout\n");
    // A whole recording missing its last line: the game asks for more than it holds.
    EXPECT_EQ(run(rec.substr(0, rec.rfind("\n@") + 1) + "end\n").status, 2);
    // An end picture that cannot be written is no successful end.
    fs::create_directories(tmp / "taken" / "end.bmp");
    EXPECT_EQ(run(rec, "--snapshots " + (tmp / "taken").string()).status, 3);

    std::string otherCompat = rec, otherFile = rec, outOfStep = rec.substr(0, rec.find("\n@") + 1) + "@0:a5\n";
    otherCompat.replace(otherCompat.find(" replay ") + 8, 1, "999");
    otherFile[otherFile.find("file shoot.wav ") + 16] ^= 1;
    const struct { std::string text, args, err; } refused[] = {
        {"", "", "empty"}, {otherCompat, "", "(replay 999), and this varnis "},
        {otherCompat, "", "(replay " + std::to_string(kReplayCompat) + ") would play it differently"},
        {otherFile, "", "another shoot.wav"}, {rec, "--seed 1", "--seed"}, {rec, "--window", "exclude"},
        {outOfStep, "", "plays differently"},
    };
    for (const auto& c : refused) {
        const support::Output r = run(c.text, c.args);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.err << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.err;
    }
    fs::remove_all(tmp);
}

}  // namespace
