// The application shell, the frame clock and the display setup through the headless back end
// (every empty look at the queue is 1 ms); the SDL back end's pure parts; the --stats figures;
// data-file lookup.
#include <gtest/gtest.h>

#include "app/window.h"
#include "backends/headless/headless.h"
#include "backends/sdl/keys.h"
#include "gfx/screen.h"
#include "platform/backend.h"
#include "platform/datafile.h"
#include "platform/display.h"
#include "platform/present.h"
#include "platform/stats.h"
#include "shell/frameclock.h"
#include "shell/shell.h"
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

// Key handling as a whole is pinned by the golden traces; system keys are never recorded.
TEST_F(Shell, KeysAreRecordedUntilReleasedButSystemKeysNever) {
    postMessage(WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_EQ(keyDown[VK_SPACE], 0) << "recorded only when a wait pumps";
    waitUntil(0);
    EXPECT_EQ(keyDown[VK_SPACE], 1);
    postMessage(WM_KEYUP, VK_SPACE, kRelease);
    postMessage(WM_SYSKEYDOWN, 'X', 1 | (1 << 29));
    postMessage(WM_SYSKEYDOWN, VK_F10, 1);
    waitUntil(0);
    for (uint32_t vk : {uint32_t(VK_SPACE), uint32_t('X'), uint32_t(VK_F10)})
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
    const struct {
        const char* name;
        std::function<void()> run;
        const char* trace;
    } cases[] = {
        {"pause",
         [] {
             postMessage(WM_KEYDOWN, VK_PAUSE, 1);
             pumpMessages();
         },
         "^0 exit 1\nheld=0\n$"},
        {"close",
         [] {
             screen.openScreen(mainWindow, 640, 480, 1, 8, 5);
             postMessage(WM_CLOSE, 0, 0);
             waitUntil(13);
         },
         "^0 exit 1\nheld=0\n$"},
        {"quit with Ctrl held",
         [] {
             waitEnabled = 0;
             postQuitMessage(0);
             waitUntil(0);
         },
         "^0 exit 1\nheld=0\n$"},
        {"fatal",
         [] {
             screen.openScreen(mainWindow, 640, 480, 1, 8, 5);
             fatalExit("\x83G\x83\x89\x81[");  // Shift-JIS for "エラー"
         },
         "^0 messagebox \\[エラーが発生したらしい\\(\\^\\^;\\] エラー\n0 exit 1\nheld=0\n$"},
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
                    std::fprintf(stderr, "held=%d\n",
                                 keyDown[VK_PAUSE] + (DisplayDevice::current() != nullptr));
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
    const auto untouched = [&] {
        return std::all_of(dst.data(), dst.data() + 16 * 8, [](uint8_t v) { return v == 0; });
    };
    for (const Rect& r :
         {Rect{-1, 0, 4, 4}, Rect{0, 0, 4, 9}, Rect{5, 5, 2, 2}, Rect{INT32_MIN, 0, INT32_MAX, 8}})
        EXPECT_EQ(dst.fill(&r, 7), DDERR_INVALIDRECT) << r.left << "," << r.top;
    const int32_t badPlaces[][2] = {{-1, 0}, {13, 0}, {0, 5}, {INT32_MIN, INT32_MIN}};
    for (const auto& p : badPlaces)
        EXPECT_EQ(dst.bltFast(p[0], p[1], src, nullptr, 0), DDERR_INVALIDRECT)
            << p[0] << "," << p[1];
    const Rect badSource{2, 2, 6, 4};
    EXPECT_EQ(dst.bltFast(0, 0, src, &badSource, 0), DDERR_INVALIDRECT);
    EXPECT_EQ(dst.bltFast(0, 0, src, nullptr, DDBLTFAST_SRCCOLORKEY), DDERR_NOCOLORKEY);
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    src.lock(&pixels, &pitch);
    EXPECT_EQ(dst.bltFast(0, 0, src, nullptr, 0), DDERR_SURFACEBUSY) << "a locked source";
    src.unlock(pixels);
    EXPECT_TRUE(untouched());
    // The last column and row are inside.
    EXPECT_EQ(dst.bltFast(12, 4, src, nullptr, 0), DD_OK);
    EXPECT_EQ(dst.data()[7 * 16 + 15], 5);
}

// SDL key codes are written as numbers (SDL's stable values) so the tests need no SDL headers.
// SDL_Keycode values.
constexpr int32_t kF10 = 0x40000043, kPause = 0x40000048, kRight = 0x4000004F,
                  kKeypadEnter = 0x40000058, kLCtrl = 0x400000E0, kLAlt = 0x400000E2,
                  kCapsLock = 0x40000039;
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
    for (auto [sdl, vk] : {std::pair{kKeypadEnter, 13u},
                           {kRight, 39u},
                           {kLCtrl, 17u},
                           {kPause, 19u},
                           {int32_t('a'), 65u}})
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
    pumpMessages();
    EXPECT_EQ(b->toggles, 1);
    EXPECT_EQ(keyDown[13], 0);
    // Alt+F4 asks to close: a WM_CLOSE joins the queue (not dispatched: it would end the process).
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
    struct Case {
        int32_t ww, wh, scale, x, y;
    } cases[] = {
        {640, 480, 1, 0, 0},
        {1920, 1080, 2, 320, 60},
        {1279, 1024, 1, 319, 272},
        {600, 400, 1, -20, -40},  // smaller than the picture: centred, the edges cut off
    };
    for (const Case& c : cases) {
        const Placement p = placePicture(640, 480, c.ww, c.wh);
        EXPECT_TRUE(p.scale == c.scale && p.x == c.x && p.y == c.y) << c.ww << "x" << c.wh;
    }
}

}  // namespace

