// Shared by the game's tests: small bitmaps of the tests' own, a scripted back end that records
// the trace, and a reference of the C library generator.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/frameclock.h"
#include "app/shell.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/display.h"
#include "sound/soundbank.h"

namespace gametest {

// The generator the game must reproduce, written out independently.
struct RefRand {
    uint32_t state;
    int next() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7FFF);
    }
};

// Every palette entry of the test bitmaps is a distinct colour, so the nearest-colour match of
// a palette colour gives back its own index.
inline void paletteEntryOf(int i, uint8_t rgb[3]) {
    rgb[0] = uint8_t(i);
    rgb[1] = uint8_t(i * 7);
    rgb[2] = uint8_t(i * 13);
}

// An 8-bit bottom-up Windows bitmap file; pixel(x, y) gives the palette index.
inline void writeBmp(const std::string& path, int w, int h, const std::function<uint8_t(int, int)>& pixel) {
    const int stride = (w + 3) & ~3;
    const uint32_t offset = 14 + 40 + 1024, size = offset + uint32_t(stride * h);
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    b.push_back('B'); b.push_back('M'); u32(size); u32(0); u32(offset);
    u32(40); u32(uint32_t(w)); u32(uint32_t(h)); u16(1); u16(8); u32(0); u32(uint32_t(stride * h));
    u32(2835); u32(2835); u32(256); u32(0);
    for (int i = 0; i < 256; ++i) {
        uint8_t rgb[3];
        paletteEntryOf(i, rgb);
        b.push_back(rgb[2]); b.push_back(rgb[1]); b.push_back(rgb[0]); b.push_back(0);
    }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) b.push_back(pixel(x, y));
        for (int x = w; x < stride; ++x) b.push_back(0);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// Title picture: the highlighted items on the left half (100 + row band), the plain ones on the
// right half (60 + row band), so each 42-row item and each look can be told apart.
inline uint8_t titlePixel(int x, int y) { return uint8_t((x < 320 ? 100 : 60) + y / 42); }
inline constexpr uint8_t kSpriteBody = 50;  // solid, below 128 and not 4
// Sprite sheet: the fortress at (32, 0) is solid with transparent (index 1) corners.
inline uint8_t charPixel(int x, int y) {
    if (x < 32 || y >= 16) return 9;
    const int sx = x - 32;
    if ((sx < 2 || sx > 13) && (y < 2)) return 1;
    return kSpriteBody;
}

// A short PCM wave: 8-bit mono at 11025 Hz, the format chunk first.
inline void writeWave(const std::string& path) {
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const uint32_t samples = 200;
    b.insert(b.end(), {'R', 'I', 'F', 'F'}); u32(36 + samples);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}); u32(16);
    u16(1); u16(1); u32(11025); u32(11025); u16(1); u16(8);
    b.insert(b.end(), {'d', 'a', 't', 'a'}); u32(samples);
    for (uint32_t i = 0; i < samples; ++i) b.push_back(uint8_t(128 + (i % 20 < 10 ? 40 : -40)));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// A folder of its own holding the game's four files, made the working directory.
inline void enterAssetFolder() {
    static bool done = false;
    if (done) return;
    char tmpl[] = "/tmp/varnis-game-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    std::filesystem::current_path(tmpl);
    writeBmp("title.bmp", 640, 480, titlePixel);
    writeBmp("char.bmp", 48, 32, charPixel);
    writeWave("shoot.wav");
    writeWave("bomb.wav");
    done = true;
}

// A back end on a virtual clock (1 ms per look at an empty queue, as the headless one) with key
// events at given times, a hook run on every look, and the trace kept in memory.
class ScriptedBackend final : public platform::Backend {
public:
    uint32_t clock = 0;
    std::multimap<uint32_t, platform::Message> events;
    std::function<void()> onPoll;
    std::vector<std::string> traceLines;
    std::function<void(int)> onShutdown;

    void keyDownAt(uint32_t ms, uint32_t vk) { events.insert({ms, {platform::WM_KEYDOWN, vk, 1}}); }
    void keyUpAt(uint32_t ms, uint32_t vk) {
        events.insert({ms, {platform::WM_KEYUP, vk, int32_t(0xC0000001u)}});
    }
    void tapAt(uint32_t ms, uint32_t vk) { keyDownAt(ms, vk); keyUpAt(ms + 80, vk); }

    bool createWindow(const char*) override { return true; }
    void getWindowRect(platform::Rect& r) override { r = platform::Rect{-3, -42, 643, 482}; }
    void poll(bool queueEmpty) override {
        if (queueEmpty) ++clock;
        while (!events.empty() && events.begin()->first <= clock) {
            platform::enqueueMessage(events.begin()->second);
            events.erase(events.begin());
        }
        if (onPoll) onPoll();
    }
    uint32_t now() override { return clock; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {
        uint64_t k = (uint64_t(clock) * 3) / 50 + 1;
        while (k * 50 / 3 <= clock) ++k;
        clock = uint32_t(k * 50 / 3);
    }
    void messageBox(const std::string& text, const char*) override { trace("messagebox " + text); }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}
    bool tracing() const override { return true; }
    void trace(const std::string& text) override {
        traceLines.push_back(std::to_string(clock) + " " + text);
    }
    void shutdown(int code) override {
        if (onShutdown) onShutdown(code);
    }

    // Trace lines that start (after the time) with the given word.
    std::vector<std::string> linesOf(const std::string& kind) const {
        std::vector<std::string> out;
        for (const std::string& l : traceLines) {
            const size_t sp = l.find(' ');
            if (l.compare(sp + 1, kind.size() + 1, kind + " ") == 0) out.push_back(l.substr(sp + 1));
        }
        return out;
    }
};

// Installs a fresh scripted back end (clock at 0, empty queue, no keys) and opens the screen as
// the entry does. Returns the back end, owned by the platform layer.
inline ScriptedBackend& freshGame() {
    enterAssetFolder();
    screen.closeScreen();
    platform::resetMessageQueue();
    platform::registerWindowClass(mainWindowProc);
    auto b = std::make_unique<ScriptedBackend>();
    ScriptedBackend& ref = *b;
    platform::installBackend(std::move(b));
    clearKeys();
    waitEnabled = 1;
    frameStart = 0;
    if (!screen.openScreen(1, 640, 480, 1, 8, 5)) std::abort();
    soundBank.open(2);
    soundBank.loadSlot("shoot.wav", 0, 6);
    soundBank.loadSlot("bomb.wav", 1, 6);
    return ref;
}

inline uint8_t pixelAt(int slot, int x, int y) {
    screen.lockSurface(slot);
    const uint8_t v = surfacePixels[slot] ? surfacePixels[slot][y * surfacePitch[slot] + x] : 0;
    screen.unlockSurface(slot);
    return v;
}

inline void setPixel(int slot, int x, int y, uint8_t v) {
    screen.lockSurface(slot);
    if (surfacePixels[slot]) surfacePixels[slot][y * surfacePitch[slot] + x] = v;
    screen.unlockSurface(slot);
}

}  // namespace gametest
