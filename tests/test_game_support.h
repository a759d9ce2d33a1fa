// Shared by the game's tests: pictures and sounds of the tests' own, a scripted back end that
// keeps the trace, and an independent copy of the C library generator.
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
#include "sound/soundbank.h"

namespace gametest {

struct RefRand {
    uint32_t state;
    int next() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7FFF);
    }
};

// Every palette entry is a distinct colour (red = index), so a colour taken from an entry
// matches back to that entry.
inline uint8_t green(int i) { return uint8_t(i * 7); }

struct Bytes : std::vector<uint8_t> {
    void u16(uint32_t v) { push_back(uint8_t(v)); push_back(uint8_t(v >> 8)); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    void text(const char* s) { while (*s) push_back(uint8_t(*s++)); }
    void save(const std::string& path) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data(), 1, size(), f) != size()) std::abort();
        std::fclose(f);
    }
};

// An 8-bit bottom-up Windows bitmap; w is a multiple of 4.
inline void writeBmp(const std::string& path, int w, int h, uint8_t (*pixel)(int, int)) {
    Bytes b;
    b.text("BM"); b.u32(1078 + uint32_t(w * h)); b.u32(0); b.u32(1078);
    b.u32(40); b.u32(uint32_t(w)); b.u32(uint32_t(h)); b.u16(1); b.u16(8); b.u32(0);
    b.u32(uint32_t(w * h)); b.u32(2835); b.u32(2835); b.u32(256); b.u32(0);
    for (int i = 0; i < 256; ++i) b.u32(uint32_t(uint8_t(i * 13)) | uint32_t(green(i)) << 8 | uint32_t(i) << 16);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) b.push_back(pixel(x, y));
    b.save(path);
}

// 8-bit mono PCM at 11025 Hz.
inline void writeWave(const std::string& path) {
    Bytes b;
    b.text("RIFF"); b.u32(36 + 200); b.text("WAVEfmt "); b.u32(16);
    b.u16(1); b.u16(1); b.u32(11025); b.u32(11025); b.u16(1); b.u16(8);
    b.text("data"); b.u32(200);
    for (int i = 0; i < 200; ++i) b.push_back(i % 20 < 10 ? 168 : 88);
    b.save(path);
}

// Title: highlighted items on the left half (100 + band), plain ones on the right (60 + band).
inline uint8_t titlePixel(int x, int y) { return uint8_t((x < 320 ? 100 : 60) + y / 42); }
inline constexpr uint8_t kSpriteBody = 50;  // solid for a shell
// Sprite sheet: the fortress at (32, 0), solid with two transparent (index 1) top corners.
inline uint8_t charPixel(int x, int y) {
    if (x < 32 || y >= 16) return 9;
    return (x < 34 || x > 45) && y < 2 ? 1 : kSpriteBody;
}

// A folder holding the game's four files, made the working directory.
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

// A virtual clock like the headless one (1 ms per look at an empty queue), keys at given times,
// a hook on every look, and the trace kept in memory.
class ScriptedBackend final : public platform::Backend {
public:
    uint32_t clock = 0;
    std::multimap<uint32_t, platform::Message> events;
    std::function<void()> onPoll;
    std::vector<std::string> traceLines;

    void keyDownAt(uint32_t ms, uint32_t vk) { events.insert({ms, {platform::WM_KEYDOWN, vk, 1}}); }

    bool createWindow(const char*) override { return true; }
    void getWindowRect(platform::Rect& r) override { r = platform::Rect{-3, -42, 643, 482}; }
    void poll(bool queueEmpty) override {
        clock += queueEmpty;
        for (; !events.empty() && events.begin()->first <= clock; events.erase(events.begin()))
            platform::enqueueMessage(events.begin()->second);
        if (onPoll) onPoll();
    }
    uint32_t now() override { return clock; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override { clock = (clock / 16 + 1) * 16; }
    void messageBox(const std::string& text, const char*) override { trace("messagebox " + text); }
    bool openDisplay() override { return true; }
    void closeDisplay() override {}
    bool tracing() const override { return true; }
    void trace(const std::string& text) override { traceLines.push_back(text); }

    // Trace lines of one kind ("text", "sound"), without the time.
    std::vector<std::string> linesOf(const std::string& kind) const {
        std::vector<std::string> out;
        for (const std::string& l : traceLines)
            if (l.rfind(kind + " ", 0) == 0) out.push_back(l);
        return out;
    }
};

// A fresh back end (clock 0, no keys) with the screen and the sound bank opened as the entry
// opens them. The back end is owned by the platform layer.
inline ScriptedBackend& freshGame() {
    enterAssetFolder();
    screen.closeScreen();
    platform::resetMessageQueue();
    platform::registerWindowClass(mainWindowProc);
    auto owned = std::make_unique<ScriptedBackend>();
    ScriptedBackend& b = *owned;
    platform::installBackend(std::move(owned));
    clearKeys();
    waitEnabled = 1;
    frameStart = 0;
    if (!screen.openScreen(1, 640, 480, 1, 8, 5)) std::abort();
    soundBank.open(2);
    soundBank.loadSlot("shoot.wav", 0, 6);
    soundBank.loadSlot("bomb.wav", 1, 6);
    return b;
}

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

}  // namespace gametest
