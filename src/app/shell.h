// The application shell: process entry, the one window and its procedure, the keyboard state the
// game polls, and fatalExit, the only orderly way the program ends.
#pragma once

#include <cstdint>

using WindowHandle = uintptr_t;

extern WindowHandle mainWindow;
// 1 from key-down to key-up, indexed by virtual-key code; game code clears an entry to consume it.
extern uint8_t keyDown[256];
// 0 while Ctrl is held: every wait then ends after one pass of the message pump.
extern int32_t waitEnabled;
// Fire key of each side: Space for the left fortress, Enter for the right one.
extern const int32_t fireKey[2];
// The one buffer every formatted message is written into.
extern char textBuffer[256];

int32_t mainWindowProc(uint32_t message, uint32_t wParam, int32_t lParam);

// Closes the display, shows the message (if any) in a message box, and exits with code 1.
[[noreturn]] void fatalExit(const char* message = nullptr);

// The entry: window, display, sound, seed, title menu. Returns only when the window class cannot
// be registered (0). seed is what srand gets (the calendar time unless --seed was given).
int winMain(uint32_t seed);
