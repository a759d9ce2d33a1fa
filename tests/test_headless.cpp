// The headless runner: script parsing, snapshots, and the built varnis run as a process for its
// trace, exit codes and command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/frameclock.h"
#include "app/shell.h"
#include "gfx/palette.h"
#include "gfx/screen.h"
#include "platform/headless/headless.h"

using namespace platform;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

uint32_t u32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}


// ---- Script parsing -------------------------------------------------------------------------

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
    EXPECT_EQ(events("10 tap 2\n90 down 1\n"), (V{"10 down 2", "90 up 2", "90 down 1"}));
    EXPECT_EQ(events(""), V{});
    EXPECT_EQ(events("4294967295 close\n0 down 0\n").size(), 2u);
}

TEST(Script, MalformedLinesAreReportedWithTheirNumber) {
    const struct { const char* text; const char* error; } cases[] = {
        {"10 jump 32", "line 1: "},  {"# ok\n\nx down 32", "line 3: "}, {"1.5 down 32", "line 1: "},
        {"4294967296 close", "line 1: "}, {"10 down 256", "line 1: "}, {"10 down -1", "line 1: "},
        {"10 down", "line 1: "}, {"10 down 32 33", "line 1: "}, {"10 snapshot", "line 1: "},
        {"10 snapshot a/b", "line 1: "}, {"10 snapshot ..", "line 1: "},
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

// A folder of the running test's own: ctest runs the tests of this program in parallel, so files
// shared between them would be overwritten under each other.
std::string privateDir() {
    static std::string dir;
    if (dir.empty()) {
        std::string pattern = ::testing::TempDir() + "/varnis-runner-XXXXXX";
        dir = mkdtemp(pattern.data());
    }
    return dir;
}

// ---- Snapshots -------------------------------------------------------------------------------

TEST(Snapshot, FrontSurfaceThroughTheDevicePaletteBottomUp) {
    const std::string dir = privateDir();
    HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(parseScript("3 snapshot pic", o.events, error));
    o.snapshotDir = dir;
    installBackend(makeHeadlessBackend(std::move(o)));
    resetMessageQueue();
    registerWindowClass(mainWindowProc);
    ASSERT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 1);
    PaletteEntry colours[2] = {{10, 20, 30, 0}, {200, 100, 50, PC_RESERVED}};
    ddPalette->setEntries(0, 7, 2, colours);
    SurfaceTable[0]->data()[0] = 7;              // top-left
    SurfaceTable[0]->data()[479 * 640 + 2] = 8;  // bottom row, third pixel
    SurfaceTable[1]->data()[5] = 9;              // the back buffer is not shown
    std::remove((dir + "/pic.bmp").c_str());
    for (int i = 0; i < 3; ++i) pumpMessages();

    const std::string b = readAll(dir + "/pic.bmp");
    ASSERT_EQ(b.size(), 14u + 40 + 1024 + 640 * 480);
    // Bottom-up (positive height), 8 bits, uncompressed; the colour table in blue, green, red,
    // reserved 0 (the palette's flags are not copied).
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(u32(b, 10), 1078u);
    EXPECT_EQ(u32(b, 22), 480u);
    EXPECT_EQ(u32(b, 28), 8u);  // bits, then compression 0
    EXPECT_EQ(b.substr(54 + 7 * 4, 8), std::string("\x1E\x14\x0A\x00\x32\x64\xC8\x00", 8));
    EXPECT_EQ(b[1078 + 479 * 640], 7) << "top row last in the file";
    EXPECT_EQ(b[1078 + 2], 8) << "bottom row first";
    EXPECT_EQ(b[1078 + 479 * 640 + 5], 0);
    screen.closeScreen();
}

// ---- The runner as a process -------------------------------------------------------------------

struct Outcome { int status = -1; std::string out, err; };

// Runs the built varnis with the given arguments (shell words) and an optional environment prefix.
Outcome varnis(const std::string& args, const std::string& env = "") {
    const std::string dir = privateDir();
    const std::string out = dir + "/varnis.out", err = dir + "/varnis.err";
    const std::string cmd = env + " " VARNIS_BINARY_DIR "/varnis " + args + " >" + out + " 2>" + err +
                            " </dev/null";
    const int raw = std::system(cmd.c_str());
    Outcome r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
}

std::string scriptFile(const std::string& name, const std::string& text) {
    const std::string path = privateDir() + "/" + name;
    writeFile(path, text);
    return path;
}

TEST(Runner, TraceSnapshotsAndExit) {
    const std::string dir = privateDir() + "/snaps";
    mkdir(dir.c_str(), 0755);
    const std::string script = scriptFile("a.txt",
                                          "5 snapshot first\n"
                                          "7 tap 32\n"
                                          "10 close\n"
                                          "10 snapshot last\n");
    const Outcome r = varnis("--headless --seed 1 --script " + script + " --snapshots " + dir);
    EXPECT_EQ(r.status, 1);
    // The close and the snapshot come in at the same look; the snapshot is taken before the
    // close is dispatched.
    EXPECT_EQ(r.out, "5 snapshot first\n10 snapshot last\n10 exit 1\n");
    EXPECT_EQ(r.err, "");
    struct stat st {};
    EXPECT_EQ(stat((dir + "/first.bmp").c_str(), &st), 0);
    EXPECT_EQ(stat((dir + "/last.bmp").c_str(), &st), 0);
}

TEST(Runner, TimeoutEndsWithStatus124) {
    const std::string script = scriptFile("t.txt", "# nothing happens\n");
    const Outcome r = varnis("--headless --script " + script + " --max-ms 50");
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "51 timeout\n");
}

TEST(Runner, BadUsageIsRefusedBeforeTheGameStarts) {
    const std::string good = scriptFile("g.txt", "1 close\n");
    const std::string bad = scriptFile("b.txt", "1 down 32\n\n2 press 32\n");
    const std::string run = "--headless --script " + good;
    const struct { std::string args, err; } cases[] = {
        {"--fast", "unknown option '--fast'"}, {"--seed 12x", "seed"}, {"--seed 4294967296", "seed"},
        {"--seed", "needs a value"}, {run + " --seed -1", "seed"}, {run + " --max-ms ten", "max-ms"},
        {"--headless", "--script"}, {"--script " + good, "--headless"},
        {"--headless --window --script " + good, "--window"},
        {"--headless --script /nonexistent/script.txt", "cannot read"},
        {"--headless --script " + ::testing::TempDir(), "cannot read"},
        {run + " --snapshots /nonexistent/dir", "cannot write"}, {run + " --snapshots " + good, "cannot write"},
        {"--headless --script " + bad, "line 3: unknown action 'press'"},
    };
    for (const auto& c : cases) {
        const Outcome r = varnis(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST(Runner, HelpAndVersion) {
    EXPECT_NE(varnis("--help").out.find("--headless --script FILE"), std::string::npos);
    EXPECT_EQ(varnis("--version").out.rfind("varnis ", 0), 0u);
    EXPECT_EQ(varnis("--version").status, 0);
}

TEST(Runner, WithoutWindowSystemTheDisplayFailureIsReported) {
    // No display to open and no driver chosen: SDL's invisible fallbacks do not count.
    const Outcome r = varnis("--seed 1", "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "
                                     "XDG_RUNTIME_DIR=/nonexistent timeout 20");
    if (r.status == 124) GTEST_SKIP() << "a display was found after all";
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("エラーが発生したらしい(^^;: DirectDrawを初期化出来ません(;;\n"),
              std::string::npos)
        << r.err;
}

}  // namespace
