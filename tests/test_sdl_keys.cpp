// The SDL back end's pure parts: keyboard events as window messages, and where the front surface
// lands in the window. SDL key codes are written as numbers (SDL's stable values) so the
// tests need no SDL headers.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "app/frameclock.h"
#include "app/shell.h"
#include "platform/backend.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/present.h"
#include "support.h"

using namespace platform;

namespace {

// SDL_Keycode values.
constexpr int32_t kF10 = 0x40000043, kPause = 0x40000048, kRight = 0x4000004F, kKeypadEnter = 0x40000058,
                  kLCtrl = 0x400000E0, kLAlt = 0x400000E2, kCapsLock = 0x40000039;
// SDL_Keymod values.
constexpr uint16_t kModLShift = 0x0001, kModLAlt = 0x0100, kModRAlt = 0x0200, kModNum = 0x1000;

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
    EXPECT_EQ(msg(true, false, '\r', kModRAlt), (T{WM_SYSKEYDOWN, 13, alt | 1}));
    EXPECT_EQ(std::get<0>(msg(false, false, '\r', kModLAlt)), WM_SYSKEYUP);
    // Alt's own release (Alt no longer held) is still a system key; F10 is one without the bit.
    EXPECT_EQ(std::get<0>(msg(true, false, kLAlt, kModLAlt)), WM_SYSKEYDOWN);
    EXPECT_EQ(std::get<0>(msg(false, false, kLAlt, 0)), WM_SYSKEYUP);
    EXPECT_EQ(msg(true, false, kF10, 0), (T{WM_SYSKEYDOWN, 121, 1}));
    // The keys the game reads map to their virtual keys; others, and upper-case codes, to nothing.
    for (auto [sdl, vk] : {std::pair{kKeypadEnter, 13u}, {kRight, 39u}, {kLCtrl, 17u}, {kPause, 19u}, {int32_t('a'), 65u}})
        EXPECT_EQ(std::get<1>(msg(true, false, sdl, 0)), vk) << sdl;
    EXPECT_EQ(msg(true, false, kCapsLock, 0), (T{0, 0, 0}));
    EXPECT_EQ(msg(true, false, 'A', 0), (T{0, 0, 0}));
}

// Counts what the default window procedure asks of the back end.
class CountingBackend final : public support::StubBackend {
public:
    int toggles = 0;
    uint32_t clock = 0;
    uint32_t now() override { return ++clock; }
    void toggleFullscreen() override { ++toggles; }
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
    installBackend(makeHeadlessBackend({}));
}

TEST(Presentation, LargestWholeScaleCentred) {
    struct Case { int32_t ww, wh, scale, x, y; } cases[] = {
        {640, 480, 1, 0, 0}, {1920, 1080, 2, 320, 60}, {1279, 1024, 1, 319, 272},
        {600, 400, 1, -20, -40},  // smaller than the picture: centred, the edges cut off
    };
    for (const Case& c : cases) {
        const Placement p = placePicture(640, 480, c.ww, c.wh);
        EXPECT_EQ(p.scale, c.scale) << c.ww << "x" << c.wh;
        EXPECT_EQ(p.x, c.x) << c.ww << "x" << c.wh;
        EXPECT_EQ(p.y, c.y) << c.ww << "x" << c.wh;
    }
}

}  // namespace
