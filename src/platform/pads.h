// What a game controller's controls press: one fixed table of virtual keys that knows nothing of
// the game's state, shared by the desktop's pads and the browser's.
//   every pad:  D-pad and left stick up/down   Up, Down
//               Start                          Enter
//               B, Back                        Escape
//               right trigger held             Ctrl held
//   pad 1:      A, left shoulder               Space (the left fortress fires)
//   pad 2:      A, right shoulder              Enter (the right fortress fires)
//   pad 1 while it is the only pad: right shoulder is Enter too, so one pad plays both sides.
#pragma once

#include <cstdint>

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

}  // namespace platform
