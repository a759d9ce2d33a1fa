// Shared by the tests: the game's four files made small by the tests themselves, a quiet back end,
// and the built varnis run as a process for its trace and status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/bitmap.h"
#include "platform/headless/headless.h"

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

// A fresh folder holding the game's four files, in the build folder: what a failed test leaves
// behind stays there.
inline fs::path makeAssetFolder() {
    const fs::path parent = fs::path(VARNIS_BINARY_DIR) / "test-files";
    fs::create_directories(parent);
    std::string pattern = (parent / "varnis-test-XXXXXX").string();
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

// ---- Golden files ------------------------------------------------------------------------------
// tests/golden holds what the program produced when it was last known right; only the tests write
// it: with VARNIS_UPDATE_GOLDEN=1 every comparison writes what this run produced instead. A
// comparison that fails keeps this run's file under <build>/golden-out/<group>/ and names it.

inline const fs::path kGoldenDir = fs::path(VARNIS_SOURCE_DIR) / "tests/golden";

inline bool updatingGolden() {
    const char* v = std::getenv("VARNIS_UPDATE_GOLDEN");
    return v && *v && std::string(v) != "0";
}

inline fs::path keptOutput(const std::string& group, const std::string& name) {
    const fs::path dir = fs::path(VARNIS_BINARY_DIR) / "golden-out" / group;
    fs::create_directories(dir);
    return dir / name;
}

// Compares text with tests/golden/<name>, naming the first line that differs.
inline ::testing::AssertionResult matchesGoldenText(const std::string& got, const std::string& group,
                                                    const std::string& name) {
    const fs::path kept = keptOutput(group, name);
    if (updatingGolden()) writeAll(kGoldenDir / name, got);
    const std::string expected = readAll(kGoldenDir / name);
    if (got == expected) return fs::remove(kept), ::testing::AssertionSuccess();
    writeAll(kept, got);
    std::istringstream e(expected), g(got);
    std::string el, gl;
    int line = 1;
    for (bool moreE, moreG; (moreE = bool(std::getline(e, el))) | (moreG = bool(std::getline(g, gl))); ++line)
        if (!moreE || !moreG || el != gl) {
            el = moreE ? el : "(end of file)", gl = moreG ? gl : "(end of file)";
            break;
        }
    return ::testing::AssertionFailure() << "tests/golden/" << name << " differs at line " << line
                                         << "\n  expected: " << el << "\n  found:    " << gl
                                         << "\nthis run's output: " << kept.string();
}

// Palette indices of `height` rows from screen row `top`, and the palette they are shown with
// (0x00RRGGBB; left empty where only the indices matter).
struct IndexedPicture {
    int width = 0, height = 0, top = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> palette;
    uint8_t at(int x, int y) const { return pixels[size_t(y - top) * size_t(width) + size_t(x)]; }
};

// An 8-bit bottom-up bitmap as the headless runner writes it, from row `top` down; width 0 when
// the file is no such bitmap.
inline IndexedPicture readSnapshot(const fs::path& path, int top = 0) {
    const std::string b = readAll(path);
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t i = 4; i-- > 0;) v = v << 8 | (at + i < b.size() ? uint8_t(b[at + i]) : 0u);
        return v;
    };
    const size_t bits = u32(10), table = 14 + u32(14), w = u32(18), h = u32(22), stride = (w + 3) / 4 * 4;
    IndexedPicture p;
    if (b.compare(0, 2, "BM") != 0 || (u32(28) & 0xFFFF) != 8 || w > 4096 || h > 4096 || h <= size_t(top) ||
        table + 1024 > bits || bits + stride * h > b.size())
        return p;
    for (size_t i = 0; i < 256; ++i) p.palette.push_back(u32(table + 4 * i) & 0xFFFFFF);
    p.width = int(w), p.height = int(h) - top, p.top = top;
    for (size_t y = size_t(top); y < h; ++y) p.pixels.insert(p.pixels.end(), &b[bits + (h - 1 - y) * stride], &b[bits + (h - 1 - y) * stride + w]);
    return p;
}

