// What makes the SDL game a well-behaved desktop program beyond its window and keys: a quiet
// start, the window's own icon, and a prompt end when the display goes away.
#pragma once

struct SDL_Window;

namespace platform {

// Silences what the system libraries SDL loads print on standard error while they look for
// devices: ALSA's "ALSA lib ..." lines on a machine without a sound card, libwayland's complaint
// when there is no Wayland session. SDL reports those failures itself (no sound device: the game
// plays silently; no display: the game says so once). Call before SDL starts a subsystem.
void quietSystemLibraries();

// Once the window is up: when the connection to the display breaks (the X server ended, the
// session logged out), says so in one line on standard error, lets the back end save what it can
// (Backend::displayLost) and ends the process with status 1 at once, touching nothing of the
// display. Without it the game would never end.
void endWhenDisplayLost();

// Sets the game's icon (icon.rgba among the data files: 64 by 64 RGBA) on the window; without the
// file the window keeps the system's default icon.
void setWindowIcon(SDL_Window* window);

}  // namespace platform
