// The application shell, the frame clock and the display setup, driven in-process through the
// headless back end (virtual clock: every empty look at the queue is 1 ms).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/frameclock.h"
#include "app/shell.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/display.h"
#include "platform/headless/headless.h"
#include "support.h"

using namespace platform;

namespace {

constexpr int32_t kRelease = int32_t(0xC0000001u);

class Shell : public ::testing::Test {
protected:
    void SetUp() override { start({}); }
    void TearDown() override { screen.closeScreen(); }

    // A fresh headless back end (clock at 0) with the given options, and a fresh shell state.
    static void start(HeadlessOptions options) {
        screen.closeScreen();
        installBackend(makeHeadlessBackend(std::move(options)));
        resetMessageQueue();
        registerWindowClass(mainWindowProc);
        clearKeys();
        waitEnabled = 1;
        frameStart = 0;
    }
    static uint32_t elapsed() { return timeGetTime() - frameStart; }
};

using ShellDeathTest = Shell;

TEST_F(Shell, KeysAreRecordedUntilReleasedAndConsumedByClearing) {
    postMessage(WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_EQ(keyDown[VK_SPACE], 0) << "recorded only when a wait pumps";
    waitUntil(0);
    EXPECT_EQ(keyDown[VK_SPACE], 1);
    keyDown[VK_SPACE] = 0;  // the game consumes the press
    waitUntil(0);
    EXPECT_EQ(keyDown[VK_SPACE], 0) << "a consumed key stays clear without a repeat";
    postMessage(WM_KEYDOWN, VK_SPACE, 0x40000001);  // auto-repeat
    waitUntil(0);
    EXPECT_EQ(keyDown[VK_SPACE], 1);
    // Released; pressed and released between two waits; system keys: nothing is left down.
    postMessage(WM_KEYUP, VK_SPACE, kRelease);
    postMessage(WM_KEYDOWN, VK_RETURN, 1);
    postMessage(WM_KEYUP, VK_RETURN, kRelease);
    postMessage(WM_SYSKEYDOWN, 'X', 1 | (1 << 29));
    postMessage(WM_SYSKEYDOWN, VK_F10, 1);
    waitUntil(0);
    for (uint32_t vk : {uint32_t(VK_SPACE), uint32_t(VK_RETURN), uint32_t('X'), uint32_t(VK_F10)})
        EXPECT_EQ(keyDown[vk], 0) << vk;
}

TEST_F(Shell, WaitsLastTheirTimeAndCtrlMakesEachOnePump) {
    startFrame();
    waitUntil(13);
    EXPECT_EQ(elapsed(), 14u) << "a step lasts N + 1 ms";
    const uint32_t t = timeGetTime();
    waitFor(10);
    EXPECT_EQ(timeGetTime() - t, 10u) << "waitFor ends at, not after, its time";

    postMessage(WM_KEYDOWN, VK_CONTROL, 1);
    startFrame();
    waitUntil(500);
    EXPECT_EQ(waitEnabled, 0);
    EXPECT_EQ(elapsed(), 1u);
    postMessage(WM_KEYUP, VK_CONTROL, kRelease);
    waitUntil(0);
    startFrame();
    waitUntil(13);
    EXPECT_EQ(elapsed(), 14u);

    // The vertical blank is the next tick of the 60 Hz grid.
    start({});
    for (uint32_t e : {16u, 33u, 50u}) {
        waitVerticalBlank();
        EXPECT_EQ(timeGetTime(), e);
    }
}

TEST_F(ShellDeathTest, EveryWayOutEndsWithStatusOneAndAnExitLine) {
    // Each runs in a child tracing to standard error; what follows the exit must not run.
    const struct { const char* name; std::function<void()> run; const char* trace; } cases[] = {
        {"pause", [] { postMessage(WM_KEYDOWN, VK_PAUSE, 1); pumpMessages(); }, "^0 exit 1\nheld=0\n$"},
        {"close", [] {
             screen.openScreen(mainWindow, 640, 480, 1, 8, 5);
             postMessage(WM_CLOSE, 0, 0);
             waitUntil(13);
         }, "^0 exit 1\nheld=0\n$"},
        {"quit with Ctrl held", [] { waitEnabled = 0; postQuitMessage(0); waitUntil(0); }, "^0 exit 1\nheld=0\n$"},
        {"fatal", [] {
             screen.openScreen(mainWindow, 640, 480, 1, 8, 5);
             fatalExit("\x83G\x83\x89\x81[");  // Shift-JIS for "エラー"
         }, "^0 messagebox \\[エラーが発生したらしい\\(\\^\\^;\\] エラー\n0 exit 1\nheld=0\n$"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                HeadlessOptions o;
                o.traceOut = stderr;
                start(std::move(o));
                // Pause is never recorded as held; the display is closed before the message shows.
                std::atexit([] {
                    std::fprintf(stderr, "held=%d\n", keyDown[VK_PAUSE] + (DisplayDevice::current() != nullptr));
                });
                c.run();
                std::fprintf(stderr, "still running\n");
            },
            ::testing::ExitedWithCode(1), c.trace);
    }
}

TEST_F(Shell, RectanglesNotWhollyInsideAreRefusedAndDrawNothing) {
    Surface dst(16, 8), src(4, 4);
    src.fill(nullptr, 5);
    const auto untouched = [&] { return std::all_of(dst.data(), dst.data() + 16 * 8, [](uint8_t v) { return v == 0; }); };
    for (const Rect& r : {Rect{-1, 0, 4, 4}, Rect{0, 0, 4, 9}, Rect{5, 5, 2, 2}, Rect{INT32_MIN, 0, INT32_MAX, 8}})
        EXPECT_EQ(dst.fill(&r, 7), DDERR_INVALIDRECT) << r.left << "," << r.top;
    const int32_t badPlaces[][2] = {{-1, 0}, {13, 0}, {0, 5}, {INT32_MIN, INT32_MIN}};
    for (const auto& p : badPlaces)
        EXPECT_EQ(dst.bltFast(p[0], p[1], src, nullptr, 0), DDERR_INVALIDRECT) << p[0] << "," << p[1];
    const Rect badSource{2, 2, 6, 4};
    EXPECT_EQ(dst.bltFast(0, 0, src, &badSource, 0), DDERR_INVALIDRECT);
    EXPECT_EQ(dst.bltFast(0, 0, src, nullptr, DDBLTFAST_SRCCOLORKEY), DDERR_NOCOLORKEY);
    EXPECT_TRUE(untouched());
    // The last column and row are inside.
    EXPECT_EQ(dst.bltFast(12, 4, src, nullptr, 0), DD_OK);
    EXPECT_EQ(dst.data()[7 * 16 + 15], 5);
}

}  // namespace
