// The SDL back end's pure parts: keyboard events as window messages, and where and how the front
// surface lands in the window. SDL key codes are written as numbers (SDL's stable values) so the
// tests need no SDL headers.
#include <gtest/gtest.h>

#include <vector>

#include "app/frameclock.h"
#include "app/shell.h"
#include "platform/backend.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/present.h"

using namespace platform;

namespace {

// SDL_Keycode values.
constexpr int32_t kF1 = 0x4000003A, kF10 = 0x40000043, kF12 = 0x40000045, kPause = 0x40000048,
                  kRight = 0x4000004F, kLeft = 0x40000050, kDown = 0x40000051, kUp = 0x40000052,
                  kKeypadEnter = 0x40000058, kLCtrl = 0x400000E0, kLShift = 0x400000E1,
                  kLAlt = 0x400000E2, kRCtrl = 0x400000E4, kRShift = 0x400000E5,
                  kRAlt = 0x400000E6, kCapsLock = 0x40000039;
// SDL_Keymod values.
constexpr uint16_t kModLShift = 0x0001, kModLAlt = 0x0100, kModRAlt = 0x0200, kModNum = 0x1000;

TEST(SdlKeys, MapsToVirtualKeyCodes) {
    const std::pair<int32_t, uint32_t> table[] = {
        {' ', 32},     {'\r', 13},  {kKeypadEnter, 13}, {27, 27},     {kLeft, 37},  {kUp, 38},
        {kRight, 39},  {kDown, 40}, {kLShift, 16},      {kRShift, 16}, {kLCtrl, 17}, {kRCtrl, 17},
        {kPause, 19},  {'\t', 9},   {8, 8},             {'a', 65},    {'z', 90},    {'0', 48},
        {'9', 57},     {kF1, 112},  {kF12, 123},        {kLAlt, 18},  {kRAlt, 18},
    };
    for (const auto& [sdl, vk] : table) EXPECT_EQ(virtualKeyFromSdl(sdl), vk) << "SDL key " << sdl;
    // Keys the game has no code for produce no message at all.
    Message m;
    EXPECT_EQ(virtualKeyFromSdl(kCapsLock), 0u);
    EXPECT_FALSE(keyMessageFromSdl(true, false, kCapsLock, 0, m));
    EXPECT_FALSE(keyMessageFromSdl(true, false, 'A', 0, m));  // SDL key codes are lower case
}

TEST(SdlKeys, PlainKeysRepeatsAndReleases) {
    Message m;
    // Shift and Num Lock held do not make a key a system key.
    ASSERT_TRUE(keyMessageFromSdl(true, false, ' ', kModLShift | kModNum, m));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    EXPECT_EQ(m.wParam, 32u);
    EXPECT_EQ(m.lParam, 1);
    ASSERT_TRUE(keyMessageFromSdl(true, true, ' ', 0, m));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    EXPECT_EQ(uint32_t(m.lParam), 0x40000001u);
    ASSERT_TRUE(keyMessageFromSdl(false, false, ' ', 0, m));
    EXPECT_EQ(m.message, WM_KEYUP);
    EXPECT_EQ(uint32_t(m.lParam), 0xC0000001u);
}

TEST(SdlKeys, AltAndF10AreSystemKeys) {
    Message m;
    for (uint16_t alt : {kModLAlt, kModRAlt}) {
        ASSERT_TRUE(keyMessageFromSdl(true, false, '\r', alt, m));
        EXPECT_EQ(m.message, WM_SYSKEYDOWN);
        EXPECT_EQ(m.wParam, 13u);
        EXPECT_NE(m.lParam & (1 << 29), 0);
        ASSERT_TRUE(keyMessageFromSdl(false, false, '\r', alt, m));
        EXPECT_EQ(m.message, WM_SYSKEYUP);
    }
    // Alt itself: its press carries the Alt bit, its release (Alt no longer held) is still a
    // system key.
    ASSERT_TRUE(keyMessageFromSdl(true, false, kLAlt, kModLAlt, m));
    EXPECT_EQ(m.message, WM_SYSKEYDOWN);
    EXPECT_EQ(m.wParam, 18u);
    ASSERT_TRUE(keyMessageFromSdl(false, false, kLAlt, 0, m));
    EXPECT_EQ(m.message, WM_SYSKEYUP);
    // F10 alone is a system key without the Alt bit.
    ASSERT_TRUE(keyMessageFromSdl(true, false, kF10, 0, m));
    EXPECT_EQ(m.message, WM_SYSKEYDOWN);
    EXPECT_EQ(m.lParam & (1 << 29), 0);
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
    struct Case {
        int32_t ww, wh, scale, x, y;
    } cases[] = {
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
    std::vector<uint32_t> small(size_t(5) * 3, untouched);
    const Placement cut = placePicture(w, h, 5, 3);
    const Box all = convertScaled(pic.data(), w, Box{0, 0, w, h}, lut, cut,
                                  reinterpret_cast<uint8_t*>(small.data()), 5 * 4, 5, 3);
    EXPECT_EQ(all.right - all.left, 5);
    EXPECT_EQ(all.bottom - all.top, 3);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(small[size_t(y) * 5 + x], lut[pic[size_t(y - cut.y) * w + (x - cut.x)]]);
    // A box wholly outside the target writes nothing.
    EXPECT_TRUE(convertScaled(pic.data(), w, Box{0, 0, 1, 1}, lut, cut,
                              reinterpret_cast<uint8_t*>(small.data()), 5 * 4, 5, 3).empty());
}

}  // namespace
