#include "platform/pads.h"

#include "platform/host.h"

namespace platform {

uint32_t padKey(PadControl control, int pad, int pads) {
    switch (control) {
        case PadControl::Up:
        case PadControl::StickUp: return VK_UP;
        case PadControl::Down:
        case PadControl::StickDown: return VK_DOWN;
        case PadControl::Start: return VK_RETURN;
        case PadControl::B:
        case PadControl::Back: return VK_ESCAPE;
        case PadControl::RightTrigger: return VK_CONTROL;
        case PadControl::A:
            return pad == 1 ? uint32_t(VK_SPACE) : pad == 2 ? uint32_t(VK_RETURN) : 0;
        case PadControl::LeftShoulder: return pad == 1 ? uint32_t(VK_SPACE) : 0;
        case PadControl::RightShoulder:
            return pad == 2 || (pad == 1 && pads == 1) ? uint32_t(VK_RETURN) : 0;
        default: return 0;
    }
}

}  // namespace platform