namespace stats = platform::stats;

static double fakeNow = 0;

// Percentiles by nearest rank; of two waits only the paced step counts; a key is charged to the
// first presentation of newer drawing, once.
TEST(Stats, PercentilesPacedStepsAndKeyDelays) {
    std::vector<double> none, one{7}, v;
    for (int i = 100; i >= 1; --i) v.push_back(i);  // 1..100, unsorted
    EXPECT_EQ(stats::summarise(none).count, 0u);
    EXPECT_DOUBLE_EQ(stats::summarise(one).p99, 7);
    const stats::Summary s = stats::summarise(v);
    EXPECT_TRUE(s.count == 100 && s.median == 50.5 && s.p99 == 99);
    stats::enable();
    stats::reset();
    stats::useStepClock([] { return fakeNow; }, true);
    fakeNow = 100;
    stats::frameStarted();
    fakeNow = 114;
    stats::stepEnded(13);
    stats::stepEnded(0);   // a waitUntil(0) without startFrame
    stats::keyArrived(5);  // when the drawing counter is 5
    for (uint64_t drawn : {5, 6, 7}) stats::presented(0.5, drawn, true);
    const std::string text = stats::format();
    for (const char* line : {"waitUntil(13)       1, median 14.00 ms", "presentations       3,",
                             "key to presentation 1 keys"})
        EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find("waitUntil(0)"), std::string::npos) << text;
    stats::reset();
    stats::useStepClock(nullptr, false);
}

// Data files: the working directory first, then the installed folders in order; a name with a
// folder of its own, or found nowhere, or only as a folder, comes back as given.
TEST(DataFile, WorkingDirectoryThenFoldersInOrder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() /
                          ("varnis-datafile-" + std::to_string(::getpid())),
                   old = fs::current_path();
    for (const char* d : {"work/sub", "first/bomb.wav", "second"}) fs::create_directories(root / d);
    fs::current_path(root / "work");
    const std::vector<std::string> folders = {(root / "first").string(), "",
                                              (root / "second").string() + "/"};
    const struct {
        const char* create;
        const char* name;
        std::string found;
    } steps[] = {
        {"second/title.bmp", "title.bmp", (root / "second/title.bmp").string()},
        {"first/title.bmp", "title.bmp", (root / "first/title.bmp").string()},
        {"work/title.bmp", "title.bmp", "title.bmp"},
        {"second/char.bmp", "sub/char.bmp", "sub/char.bmp"},
        {nullptr, "../second/char.bmp", "../second/char.bmp"},
        {nullptr, "bomb.wav", "bomb.wav"},
        {nullptr, "", ""},
    };
    for (const auto& st : steps) {
        if (st.create) support::writeAll(root / st.create, "x");
        EXPECT_EQ(platform::findDataFile(st.name, folders), st.found) << st.name;
    }
    EXPECT_EQ(platform::findDataFile(nullptr, folders), "");
    EXPECT_EQ(platform::dataFilePath(nullptr), "");
    fs::current_path(old);
    fs::remove_all(root);
}
