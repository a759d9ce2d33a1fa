// The game's shell state: the keyboard state the game polls, the Ctrl switch of the waits, the
// window handle, the fire keys, the message buffer and fatalExit, the only orderly way the program
// ends. The display, the sound bank and the game read and call these; the window procedure that
// writes them lives above, in the process entry.
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

// Closes the display, shows the message (if any) in a message box, and exits with code 1.
[[noreturn]] void fatalExit(const char* message = nullptr);

// The game goes on from here on behalf of `player` (0 the left fortress, 1 the right one): the
// start of each aim, the key after a victory and the return to the title (inMatch false). Playing
// over the network, that player's machine drives the game from this point.
void awaitPlayer(int player, bool inMatch);

// What fatalExit runs first to close the display. The display registers it when it is built, so
// that the shell, which sits below the display, never names it.
using CloseDisplayHook = void (*)();
void setCloseDisplayHook(CloseDisplayHook hook);
