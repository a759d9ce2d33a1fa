#include "backends/sdl/gamepad.h"

#include <SDL.h>

#include <algorithm>
#include <utility>

#include "platform/backend.h"

namespace platform {

Gamepads gamepads;

namespace {

// A stick or trigger counts as pressed past half way and as released again below a quarter, so a
// stick resting near the threshold does not chatter.
constexpr int kPressAt = 16384, kReleaseBelow = 8192;

bool controlOf(int button, PadControl& out) {
    switch (button) {
        case SDL_CONTROLLER_BUTTON_A: out = PadControl::A; return true;
        case SDL_CONTROLLER_BUTTON_B: out = PadControl::B; return true;
        case SDL_CONTROLLER_BUTTON_BACK: out = PadControl::Back; return true;
        case SDL_CONTROLLER_BUTTON_START: out = PadControl::Start; return true;
        case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: out = PadControl::LeftShoulder; return true;
        case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: out = PadControl::RightShoulder; return true;
        case SDL_CONTROLLER_BUTTON_DPAD_UP: out = PadControl::Up; return true;
        case SDL_CONTROLLER_BUTTON_DPAD_DOWN: out = PadControl::Down; return true;
        default: return false;
    }
}

}  // namespace

void Gamepads::open() {
    if (!up_) up_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
}

void Gamepads::close() {
    while (!pads_.empty()) disconnect(pads_.back().id);
    if (std::exchange(up_, false)) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void Gamepads::handle(const SDL_Event& e) {
    if (!up_) return;
    switch (e.type) {
        case SDL_CONTROLLERDEVICEADDED: connect(e.cdevice.which); break;
        case SDL_CONTROLLERDEVICEREMOVED: disconnect(e.cdevice.which); break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            Pad* pad = find(e.cbutton.which);
            PadControl control;
            if (!pad || !controlOf(e.cbutton.button, control)) break;
            if (e.type == SDL_CONTROLLERBUTTONDOWN)
                press(*pad, control);
            else
                release(*pad, control);
            break;
        }
        case SDL_CONTROLLERAXISMOTION:
            if (Pad* pad = find(e.caxis.which)) axis(*pad, e.caxis.axis, e.caxis.value);
            break;
        default: break;
    }
}

Gamepads::Pad* Gamepads::find(int32_t id) {
    for (Pad& p : pads_)
        if (p.id == id) return &p;
    return nullptr;
}

void Gamepads::connect(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller) return;
    const int32_t id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    if (find(id)) {  // announced twice: the second open only added a reference
        SDL_GameControllerClose(controller);
        return;
    }
    int number = 1;
    while (
        std::any_of(pads_.begin(), pads_.end(), [&](const Pad& p) { return p.number == number; }))
        ++number;
    pads_.push_back(Pad{id, number, controller, {}});
}

void Gamepads::disconnect(int32_t id) {
    Pad* pad = find(id);
    if (!pad) return;
    for (size_t c = 0; c < size_t(PadControl::Count); ++c) release(*pad, PadControl(c));
    SDL_GameControllerClose(static_cast<SDL_GameController*>(pad->controller));
    pads_.erase(pads_.begin() + (pad - pads_.data()));
}

void Gamepads::press(Pad& pad, PadControl control) {
    uint32_t& held = pad.held[size_t(control)];
    if (held) return;
    held = padKey(control, pad.number, int(pads_.size()));
    if (!held) return;
    // Bit 30: the key was already down (through another control), as on an auto-repeat.
    const bool wasDown = keyHolders_[held]++ > 0;
    enqueueMessage(keyMessage(held, true, wasDown, false));
}

void Gamepads::release(Pad& pad, PadControl control) {
    // The key the press sent, even if the pad's number or the number of pads changed since.
    const uint32_t key = std::exchange(pad.held[size_t(control)], 0);
    if (key && --keyHolders_[key] == 0) enqueueMessage(keyMessage(key, false, false, false));
}

void Gamepads::axis(Pad& pad, int axis, int value) {
    auto follow = [&](PadControl control, int amount) {
        if (amount >= kPressAt)
            press(pad, control);
        else if (amount < kReleaseBelow)
            release(pad, control);
    };
    if (axis == SDL_CONTROLLER_AXIS_LEFTY) {  // negative is up
        follow(PadControl::StickUp, -value);
        follow(PadControl::StickDown, value);
    } else if (axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT) {
        follow(PadControl::RightTrigger, value);
    }
}

}  // namespace platform
