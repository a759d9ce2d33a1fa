// The application shell, the frame clock and the display setup, driven in-process through the
// headless back end (virtual clock: every empty look at the queue is 1 ms).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/frameclock.h"
#include "app/shell.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/display.h"
#include "platform/headless/headless.h"

using namespace platform;

namespace {

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
    // In a death test's child: trace to standard error so the expectation can read it.
    static void traceToStderr() {
        HeadlessOptions o;
        o.traceOut = stderr;
        start(std::move(o));
    }
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
    postMessage(WM_KEYUP, VK_SPACE, int32_t(0xC0000001u));
    waitUntil(0);
    EXPECT_EQ(keyDown[VK_SPACE], 0);

    // Pressed and released between two waits: nothing is left down.
    postMessage(WM_KEYDOWN, VK_RETURN, 1);
    postMessage(WM_KEYUP, VK_RETURN, int32_t(0xC0000001u));
    waitUntil(0);
    EXPECT_EQ(keyDown[VK_RETURN], 0);

    // System keys are never recorded.
    postMessage(WM_SYSKEYDOWN, 'X', 1 | (1 << 29));
    postMessage(WM_SYSKEYDOWN, VK_F10, 1);
    waitUntil(0);
    EXPECT_EQ(keyDown['X'], 0);
    EXPECT_EQ(keyDown[VK_F10], 0);
}

TEST_F(Shell, WaitsLastTheirTimeOnTheVirtualClock) {
    startFrame();
    waitUntil(13);
    EXPECT_EQ(timeGetTime() - frameStart, 14u) << "a step lasts N + 1 ms";
    startFrame();
    waitUntil(0);
    EXPECT_EQ(timeGetTime() - frameStart, 1u);
    // An old stamp: one pump, one millisecond.
    startFrame();
    waitUntil(20);
    const uint32_t before = timeGetTime();
    waitUntil(5);
    EXPECT_EQ(timeGetTime() - before, 1u);
    // waitFor ends at, not after, its time.
    const uint32_t t = timeGetTime();
    waitFor(10);
    EXPECT_EQ(timeGetTime() - t, 10u);
}

TEST_F(Shell, CtrlHeldMakesEveryWaitOnePump) {
    postMessage(WM_KEYDOWN, VK_CONTROL, 1);
    startFrame();
    waitUntil(500);
    EXPECT_EQ(waitEnabled, 0);
    EXPECT_EQ(keyDown[VK_CONTROL], 1);
    EXPECT_EQ(timeGetTime() - frameStart, 1u);
    startFrame();
    waitFor(500);
    EXPECT_EQ(timeGetTime() - frameStart, 1u);
    postMessage(WM_KEYUP, VK_CONTROL, int32_t(0xC0000001u));
    waitUntil(0);
    EXPECT_EQ(waitEnabled, 1);
    startFrame();
    waitUntil(13);
    EXPECT_EQ(timeGetTime() - frameStart, 14u);
}

TEST_F(Shell, KeysFromTheScriptArriveAtTheLookThatAdmitsThem) {
    HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(parseScript("3 down 38\n5 up 38\n", o.events, error)) << error;
    start(std::move(o));
    EXPECT_EQ(pumpMessages(), 1);
    EXPECT_EQ(pumpMessages(), 1);
    EXPECT_EQ(keyDown[VK_UP], 0);
    // The look at 3 ms admits and dispatches the key; the pump's next look finds the queue empty
    // and moves on to 4.
    EXPECT_EQ(pumpMessages(), 1);
    EXPECT_EQ(timeGetTime(), 4u);
    EXPECT_EQ(keyDown[VK_UP], 1);
    startFrame();
    waitUntil(0);  // the look at 5 brings the release in
    EXPECT_EQ(timeGetTime(), 6u);
    EXPECT_EQ(keyDown[VK_UP], 0);
}

TEST_F(Shell, VerticalBlankIsTheNextTickOfTheSixtyHertzGrid) {
    const uint32_t expected[] = {16, 33, 50, 66, 83, 100};
    for (uint32_t e : expected) {
        waitVerticalBlank();
        EXPECT_EQ(timeGetTime(), e);
    }
}

