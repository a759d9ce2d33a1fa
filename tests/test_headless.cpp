// The headless runner: script parsing, and the built varnis run as a process for its exit codes
// and command line (its traces and snapshots are pinned by the golden traces of test_runs).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "backends/headless/headless.h"
#include "shell/shell.h"
#include "support.h"

using namespace platform;

namespace {

// Events as "ms kind vk-or-name" strings, for whole-list comparisons.
std::vector<std::string> events(const std::string& text) {
    std::vector<ScriptEvent> e;
    std::string error;
    EXPECT_TRUE(parseScript(text, e, error)) << error;
    std::vector<std::string> out;
    for (const ScriptEvent& ev : e) {
        const char* kind = ev.kind == ScriptEvent::KeyDown ? "down"
                           : ev.kind == ScriptEvent::KeyUp ? "up"
                           : ev.kind == ScriptEvent::Close ? "close"
                                                           : "snapshot";
        out.push_back(std::to_string(ev.ms) + " " + kind + " " +
                      (ev.kind == ScriptEvent::Snapshot ? ev.name : std::to_string(ev.vk)));
    }
    return out;
}

TEST(Script, EventsInTimeOrderEqualTimesInLineOrder) {
    using V = std::vector<std::string>;
    // Comments, blank lines, CR LF, tabs and a missing last newline; a tap's release sits where
    // the tap line is among events of the same time.
    EXPECT_EQ(events("# a comment\n\n100 tap 32\r\n180 down 13\n  180\tsnapshot after-tap_1  \n"
                     "50 close\n   # indented\n0 up 255"),
              (V{"0 up 255", "50 close 0", "100 down 32", "180 up 32", "180 down 13",
                 "180 snapshot after-tap_1"}));
    EXPECT_EQ(events("90 down 1\n10 tap 2\n"), (V{"10 down 2", "90 down 1", "90 up 2"}));
    EXPECT_EQ(events("4294967295 close\n0 down 0\n").size(), 2u);
    // Names near the ones Windows reserves, and one name used twice in the same case.
    EXPECT_EQ(
        events("1 snapshot com10\n2 snapshot console\n3 snapshot Shot\n4 snapshot Shot\n").size(),
        4u);
}

TEST(Script, MalformedLinesAreReportedWithTheirNumber) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"10 jump 32", "line 1: "},
        {"# ok\n\nx down 32", "line 3: "},
        {"4294967296 close", "line 1: "},
        {"10 down 256", "line 1: "},
        {"10 down 32 33", "line 1: "},
        {"10 snapshot a/b", "line 1: "},
        {"4294967295 tap 1", "line 1: "},  // the release would fall past the clock's end
        {"1 down 1\r\n2 DOWN 1", "line 2: "},
        // Windows' device names, which write no file there, and names one file where case is
        // ignored.
        {"1 snapshot NUL", "line 1: "},
        {"1 snapshot aux", "line 1: "},
        {"1 snapshot Com1", "line 1: "},
        {"1 snapshot lpt9", "line 1: "},
        {"1 snapshot shot\n\n2 snapshot SHOT", "line 3: "},
        {"1 down\x1b]0;title\x07 1", "line 1: "},
    };
    for (const auto& c : cases) {
        std::vector<ScriptEvent> e;
        std::string error;
        EXPECT_FALSE(parseScript(c.text, e, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " -> " << error;
        EXPECT_TRUE(std::none_of(error.begin(), error.end(), [](char ch) {
            return uint8_t(ch) < 0x20;
        })) << error;
    }
}

// The built varnis, run in a folder of this test program's own (ctest runs tests in parallel).
const std::string& dir() {
    static const struct Folder {
        std::string path = support::makeAssetFolder().string();
        ~Folder() { std::filesystem::remove_all(path); }
    } d;
    return d.path;
}
support::Output varnis(const std::string& args) { return support::runVarnis(dir(), args); }
std::string scriptFile(const std::string& name, const std::string& text) {
    support::writeAll(dir() + "/" + name, text);
    return dir() + "/" + name;
}

TEST(Runner, TimeoutEndsWithStatus124) {
    const std::string script = scriptFile("t.txt", "# nothing happens\n");
    const support::Output r = varnis("--headless --script " + script + " --max-ms 50");
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "51 timeout\n51 exit 124\n");
}

