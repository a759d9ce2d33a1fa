// What the game side needs of the operating system: one window with a message queue carrying
// Windows virtual-key codes, a millisecond clock, message boxes, idle waiting, the vertical blank
// and the process exit. Two back ends provide it: the SDL2 one for play and the headless one
// (virtual clock, scripted input, trace) for tests and scripted runs.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Window messages, with their Windows values.
enum : uint32_t {
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_SETCURSOR = 0x0020,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105,
};

// Virtual-key codes the game and the platform use.
enum : uint32_t {
    VK_BACK = 8,
    VK_TAB = 9,
    VK_RETURN = 13,
    VK_SHIFT = 16,
    VK_CONTROL = 17,
    VK_MENU = 18,
    VK_PAUSE = 19,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_F1 = 112,
    VK_F4 = 115,
    VK_F10 = 121,
    VK_F12 = 123,
};

struct Message {
    uint32_t message = 0;
    uint32_t wParam = 0;
    int32_t lParam = 0;
};

using WindowProc = int32_t (*)(uint32_t message, uint32_t wParam, int32_t lParam);

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// System metrics the window and display code ask for.
enum : int { SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CYCAPTION = 4, SM_CYMENUSIZE = 55 };

// ---- Window and message queue -------------------------------------------------------------
bool registerWindowClass(WindowProc proc);
// Creates the one window (client area 640 by 480 in the stand-in); false when there is no window
// system to create it on.
bool createWindow(const char* caption);
void showWindow();
void hideCursor();
// The window's outer rectangle in the primary surface's coordinates: in the stand-in that surface
// is the drawing area, so the rectangle is always (-3, -42)-(643, 482).
void getWindowRect(Rect& rect);
int getSystemMetrics(int index);

// PM_NOREMOVE peek: true when a message (or the quit message) waits. Polls the system's events,
// presents the front surface when due, and in the headless back end moves the virtual clock.
bool peekMessage();
// Takes the next message; false when it is WM_QUIT.
bool getMessage(Message& msg);
void translateMessage(const Message& msg);
int32_t dispatchMessage(const Message& msg);
int32_t defWindowProc(uint32_t message, uint32_t wParam, int32_t lParam);
void postMessage(uint32_t message, uint32_t wParam, int32_t lParam);
void postQuitMessage(int exitCode);

// ---- Clock and idling ---------------------------------------------------------------------
// Milliseconds, unsigned 32-bit, wrapping.
uint32_t timeGetTime();
// Called by the waits between passes. May block until an event arrives, a presentation falls
// due, one display refresh passes, or shortly before `deadline` (when hasDeadline), whichever is
// first. A pass that follows drawing (any surface or palette change since the previous call)
// returns at once, so drawing loops stay fast. Never sleeps in the headless back end.
void idle(bool hasDeadline, uint32_t deadline);
// Returns at the start of the next vertical blank.
void waitVerticalBlank();

// ---- Message boxes and exit ---------------------------------------------------------------
// text and caption are Shift-JIS bytes; a null caption is the system's default caption.
void messageBox(const char* text, const char* caption);
// Ends the process: writes the closing trace line, shuts the back end down, calls exit(code).
[[noreturn]] void exitProcess(int code);

// ---- Trace (headless only; a no-op elsewhere) ---------------------------------------------
bool tracing();
// Writes one line "<ms> <text>" to the trace; text is UTF-8 without newline.
void trace(const std::string& text);

// Shift-JIS (code page 932) bytes to UTF-8; undecodable bytes become U+FFFD.
std::string sjisToUtf8(const char* sjis);

// The key message a window of the original platform gets for virtual key `vk` (non-zero): keys
// while Alt is held, Alt itself and F10 are system keys (WM_SYSKEYDOWN/WM_SYSKEYUP); lParam has
// repeat count 1, bit 29 while Alt is held, bit 30 for an auto-repeat or a release, bit 31 for a
// release. Every back end's keyboard goes through it.
Message keyMessage(uint32_t vk, bool pressed, bool repeat, bool altHeld);

}  // namespace platform
