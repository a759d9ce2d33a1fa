// Game controllers as a second keyboard. Every press on a pad becomes the WM_KEYDOWN/WM_KEYUP
// message of a virtual key (platform/pads.h), so the game, its scripts and recordings only ever see
// keys.
// Pads are numbered in the order they connect; a pad plugged in again takes the lowest free number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/pads.h"

union SDL_Event;

namespace platform {

// The connected pads and what each holds down. A key held through several controls (Start and A on
// pad 2, say) goes down with each press, as an auto-repeat would, and up with the last release, so
// the game sees every press and never a key that stays stuck.
class Gamepads {
public:
    // Whether any pad is connected (SDL then reads pads by polling, not through window events).
    bool any() const { return !pads_.empty(); }
    // Starts SDL's game controller subsystem (after video); pads already plugged in arrive as
    // events.
    void open();
    // Forgets every pad, releasing what it held; before SDL_Quit.
    void close();
    // Handles a controller event (device added or removed, button, axis); other events are ignored.
    void handle(const SDL_Event& e);

private:
    struct Pad {
        int32_t id;        // SDL joystick instance
        int number;        // 1, 2, ...
        void* controller;  // SDL_GameController
        uint32_t
            held[std::size_t(PadControl::Count)];  // the key each control sent on its press, or 0
    };
    Pad* find(int32_t id);
    void connect(int deviceIndex);
    void disconnect(int32_t id);
    void press(Pad& pad, PadControl control);
    void release(Pad& pad, PadControl control);
    void axis(Pad& pad, int axis, int value);

    bool up_ = false;
    std::vector<Pad> pads_;
    uint16_t keyHolders_[256] = {};  // controls of all pads holding each virtual key
};

extern Gamepads gamepads;

}  // namespace platform
