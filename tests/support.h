// Shared by the tests: the game's four files made small by the tests themselves, a quiet back end,
// and the built varnis run as a process for its trace and status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gfx/screen.h"
#include "platform/backend.h"
#include "backends/headless/headless.h"

namespace support {

namespace fs = std::filesystem;

// Every test program starts on the headless back end (no window, no trace); tests that need
// another install it themselves.
inline const bool headlessInstalled = (platform::installBackend(platform::makeHeadlessBackend({})), true);

// A name no other run of this process or another one uses at the same time.
inline std::string uniqueTag() {
    static std::atomic<int> n{0};
    return std::to_string(getpid()) + "-" + std::to_string(n++);
}

struct RefRand {  // the C library generator, written out independently
    uint32_t state;
    int next() { return state = state * 214013u + 2531011u, int((state >> 16) & 0x7FFF); }
};

inline std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct Bytes : std::string {
    void u16(uint32_t v) { push_back(char(v)), push_back(char(v >> 8)); }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
};

// Every palette entry is a distinct colour (red = index), so a colour taken from an entry
// matches back to that entry.
inline uint8_t green(int i) { return uint8_t(i * 7); }

// An 8-bit bottom-up Windows bitmap; w is a multiple of 4.
inline void writeBmp(const fs::path& path, int w, int h, uint8_t (*pixel)(int, int)) {
    Bytes b;
    b += "BM"; b.u32(1078 + uint32_t(w * h)); b.u32(0); b.u32(1078);
    b.u32(40); b.u32(uint32_t(w)); b.u32(uint32_t(h)); b.u16(1); b.u16(8); b.u32(0);
    b.u32(uint32_t(w * h)); b.u32(2835); b.u32(2835); b.u32(256); b.u32(0);
    for (int i = 0; i < 256; ++i) b.u32(uint32_t(uint8_t(i * 13)) | uint32_t(green(i)) << 8 | uint32_t(i) << 16);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) b.push_back(char(pixel(x, y)));
    writeAll(path, b);
}

// 8-bit mono PCM at 11025 Hz, a square wave.
inline void writeWave(const fs::path& path) {
    Bytes b;
    b += "RIFF"; b.u32(36 + 200); b += "WAVEfmt "; b.u32(16);
    b.u16(1); b.u16(1); b.u32(11025); b.u32(11025); b.u16(1); b.u16(8);
    b += "data"; b.u32(200);
    for (int i = 0; i < 200; ++i) b.push_back(char(i % 20 < 10 ? 168 : 88));
    writeAll(path, b);
}

// Title: highlighted items on the left half (100 + band), plain ones on the right (60 + band).
inline uint8_t titlePixel(int x, int y) { return uint8_t((x < 320 ? 100 : 60) + y / 42); }
inline constexpr uint8_t kSpriteBody = 50;  // solid for a shell
// Sprite sheet: the fortress at (32, 0), solid with two transparent (index 1) top corners.
inline uint8_t charPixel(int x, int y) {
    return x < 32 || y >= 16 ? 9 : (x < 34 || x > 45) && y < 2 ? 1 : kSpriteBody;
}

inline const char* const kAssetNames[] = {"title.bmp", "char.bmp", "shoot.wav", "bomb.wav"};

// A fresh folder under the temporary directory holding the game's four files.
inline fs::path makeAssetFolder() {
    std::string pattern = (fs::temp_directory_path() / "varnis-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    const fs::path dir = pattern;
    writeBmp(dir / "title.bmp", 640, 480, titlePixel);
    writeBmp(dir / "char.bmp", 48, 32, charPixel);
    writeWave(dir / "shoot.wav");
    writeWave(dir / "bomb.wav");
    return dir;
}

// ---- The program as a process ------------------------------------------------------------------

struct Output { int status = -1; std::string out, err; };  // status -1: killed by a signal

// Runs the built varnis in `dir` with the arguments (shell words) and an environment prefix.
inline Output runVarnis(const fs::path& dir, const std::string& args, const std::string& env = "") {
    const std::string tag = uniqueTag();
    const fs::path out = dir / ("out-" + tag), err = dir / ("err-" + tag);
    const std::string cmd = "cd '" + dir.string() + "' && " + env + " '" VARNIS_BINARY_DIR "/varnis' " + args +
                            " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(cmd.c_str());
    Output r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readAll(out), readAll(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
}

struct TraceLine { uint32_t ms = 0; std::string kind, rest; };

struct Run {
    int status = -1;
    std::vector<TraceLine> trace;
    std::string errors;

    // Index of the first line of `kind` containing `text`, from `from`; -1 when none.
    int find(const std::string& kind, const std::string& text = "", size_t from = 0) const {
        for (size_t i = from; i < trace.size(); ++i)
            if (trace[i].kind == kind && trace[i].rest.find(text) != std::string::npos) return int(i);
        return -1;
    }
    bool has(const std::string& kind, const std::string& text = "") const { return find(kind, text) >= 0; }
    // The game ended through its own paths, and no sanitizer spoke.
    bool endedCleanly() const {
        return status == 1 && !trace.empty() && trace.back().kind == "exit" && trace.back().rest == "1" &&
               errors.find("Sanitizer") == std::string::npos && errors.find("runtime error") == std::string::npos;
    }
    std::string tail() const {
        std::string s = "status " + std::to_string(status) + "\n";
        for (size_t i = trace.size() > 12 ? trace.size() - 12 : 0; i < trace.size(); ++i)
            s += std::to_string(trace[i].ms) + " " + trace[i].kind + " " + trace[i].rest + "\n";
        return s + errors.substr(0, 3000);
    }
};

// Plays a script on the headless runner in `dir`.
inline Run play(const fs::path& dir, const std::string& script, uint32_t seed, uint32_t maxMs = 0) {
    const fs::path scriptPath = dir / ("script-" + uniqueTag());
    writeAll(scriptPath, script);
    const Output o = runVarnis(dir, "--headless --script '" + scriptPath.string() + "' --seed " +
                                        std::to_string(seed) + (maxMs ? " --max-ms " + std::to_string(maxMs) : ""));
    fs::remove(scriptPath);
    Run run{o.status, {}, o.err};
    std::istringstream lines(o.out);
    for (std::string text; std::getline(lines, text);) {
        std::istringstream ss(text);
        TraceLine l;
        ss >> l.ms >> l.kind;
        std::getline(ss >> std::ws, l.rest);
        run.trace.push_back(l);
    }
    return run;
}

// ---- In-process back ends --------------------------------------------------------------------

// A back end on which nothing happens; message boxes go to standard error as "box: <text>".
class StubBackend : public platform::Backend {
public:
    bool createWindow(const char*) override { return true; }
    void poll(bool) override {}
    uint32_t now() override { return 0; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {}
    void messageBox(const std::string& text, const char*) override { std::fprintf(stderr, "box: %s\n", text.c_str()); }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}
};

inline uint8_t pixelAt(int slot, int x, int y) {
    screen.lockSurface(slot);
    const uint8_t v = surfacePixels[slot] ? surfacePixels[slot][y * surfacePitch[slot] + x] : 0;
    screen.unlockSurface(slot);
    return v;
}

inline void paint(int slot, int x, int y, int w, int h, uint8_t v) {
    screen.lockSurface(slot);
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col) surfacePixels[slot][row * surfacePitch[slot] + col] = v;
    screen.unlockSurface(slot);
}

}  // namespace support
