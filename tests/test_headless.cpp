// The headless runner: script parsing, and the built varnis run as a process for its exit codes
// and command line (its traces and snapshots are pinned by the golden traces of test_runs).
#include <gtest/gtest.h>

#include "app/shell.h"
#include "platform/headless/headless.h"
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
        const char* kind = ev.kind == ScriptEvent::KeyDown ? "down" : ev.kind == ScriptEvent::KeyUp ? "up"
                         : ev.kind == ScriptEvent::Close  ? "close" : "snapshot";
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
              (V{"0 up 255", "50 close 0", "100 down 32", "180 up 32", "180 down 13", "180 snapshot after-tap_1"}));
    EXPECT_EQ(events("90 down 1\n10 tap 2\n"), (V{"10 down 2", "90 down 1", "90 up 2"}));
    EXPECT_EQ(events("4294967295 close\n0 down 0\n").size(), 2u);
}

TEST(Script, MalformedLinesAreReportedWithTheirNumber) {
    const struct { const char* text; const char* error; } cases[] = {
        {"10 jump 32", "line 1: "}, {"# ok\n\nx down 32", "line 3: "}, {"4294967296 close", "line 1: "},
        {"10 down 256", "line 1: "}, {"10 down 32 33", "line 1: "}, {"10 snapshot a/b", "line 1: "},
        {"4294967295 tap 1", "line 1: "},  // the release would fall past the clock's end
        {"1 down 1\r\n2 DOWN 1", "line 2: "},
    };
    for (const auto& c : cases) {
        std::vector<ScriptEvent> e;
        std::string error;
        EXPECT_FALSE(parseScript(c.text, e, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " -> " << error;
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
    EXPECT_EQ(r.out, "51 timeout\n");
}

TEST(Runner, BadUsageIsRefusedBeforeTheGameStarts) {
    const std::string good = scriptFile("g.txt", "1 close\n");
    const std::string bad = scriptFile("b.txt", "1 down 32\n\n2 press 32\n");
    const std::string run = "--headless --script " + good;
    const struct { std::string args, err; } cases[] = {
        {"--fast", "unknown option '--fast'"}, {"--seed 4294967296", "seed"}, {"--seed", "needs a value"},
        {run + " --max-ms ten", "max-ms"}, {"--headless", "--script"}, {"--script " + good, "--headless"},
        {"--headless --script /nonexistent/script.txt", "cannot read"},
        {run + " --snapshots /nonexistent/dir", "cannot write"},
        {"--headless --script " + bad, "line 3: unknown action 'press'"},
    };
    for (const auto& c : cases) {
        const support::Output r = varnis(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

}  // namespace
