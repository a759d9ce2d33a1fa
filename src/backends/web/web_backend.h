// The browser back end: the page's canvas, its keyboard, and waits that hand control back to the
// browser (the game's loops keep their shape: a wait suspends the program through ASYNCIFY).
#pragma once

#include <memory>

#include "platform/backend.h"

namespace platform {

std::unique_ptr<Backend> makeWebBackend();

// The virtual-key code of a KeyboardEvent.code ("ArrowLeft", "KeyA", ...), 0 for a key the game
// never sees. The same keys as the desktop build.
// The page's Web Audio output, pulling from the mixer once the player has pressed a key or clicked.
std::unique_ptr<AudioOutput> openWebAudio(AudioPull pull, void* user, uint32_t& rate);

uint32_t virtualKeyFromDomCode(const char* code);

// The message for one KeyboardEvent, with the lParam bits of the desktop build: repeat count 1,
// bit 29 while Alt is held, bit 30 for an auto-repeat or a release, bit 31 for a release. False
// when the key has no virtual-key code.
bool keyMessageFromDom(bool pressed, bool repeat, bool altHeld, const char* code, Message& out);

}  // namespace platform