TEST_F(ShellDeathTest, PauseEndsAtTheNextDispatchWithoutBeingRecorded) {
    EXPECT_EXIT(
        {
            traceToStderr();
            std::atexit([] { std::fprintf(stderr, "pause=%d\n", keyDown[VK_PAUSE]); });
            postMessage(WM_KEYDOWN, VK_PAUSE, 1);
            pumpMessages();
            std::fprintf(stderr, "still running\n");
        },
        // The key was waiting, so the look did not move the clock.
        ::testing::ExitedWithCode(1), "^0 exit 1\npause=0\n$");
}

TEST_F(ShellDeathTest, CloseRequestEndsWithoutMessageBox) {
    EXPECT_EXIT(
        {
            traceToStderr();
            ASSERT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 1);
            postMessage(WM_CLOSE, 0, 0);
            startFrame();
            waitUntil(13);
        },
        ::testing::ExitedWithCode(1), "^0 exit 1\n$");
}

TEST_F(ShellDeathTest, QuitMessageEndsTheNextWaitEvenWithCtrlHeld) {
    EXPECT_EXIT(
        {
            traceToStderr();
            waitEnabled = 0;
            postQuitMessage(0);
            waitUntil(0);
            std::fprintf(stderr, "still running\n");
        },
        ::testing::ExitedWithCode(1), "^0 exit 1\n$");
}

TEST_F(ShellDeathTest, DestroyPostsTheQuitMessage) {
    EXPECT_EXIT(
        {
            traceToStderr();
            postMessage(WM_DESTROY, 0, 0);
            waitUntil(0);
            std::fprintf(stderr, "still running\n");
        },
        ::testing::ExitedWithCode(1), "^0 exit 1\n$");
}

TEST_F(ShellDeathTest, FatalExitClosesTheDisplayThenShowsItsMessage) {
    EXPECT_EXIT(
        {
            traceToStderr();
            ASSERT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 1);
            std::atexit([] { std::fprintf(stderr, "device=%d\n", DisplayDevice::current() != nullptr); });
            fatalExit("\x83G\x83\x89\x81[");  // Shift-JIS for "エラー"
        },
        ::testing::ExitedWithCode(1),
        "^0 messagebox \\[エラーが発生したらしい\\(\\^\\^;\\] エラー\n0 exit 1\ndevice=0\n$");
}

TEST_F(Shell, OpenScreenGivesBlackSlotsAndABlackPalette) {
    ASSERT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 1);
    for (int s = 0; s < 5; ++s) {
        ASSERT_NE(SurfaceTable[s], nullptr) << s;
        const uint8_t* p = SurfaceTable[s]->data();
        EXPECT_TRUE(std::all_of(p, p + 640 * 480, [](uint8_t v) { return v == 0; })) << s;
    }
    for (int s = 5; s < 15; ++s) EXPECT_EQ(SurfaceTable[s], nullptr) << s;
    EXPECT_EQ(SurfaceTable[1], SurfaceTable[0]->attached());
    const PaletteEntry* pal = ddraw->devicePalette();
    EXPECT_TRUE(std::all_of(pal, pal + 256, [](const PaletteEntry& e) {
        return e.peRed == 0 && e.peGreen == 0 && e.peBlue == 0;
    }));
    EXPECT_EQ(windowOrigin.x, 0);
    EXPECT_EQ(windowOrigin.y, 0);
}

TEST_F(Shell, PresentTradesTheFrontAndBackPointers) {
    ASSERT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 1);
    screen.lockSurface(0);
    screen.lockSurface(1);
    uint8_t* front = surfacePixels[0];
    uint8_t* back = surfacePixels[1];
    ASSERT_NE(front, nullptr);
    ASSERT_NE(back, nullptr);
    back[0] = 9;  // drawn into the back buffer while locked
    screen.unlockSurface(0);
    screen.unlockSurface(1);
    screen.present();
    EXPECT_EQ(surfacePixels[0], back);
    EXPECT_EQ(surfacePixels[1], front);
    EXPECT_EQ(SurfaceTable[0]->data()[0], 9) << "the back buffer's picture is now in front";
    EXPECT_EQ(SurfaceTable[0]->data(), back);
    screen.present();
    EXPECT_EQ(surfacePixels[0], front);
    EXPECT_EQ(surfacePixels[1], back);
    EXPECT_EQ(SurfaceTable[1]->data()[0], 9);
}