// Everything here is refused with status 2 before the game starts, and leaves the files it names
// as they were: a data file is not written over, a FIFO nobody writes to or a device is not read
// for ever, and what a file holds reaches the terminal with its control characters escaped.
TEST(Runner, BadUsageIsRefusedBeforeTheGameStarts) {
    const std::string good = scriptFile("g.txt", "1 close\n");
    const std::string bad = scriptFile("b.txt", "1 down 32\n\n2 press 32\n");
    const std::string huge = scriptFile("huge.txt", "");
    std::filesystem::resize_file(huge, (16 << 20) + 1);
    const std::string fifo = dir() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string header =
        scriptFile("h.rec", "varnis recording \x1b]0;owned\x07\r\ngame 1\r\n");
    const std::string run = "--headless --script " + good;
    const std::string before[] = {support::readAll(dir() + "/title.bmp"),
                                  support::readAll(dir() + "/bomb.wav")};
    // A run that slipped through would open a window and wait there: ended by timeout instead.
    const std::string trace = "timeout 10 env VARNIS_TRACE_FILE=";
    const struct {
        std::string args, err, env = "";
    } cases[] = {
        {"--fast", "unknown option '--fast'"},
        {"--seed 4294967296", "seed"},
        {"--seed", "needs a value"},
        {run + " --max-ms ten", "max-ms"},
        {"--headless", "--script"},
        {"--script " + good, "--headless"},
        {"--headless --script /nonexistent/script.txt", "cannot read"},
        {run + " --snapshots /nonexistent/dir", "cannot write"},
        {"--headless --script " + bad, "line 3: unknown action 'press'"},
        {"--replay ''", "empty", "timeout 10"},
        {"--record ''", "empty", "timeout 10"},
        {run + " --seed ''", "empty"},
        {"--headless --script '' --max-ms 10", "empty"},
        {run + " --snapshots ''", "empty"},
        {"--headless --script /dev/zero", "device"},
        {"--headless --script " + dir(), "folder"},
        {"--headless --script " + fifo, "nothing writes"},
        {"--headless --replay " + fifo, "nothing writes"},
        {"--headless --script " + huge, "16 MiB"},
        {"--record title.bmp", "the data file title.bmp", "timeout 10"},
        {"", "cannot write the trace file /nonexistent/t", trace + "/nonexistent/t"},
        {"", "the data file bomb.wav", trace + "./bomb.wav"},
        {"--replay " + header, "'\\x1b]0;owned\\x07\\r'"},
    };
    for (const auto& c : cases) {
        const support::Output r = support::runVarnis(dir(), c.args, c.env);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << " -> " << r.err;
        EXPECT_EQ(r.err.find_first_of("\r\x07\x1b"), std::string::npos)
            << c.args << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
    EXPECT_EQ(support::readAll(dir() + "/title.bmp"), before[0]);
    EXPECT_EQ(support::readAll(dir() + "/bomb.wav"), before[1]);
    // A FIFO is read like a file when something is there to write to it (the writer waits in its
    // open for a reader), and so is what arrives later.
    const support::Output piped =
        support::runVarnis(dir(), "--headless --script " + fifo,
                           "(sleep 0.3; echo 1 close) >" + fifo + " & sleep 0.2;");
    EXPECT_EQ(piped.status, 1) << piped.err;
    EXPECT_EQ(piped.out, "1 exit 1\n");
}

// However a replay ends, --stats reports, and a trace file that stops taking writes (/dev/full
// fails at its first flush) is said once while the run goes on to its end.
TEST(Runner, StatsAndLateTraceFailuresAreReportedHoweverTheRunEnds) {
    // The golden match's text, cut short, and its header with entries of another game, gzipped.
    const std::string golden = std::string(VARNIS_SOURCE_DIR) + "/tests/golden/replay-match.rec";
    EXPECT_EQ(std::system(("gzip -dc " + golden + " >" + dir() + "/golden.txt").c_str()), 0);
    const std::string rec = support::readAll(dir() + "/golden.txt");
    auto gzipped = [](const std::string& name, const std::string& text) {
        const std::string path = scriptFile(name + ".txt", text);
        EXPECT_EQ(std::system(("gzip -nc " + path + " >" + dir() + "/" + name).c_str()), 0);
        return dir() + "/" + name;
    };
    const std::string cut = gzipped("cut.rec", rec.substr(0, rec.find("\n@1024") + 1));
    const std::string apart = gzipped("apart.rec", rec.substr(0, rec.find("\n@") + 1) + "@0:a5\n");
    // In the build folder: the data files the golden recording was played with.
    auto run = [](const std::string& args, const std::string& env = "") {
        return support::runVarnis(VARNIS_BINARY_DIR, args + " --stats", env);
    };
    const support::Output window = run(
        "--window --replay " + cut, "SDL_VIDEODRIVER=dummy VARNIS_TRACE_FILE=/dev/full timeout 20");
    EXPECT_EQ(window.status, 0) << window.err;
    const std::string said =
        "cannot write the trace file /dev/full: " + std::string(std::strerror(ENOSPC));
    EXPECT_NE(window.err.find(said), std::string::npos) << window.err;
    EXPECT_EQ(window.err.find(said), window.err.rfind(said)) << window.err;
    const std::pair<support::Output, int> ends[] = {
        {window, 0},
        {run("--headless --replay " + cut + " --max-ms 600"), 124},
        {run("--headless --replay " + apart), 2}};
    for (const auto& [o, status] : ends) {
        EXPECT_EQ(o.status, status) << o.err;
        EXPECT_NE(o.err.find("varnis stats"), std::string::npos) << o.err;
    }
}

}  // namespace
