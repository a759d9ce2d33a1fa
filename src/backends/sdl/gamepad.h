// Game controllers as a second keyboard. Every press on a pad becomes the WM_KEYDOWN/WM_KEYUP
// message of a virtual key, so the game, its scripts and recordings only ever see keys. The mapping
// is one fixed table that knows nothing of the game's state:
//   every pad:  D-pad and left stick up/down   Up, Down
//               Start                          Enter
//               B, Back                        Escape
//               right trigger held             Ctrl held
//   pad 1:      A, left shoulder               Space (the left fortress fires)
//   pad 2:      A, right shoulder              Enter (the right fortress fires)
//   pad 1 while it is the only pad: right shoulder is Enter too, so one pad plays both sides.
// Pads are numbered in the order they connect; a pad plugged in again takes the lowest free number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

union SDL_Event;

namespace platform {

// The controls of a pad that mean something to the game.
enum class PadControl : uint8_t {
    A,
    B,
    Back,
    Start,
    LeftShoulder,
    RightShoulder,
    Up,
    Down,
    StickUp,
    StickDown,
    RightTrigger,
    Count
};

// The virtual key of a control on pad number `pad` (1 first) while `pads` pads are connected; 0 for
// a control that means nothing there.
uint32_t padKey(PadControl control, int pad, int pads);

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