// A back end whose display cannot be opened, as without a window system.
class NoDisplayBackend final : public Backend {
public:
    bool createWindow(const char*) override { return false; }
    void getWindowRect(Rect& r) override { r = Rect{}; }
    void poll(bool) override {}
    uint32_t now() override { return 0; }
    void idle(bool, uint32_t) override {}
    void waitVerticalBlank() override {}
    void messageBox(const std::string&, const char*) override {}
    bool openDisplay() override { return false; }
    void closeDisplay() override {}
};

TEST_F(Shell, CloseScreenCopesWithAPartialOpen) {
    // No device at all.
    installBackend(std::make_unique<NoDisplayBackend>());
    EXPECT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 0);
    EXPECT_EQ(screen.surfaceCount, 5);
    EXPECT_EQ(ddraw, nullptr);
    screen.closeScreen();
    EXPECT_EQ(screen.surfaceCount, 0);
    for (Surface* s : SurfaceTable) EXPECT_EQ(s, nullptr);

    // Device, primary surface and palette made, then an off-screen surface refused (windowed at
    // a size the device cannot make).
    start({});
    EXPECT_EQ(screen.openScreen(mainWindow, 5000, 480, 0, 8, 5), 0);
    EXPECT_NE(ddraw, nullptr);
    EXPECT_NE(SurfaceTable[0], nullptr);
    EXPECT_NE(ddPalette, nullptr);
    EXPECT_EQ(SurfaceTable[1], nullptr);
    screen.closeScreen();
    EXPECT_EQ(ddraw, nullptr);
    EXPECT_EQ(ddPalette, nullptr);
    EXPECT_EQ(DisplayDevice::current(), nullptr);
    for (Surface* s : SurfaceTable) EXPECT_EQ(s, nullptr);
    EXPECT_EQ(screen.width, 5000) << "the object's own fields keep their values";

    // Opened again afterwards, everything works.
    ASSERT_EQ(screen.openScreen(mainWindow, 640, 480, 1, 8, 5), 1);
    EXPECT_EQ(DisplayDevice::current(), ddraw);
}

TEST_F(Shell, RectanglesNotWhollyInsideAreRefusedAndDrawNothing) {
    Surface dst(16, 8), src(4, 4);
    src.fill(nullptr, 5);
    const std::vector<uint8_t> blank(dst.data(), dst.data() + 16 * 8);
    auto unchanged = [&] { return std::equal(blank.begin(), blank.end(), dst.data()); };

    const Rect badFills[] = {{-1, 0, 4, 4}, {0, 0, 17, 4}, {0, 0, 4, 9}, {3, 3, 3, 5},
                             {5, 5, 2, 2}, {INT32_MIN, 0, INT32_MAX, 8}};
    for (const Rect& r : badFills) {
        EXPECT_EQ(dst.fill(&r, 7), DDERR_INVALIDRECT) << r.left << "," << r.top;
        EXPECT_TRUE(unchanged());
    }
    const int32_t badPlaces[][2] = {{-1, 0}, {0, -1}, {13, 0}, {0, 5}, {INT32_MAX, 0},
                                    {0, INT32_MAX}, {INT32_MIN, INT32_MIN}};
    for (const auto& p : badPlaces) {
        EXPECT_EQ(dst.bltFast(p[0], p[1], src, nullptr, 0), DDERR_INVALIDRECT) << p[0] << "," << p[1];
        EXPECT_TRUE(unchanged());
    }
    const Rect badSource{2, 2, 6, 4};
    EXPECT_EQ(dst.bltFast(0, 0, src, &badSource, 0), DDERR_INVALIDRECT);
    // A colour-keyed copy from a surface without a colour key.
    EXPECT_EQ(dst.bltFast(0, 0, src, nullptr, DDBLTFAST_SRCCOLORKEY), DDERR_NOCOLORKEY);
    EXPECT_TRUE(unchanged());

    // The last column and row are inside.
    EXPECT_EQ(dst.bltFast(12, 4, src, nullptr, 0), DD_OK);
    EXPECT_EQ(dst.data()[7 * 16 + 15], 5);
    const Rect corner{15, 7, 16, 8};
    EXPECT_EQ(dst.fill(&corner, 3), DD_OK);
    EXPECT_EQ(dst.data()[7 * 16 + 15], 3);
}

}  // namespace
