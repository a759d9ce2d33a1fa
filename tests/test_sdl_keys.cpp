// The SDL back end's pure parts: keyboard events as window messages, and where and how the front
// surface lands in the window. SDL key codes are written as numbers (SDL's stable values) so the
// tests need no SDL headers.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "app/frameclock.h"
#include "app/shell.h"
#include "platform/backend.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/present.h"

using namespace platform;

namespace {

// SDL_Keycode values.
constexpr int32_t kF1 = 0x4000003A, kF10 = 0x40000043, kPause = 0x40000048, kRight = 0x4000004F,
                  kUp = 0x40000052, kKeypadEnter = 0x40000058, kLCtrl = 0x400000E0,
                  kRShift = 0x400000E5, kLAlt = 0x400000E2, kCapsLock = 0x40000039;
// SDL_Keymod values.
constexpr uint16_t kModLShift = 0x0001, kModLAlt = 0x0100, kModRAlt = 0x0200, kModNum = 0x1000;

TEST(SdlKeys, MapsToVirtualKeyCodes) {
    const std::pair<int32_t, uint32_t> table[] = {
        {' ', 32}, {'\r', 13}, {kKeypadEnter, 13}, {27, 27}, {kRight, 39}, {kUp, 38}, {kRShift, 16},
        {kLCtrl, 17}, {kPause, 19}, {kLAlt, 18}, {'a', 65}, {'9', 57}, {kF1, 112}, {kF10, 121}};
    for (const auto& [sdl, vk] : table) EXPECT_EQ(virtualKeyFromSdl(sdl), vk) << "SDL key " << sdl;
    // Keys the game has no code for produce no message at all.
    Message m;
    EXPECT_EQ(virtualKeyFromSdl(kCapsLock), 0u);
    EXPECT_FALSE(keyMessageFromSdl(true, false, kCapsLock, 0, m));
    EXPECT_FALSE(keyMessageFromSdl(true, false, 'A', 0, m));  // SDL key codes are lower case
}

// A key event as the message it becomes: message, virtual key, lParam; all zero when none.
std::tuple<uint32_t, uint32_t, uint32_t> msg(bool down, bool repeat, int32_t key, uint16_t mod) {
    Message m;
    if (!keyMessageFromSdl(down, repeat, key, mod, m)) return {0, 0, 0};
    return {m.message, m.wParam, uint32_t(m.lParam)};
}

TEST(SdlKeys, PlainAndSystemKeyMessages) {
    using T = std::tuple<uint32_t, uint32_t, uint32_t>;
    const uint32_t alt = 1u << 29;
    // Shift and Num Lock held do not make a key a system key.
    EXPECT_EQ(msg(true, false, ' ', kModLShift | kModNum), (T{WM_KEYDOWN, 32, 1}));
    EXPECT_EQ(msg(true, true, ' ', 0), (T{WM_KEYDOWN, 32, 0x40000001u}));
    EXPECT_EQ(msg(false, false, ' ', 0), (T{WM_KEYUP, 32, 0xC0000001u}));
    for (uint16_t mod : {kModLAlt, kModRAlt}) {
        EXPECT_EQ(msg(true, false, '\r', mod), (T{WM_SYSKEYDOWN, 13, alt | 1}));
        EXPECT_EQ(std::get<0>(msg(false, false, '\r', mod)), WM_SYSKEYUP);
    }
    // Alt's own release (Alt no longer held) is still a system key; F10 is one without the bit.
    EXPECT_EQ(std::get<0>(msg(true, false, kLAlt, kModLAlt)), WM_SYSKEYDOWN);
    EXPECT_EQ(std::get<0>(msg(false, false, kLAlt, 0)), WM_SYSKEYUP);
    EXPECT_EQ(msg(true, false, kF10, 0), (T{WM_SYSKEYDOWN, 121, 1}));
}

// Counts what the default window procedure asks of the back end.
class CountingBackend final : public Backend {
public:
    int toggles = 0;
    bool createWindow(const char*) override { return true; }
    void getWindowRect(Rect& r) override { r = Rect{}; }
    void poll(bool) override {}
    uint32_t now() override { return ++clock; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {}
    void messageBox(const std::string&, const char*) override {}
    bool openDisplay() override { return true; }
    void closeDisplay() override {}
    void toggleFullscreen() override { ++toggles; }
    uint32_t clock = 0;
};

TEST(SdlKeys, SystemKeysReachTheDefaultProcedureOnly) {
    auto owned = std::make_unique<CountingBackend>();
    CountingBackend* b = owned.get();
    installBackend(std::move(owned));
    resetMessageQueue();
    registerWindowClass(mainWindowProc);
    clearKeys();
    Message m;
    // Alt+Enter toggles once per press, not on its auto-repeats, and records nothing.
    for (bool repeat : {false, true, true}) {
        ASSERT_TRUE(keyMessageFromSdl(true, repeat, '\r', kModLAlt, m));
        enqueueMessage(m);
    }
    ASSERT_TRUE(keyMessageFromSdl(true, false, kF10, 0, m));
    enqueueMessage(m);
    pumpMessages();
    EXPECT_EQ(b->toggles, 1);
    EXPECT_EQ(keyDown[13], 0);
    EXPECT_EQ(keyDown[121], 0);
    // Alt+F4 asks to close: a WM_CLOSE joins the queue (not dispatched here: it would end the
    // process).
    ASSERT_TRUE(keyMessageFromSdl(true, false, 0x4000003D /* F4 */, kModLAlt, m));
    registerWindowClass(nullptr);
    dispatchMessage(m);
    Message next;
    ASSERT_TRUE(getMessage(next));
    EXPECT_EQ(next.message, WM_CLOSE);
    registerWindowClass(mainWindowProc);
    installBackend(nullptr);
}

TEST(Presentation, LargestWholeScaleCentred) {
    struct Case { int32_t ww, wh, scale, x, y; } cases[] = {
        {640, 480, 1, 0, 0},      {1280, 960, 2, 0, 0},    {1920, 1080, 2, 320, 60},
        {1280, 1024, 2, 0, 32},   {1279, 1024, 1, 319, 272}, {2560, 1440, 3, 320, 0},
        {600, 400, 1, -20, -40},  // smaller than the picture: centred, the edges cut off
    };
    for (const Case& c : cases) {
        const Placement p = placePicture(640, 480, c.ww, c.wh);
        EXPECT_EQ(p.scale, c.scale) << c.ww << "x" << c.wh;
        EXPECT_EQ(p.x, c.x) << c.ww << "x" << c.wh;
        EXPECT_EQ(p.y, c.y) << c.ww << "x" << c.wh;
    }
}

TEST(Presentation, ShadowFindsTheChangedBox) {
    const int32_t w = 64, h = 48;
    std::vector<uint8_t> now(size_t(w) * h, 7), shown(size_t(w) * h, 7);
    EXPECT_TRUE(updateShadow(now.data(), w, shown.data(), w, w, h).empty());
    now[size_t(5) * w + 9] = 1;
    now[size_t(30) * w + 40] = 2;
    now[size_t(12) * w + 63] = 3;  // last column
    const Box b = updateShadow(now.data(), w, shown.data(), w, w, h);
    EXPECT_EQ(b.left, 9);
    EXPECT_EQ(b.top, 5);
    EXPECT_EQ(b.right, 64);
    EXPECT_EQ(b.bottom, 31);
    EXPECT_EQ(shown, now);
    // Shown once, the same picture is no change.
    EXPECT_TRUE(updateShadow(now.data(), w, shown.data(), w, w, h).empty());
}

TEST(Presentation, ConvertsOnlyTheBoxScaledAndClipped) {
    const int32_t w = 8, h = 6;
    std::vector<uint8_t> pic(size_t(w) * h);
    for (size_t i = 0; i < pic.size(); ++i) pic[i] = uint8_t(i);
    uint32_t lut[256];
    for (uint32_t i = 0; i < 256; ++i) lut[i] = 0x1000u + i;
    const uint32_t untouched = 0xDEADBEEF;

    // Scale 2 in a 20 by 14 target: the picture sits at (2, 1).
    const int32_t tw = 20, th = 14;
    const Placement place = placePicture(w, h, tw, th);
    ASSERT_EQ(place.scale, 2);
    std::vector<uint32_t> target(size_t(tw) * th, untouched);
    const Box out = convertScaled(pic.data(), w, Box{3, 2, 5, 3}, lut, place,
                                  reinterpret_cast<uint8_t*>(target.data()), tw * 4, tw, th);
    EXPECT_EQ(out.left, 2 + 6);
    EXPECT_EQ(out.top, 1 + 4);
    EXPECT_EQ(out.right, 2 + 10);
    EXPECT_EQ(out.bottom, 1 + 6);
    for (int32_t y = 0; y < th; ++y)
        for (int32_t x = 0; x < tw; ++x) {
            const bool inBox = x >= out.left && x < out.right && y >= out.top && y < out.bottom;
            const uint32_t want = inBox ? lut[pic[size_t((y - 1) / 2) * w + (x - 2) / 2]] : untouched;
            ASSERT_EQ(target[size_t(y) * tw + x], want) << x << "," << y;
        }

    // A target smaller than the picture: the middle shows, nothing is written outside.
    std::vector<uint32_t> small(size_t(5) * 3 + 1, untouched);
    const Placement cut = placePicture(w, h, 5, 3);
    convertScaled(pic.data(), w, Box{0, 0, w, h}, lut, cut, reinterpret_cast<uint8_t*>(small.data()), 5 * 4, 5, 3);
    EXPECT_EQ(small[0], lut[pic[size_t(-cut.y) * w - cut.x]]);
    EXPECT_EQ(small[14], lut[pic[size_t(2 - cut.y) * w + 4 - cut.x]]);
    EXPECT_EQ(small[15], untouched);
    // A box wholly outside the target writes nothing.
    EXPECT_TRUE(convertScaled(pic.data(), w, Box{0, 0, 1, 1}, lut, cut,
                              reinterpret_cast<uint8_t*>(small.data()), 5 * 4, 5, 3).empty());
}

}  // namespace
