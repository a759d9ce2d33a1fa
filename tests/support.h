// Shared by the tests: the game's four files made small by the tests themselves, a quiet back end,
// and the built varnis run as a process for its trace and status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "backends/headless/headless.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/bitmap.h"

namespace support {

namespace fs = std::filesystem;

// Every test program starts on the headless back end (no window, no trace); tests that need
// another install it themselves.
inline const bool headlessInstalled =
    (platform::installBackend(platform::makeHeadlessBackend({})), true);

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
    b += "BM";
    b.u32(1078 + uint32_t(w * h));
    b.u32(0);
    b.u32(1078);
    b.u32(40);
    b.u32(uint32_t(w));
    b.u32(uint32_t(h));
    b.u16(1);
    b.u16(8);
    b.u32(0);
    b.u32(uint32_t(w * h));
    b.u32(2835);
    b.u32(2835);
    b.u32(256);
    b.u32(0);
    for (int i = 0; i < 256; ++i)
        b.u32(uint32_t(uint8_t(i * 13)) | uint32_t(green(i)) << 8 | uint32_t(i) << 16);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) b.push_back(char(pixel(x, y)));
    writeAll(path, b);
}

// 8-bit mono PCM at 11025 Hz, a square wave.
inline void writeWave(const fs::path& path) {
    Bytes b;
    b += "RIFF";
    b.u32(36 + 200);
    b += "WAVEfmt ";
    b.u32(16);
    b.u16(1);
    b.u16(1);
    b.u32(11025);
    b.u32(11025);
    b.u16(1);
    b.u16(8);
    b += "data";
    b.u32(200);
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

struct Output {
    int status = -1;
    std::string out, err;
};  // status -1: killed by a signal

// Runs the built varnis in `dir` with the arguments (shell words) and an environment prefix.
inline Output runVarnis(const fs::path& dir, const std::string& args, const std::string& env = "") {
    const std::string tag = uniqueTag();
    const fs::path out = dir / ("out-" + tag), err = dir / ("err-" + tag);
    const std::string cmd = "cd '" + dir.string() + "' && " + env +
                            " '" VARNIS_BINARY_DIR "/varnis' " + args + " >'" + out.string() +
                            "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(cmd.c_str());
    Output r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readAll(out), readAll(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
}

struct TraceLine {
    uint32_t ms = 0;
    std::string kind, rest;
};

struct Run {
    int status = -1;
    std::vector<TraceLine> trace;
    std::string errors;

    // Index of the first line of `kind` containing `text`, from `from`; -1 when none.
    int find(const std::string& kind, const std::string& text = "", size_t from = 0) const {
        for (size_t i = from; i < trace.size(); ++i)
            if (trace[i].kind == kind && trace[i].rest.find(text) != std::string::npos)
                return int(i);
        return -1;
    }
    bool has(const std::string& kind, const std::string& text = "") const {
        return find(kind, text) >= 0;
    }
    // The game ended through its own paths, and no sanitizer spoke.
    bool endedCleanly() const {
        return status == 1 && !trace.empty() && trace.back().kind == "exit" &&
               trace.back().rest == "1" && errors.find("Sanitizer") == std::string::npos &&
               errors.find("runtime error") == std::string::npos;
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
                                        std::to_string(seed) +
                                        (maxMs ? " --max-ms " + std::to_string(maxMs) : ""));
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

// Writes the golden file in update runs; the path to keep this run's output at.
inline fs::path goldenPrologue(const std::string& got, const std::string& group,
                               const std::string& name) {
    const char* update = std::getenv("VARNIS_UPDATE_GOLDEN");
    if (update && *update && std::string(update) != "0") writeAll(kGoldenDir / name, got);
    fs::create_directories(fs::path(VARNIS_BINARY_DIR) / "golden-out" / group);
    return fs::path(VARNIS_BINARY_DIR) / "golden-out" / group / name;
}

// Compares text with tests/golden/<name>, naming the first line that differs.
inline ::testing::AssertionResult matchesGoldenText(const std::string& got,
                                                    const std::string& group,
                                                    const std::string& name) {
    const fs::path kept = goldenPrologue(got, group, name);
    const std::string expected = readAll(kGoldenDir / name);
    if (got == expected) return fs::remove(kept), ::testing::AssertionSuccess();
    writeAll(kept, got);
    std::istringstream e(expected), g(got);
    std::string el, gl;
    int line = 1;
    for (bool moreE, moreG;
         (moreE = bool(std::getline(e, el))) | (moreG = bool(std::getline(g, gl))); ++line)
        if (!moreE || !moreG || el != gl) {
            el = moreE ? el : "(end of file)", gl = moreG ? gl : "(end of file)";
            break;
        }
    return ::testing::AssertionFailure()
           << "tests/golden/" << name << " differs at line " << line << "\n  expected: " << el
           << "\n  found:    " << gl << "\nthis run's output: " << kept.string();
}

// Palette indices of `height` rows from screen row `top`, and the colours they are shown in
// (0x00RRGGBB; none where only the indices matter).
struct IndexedPicture {
    int width = 0, height = 0, top = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> palette;
};

// A snapshot of the headless runner from row `top` down; empty when it cannot be read.
inline IndexedPicture readSnapshot(const fs::path& path, int top = 0) {
    platform::BitmapImage bmp;
    if (!platform::readBitmapFile(path.c_str(), bmp) || !bmp.indexed || bmp.height <= top)
        return {};
    IndexedPicture p{bmp.width,
                     bmp.height - top,
                     top,
                     {bmp.indices.begin() + top * bmp.width, bmp.indices.end()},
                     {}};
    for (uint32_t c : bmp.colourTable)
        p.palette.push_back((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
    return p;
}

// The golden form of a picture, small and readable: "varnis picture W H TOP", the palette ("-"
// when none), then a line a row of runs "index" or "index*count", "=" for a row like the last.
inline std::string encodePicture(const IndexedPicture& p) {
    std::ostringstream out;
    out << "varnis picture " << p.width << " " << p.height << " " << p.top << "\n" << std::hex;
    for (uint32_t c : p.palette) out << std::setw(6) << std::setfill('0') << c << " ";
    out << (p.palette.empty() ? "-\n" : "\n") << std::dec;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = &p.pixels[size_t(y * p.width)];
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
    if (!(in >> magic >> kind >> p.width >> p.height >> p.top) || magic + kind != "varnispicture" ||
        p.width <= 0 || p.height <= 0 || p.width > 4096 || p.height > 4096 ||
        !std::getline(in, line) || !std::getline(in, line))
        return false;
    std::istringstream colours(line);
    for (std::string c; colours >> c && c != "-";)
        p.palette.push_back(uint32_t(std::stoul(c, nullptr, 16)));
    for (int y = 0; y < p.height && std::getline(in, line); ++y) {
        if (line == "=" && y > 0)
            p.pixels.insert(p.pixels.end(), p.pixels.end() - p.width, p.pixels.end());
        std::istringstream runs(line == "=" ? "" : line);
        for (std::string run; runs >> run;) {
            const size_t star = run.find('*');
            p.pixels.insert(p.pixels.end(),
                            star == std::string::npos ? 1 : std::stoul(run.substr(star + 1)),
                            uint8_t(std::stoi(run)));
        }
        if (p.pixels.size() != size_t((y + 1) * p.width)) return false;
    }
    return p.pixels.size() == size_t(p.width * p.height);
}

// Compares a picture with tests/golden/<name>, naming the first pixel that differs; a failure
// keeps this run's picture in its golden form and as a bitmap beside it.
inline ::testing::AssertionResult matchesGoldenPicture(const IndexedPicture& got,
                                                       const std::string& group,
                                                       const std::string& name) {
    const std::string text = encodePicture(got);
    const fs::path kept = goldenPrologue(text, group, name),
                   keptBmp = fs::path(kept).replace_extension(".bmp");
    IndexedPicture want;
    const bool read = decodePicture(readAll(kGoldenDir / name), want);
    if (read && text == encodePicture(want))
        return fs::remove(kept), fs::remove(keptBmp), ::testing::AssertionSuccess();
    writeAll(kept, text);
    platform::PaletteEntry shown[256];
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t c = i < got.palette.size() ? got.palette[i] : i * 0x010101;
        shown[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0};
    }
    const std::vector<uint8_t> bmp =
        platform::encodeBitmap8(got.width, got.height, got.pixels.data(), got.width, shown);
    writeAll(keptBmp, std::string(bmp.begin(), bmp.end()));
    ::testing::AssertionResult r = ::testing::AssertionFailure() << "tests/golden/" << name;
    if (!read || want.width != got.width || want.height != got.height || want.top != got.top) {
        r << (read ? " is another size" : " is missing or unreadable");
    } else if (want.pixels != got.pixels) {
        const size_t first =
            size_t(std::mismatch(got.pixels.begin(), got.pixels.end(), want.pixels.begin()).first -
                   got.pixels.begin());
        r << ": first differing pixel (" << first % size_t(got.width) << ", "
          << got.top + int(first) / got.width << "): expected index " << int(want.pixels[first])
          << ", found index " << int(got.pixels[first]);
    } else {
        r << ": the palette differs";
    }
    return r << "\nthis run's picture: " << kept.string() << " (and " << keptBmp.filename().string()
             << ")";
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
    void messageBox(const std::string& text, const char*) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
    }
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
        for (int col = x; col < x + w; ++col)
            surfacePixels[slot][row * surfacePitch[slot] + col] = v;
    screen.unlockSurface(slot);
}

}  // namespace support
