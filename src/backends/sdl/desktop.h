// What makes the SDL game a well-behaved desktop program beyond its window and keys: a quiet
// start, and the window's own icon.
#pragma once

struct SDL_Window;

namespace platform {

// Silences what the system libraries SDL loads print on standard error while they look for
// devices: ALSA's "ALSA lib ..." lines on a machine without a sound card, libwayland's complaint
// when there is no Wayland session. SDL reports those failures itself (no sound device: the game
// plays silently; no display: the game says so once). Call before SDL starts a subsystem.
void quietSystemLibraries();

// Sets the game's icon (icon.rgba among the data files: 64 by 64 RGBA) on the window; without the
// file the window keeps the system's default icon.
void setWindowIcon(SDL_Window* window);

}  // namespace platform