// The golden form of a picture, small and readable: "varnis picture W H TOP", the palette ("-"
// when none), then a line a row of runs "index" or "index*count", "=" for a row like the last.
inline std::string encodePicture(const IndexedPicture& p) {
    std::ostringstream out;
    out << "varnis picture " << p.width << " " << p.height << " " << p.top << "\n";
    char hex[8];
    for (uint32_t c : p.palette) std::snprintf(hex, sizeof hex, "%06x ", c), out << hex;
    out << (p.palette.empty() ? "-\n" : "\n");
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = &p.pixels[size_t(y) * size_t(p.width)];
        if (y > 0 && std::equal(row, row + p.width, row - p.width)) {
            out << "=\n";
            continue;
        }
        for (int x = 0, n; x < p.width; x += n) {
            for (n = 1; x + n < p.width && row[x + n] == row[x];) ++n;
            out << (x ? " " : "") << int(row[x]);
            if (n > 1) out << "*" << n;
        }
        out << "\n";
    }
    return out.str();
}

inline bool decodePicture(const std::string& text, IndexedPicture& p) {
    std::istringstream in(text);
    std::string magic, kind, line;
    if (!(in >> magic >> kind >> p.width >> p.height >> p.top) || magic != "varnis" || kind != "picture" ||
        p.width <= 0 || p.height <= 0 || p.width > 4096 || p.height > 4096 || !std::getline(in, line) ||
        !std::getline(in, line))
        return false;
    std::istringstream colours(line);
    for (std::string c; colours >> c && c != "-";) p.palette.push_back(uint32_t(std::stoul(c, nullptr, 16)));
    for (int y = 0; y < p.height && std::getline(in, line); ++y) {
        if (line == "=" && y > 0) {
            p.pixels.insert(p.pixels.end(), p.pixels.end() - p.width, p.pixels.end());
            continue;
        }
        std::istringstream runs(line);
        for (std::string run; runs >> run;) {
            const size_t star = run.find('*');
            p.pixels.insert(p.pixels.end(), star == std::string::npos ? 1 : std::stoul(run.substr(star + 1)),
                            uint8_t(std::stoi(run)));
        }
        if (p.pixels.size() != size_t(y + 1) * size_t(p.width)) return false;
    }
    return p.pixels.size() == size_t(p.width) * size_t(p.height);
}

// Compares a picture with tests/golden/<name>, naming the first pixel that differs; a failure
// keeps this run's picture in its golden form and as a bitmap beside it.
inline ::testing::AssertionResult matchesGoldenPicture(const IndexedPicture& got, const std::string& group,
                                                       const std::string& name) {
    const fs::path kept = keptOutput(group, name), keptBmp = fs::path(kept).replace_extension(".bmp");
    const std::string text = encodePicture(got);
    if (updatingGolden()) writeAll(kGoldenDir / name, text);
    IndexedPicture want;
    const bool read = decodePicture(readAll(kGoldenDir / name), want);
    if (read && text == encodePicture(want)) return fs::remove(kept), fs::remove(keptBmp), ::testing::AssertionSuccess();
    writeAll(kept, text);
    platform::PaletteEntry shown[256];
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = got.palette.empty() ? uint32_t(i * 0x010101) : got.palette[size_t(i)];
        shown[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0};
    }
    const std::vector<uint8_t> bmp = platform::encodeBitmap8(got.width, got.height, got.pixels.data(), got.width, shown);
    writeAll(keptBmp, std::string(bmp.begin(), bmp.end()));
    ::testing::AssertionResult r = ::testing::AssertionFailure();
    r << "tests/golden/" << name;
    if (!read) {
        r << " is missing or unreadable";
    } else if (want.width != got.width || want.height != got.height || want.top != got.top) {
        r << " is " << want.width << "x" << want.height << " from row " << want.top << ", this run's picture "
          << got.width << "x" << got.height << " from row " << got.top;
    } else if (want.pixels != got.pixels) {
        size_t first = 0, count = 0;
        for (size_t i = got.pixels.size(); i-- > 0;)
            if (want.pixels[i] != got.pixels[i]) first = i, ++count;
        r << ": first differing pixel (" << first % size_t(got.width) << ", " << got.top + int(first / size_t(got.width))
          << "): expected index " << int(want.pixels[first]) << ", found index " << int(got.pixels[first]) << " ("
          << count << " pixels differ)";
    } else {
        for (size_t i = 0; i < std::max(want.palette.size(), got.palette.size()); ++i)
            if (i >= want.palette.size() || i >= got.palette.size() || want.palette[i] != got.palette[i]) {
                char e[8] = "none", g[8] = "none";
                if (i < want.palette.size()) std::snprintf(e, sizeof e, "%06x", want.palette[i]);
                if (i < got.palette.size()) std::snprintf(g, sizeof g, "%06x", got.palette[i]);
                r << ": palette entry " << i << " expected " << e << ", found " << g;
                break;
            }
    }
    return r << "\nthis run's picture: " << kept.string() << " (and " << keptBmp.filename().string() << ")";
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
