// Pads through the real SDL back end: SDL's virtual joysticks stand in for plugged-in controllers,
// and the test reads the window messages the game would receive.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "backends/sdl/sdl_backend.h"
#include "platform/backend.h"

using namespace platform;

namespace {

constexpr uint32_t D = WM_KEYDOWN, U = WM_KEYUP;
using Keys = std::vector<std::pair<uint32_t, uint32_t>>;  // message, virtual key

int attachPad() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    return SDL_JoystickAttachVirtualEx(&desc);
}

// The key messages that reach the queue once the back end has looked at SDL's events.
Keys pump() {
    Keys keys;
    Message m;
    while (peekMessage() && getMessage(m))
        if (m.message == D || m.message == U) keys.emplace_back(m.message, m.wParam);
    return keys;
}

TEST(SdlBackend, gamepadPressesArriveAsKeys) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);  // the dummy window never has focus
    installBackend(makeSdlBackend(true));
    resetMessageQueue();
    ASSERT_TRUE(createWindow("pads"));
    std::vector<SDL_Joystick*> pads;
    auto plug = [&] {
        const int index = attachPad();
        pads.push_back(index < 0 ? nullptr : SDL_JoystickOpen(index));
        ASSERT_NE(pads.back(), nullptr) << SDL_GetError();
        pump();
    };
    auto button = [&](int pad, int b, bool down) {
        SDL_JoystickSetVirtualButton(pads[size_t(pad)], b, down);
        return pump();
    };
    auto axis = [&](int pad, int a, int v) {
        SDL_JoystickSetVirtualAxis(pads[size_t(pad)], a, Sint16(v));
        return pump();
    };
    using B = SDL_GameControllerButton;
    plug();
    // One pad: the common buttons, the stick and trigger with their thresholds, and the right
    // shoulder as Enter.
    struct Step {
        int pad;
        int b;
        bool down;
        Keys want;
    } alone[] = {
        {0, B::SDL_CONTROLLER_BUTTON_A, true, {{D, 32}}},
        {0, B::SDL_CONTROLLER_BUTTON_A, false, {{U, 32}}},
        {0, B::SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true, {{D, 32}}},
        {0, B::SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true, {{D, 13}}},
        {0, B::SDL_CONTROLLER_BUTTON_START, true, {{D, 13}}},  // held twice: down again, up once
        {0, B::SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false, {}},
        {0, B::SDL_CONTROLLER_BUTTON_START, false, {{U, 13}}},
        {0, B::SDL_CONTROLLER_BUTTON_LEFTSHOULDER, false, {{U, 32}}},
        {0, B::SDL_CONTROLLER_BUTTON_B, true, {{D, 27}}},
        {0, B::SDL_CONTROLLER_BUTTON_BACK, true, {{D, 27}}},
        {0, B::SDL_CONTROLLER_BUTTON_DPAD_DOWN, true, {{D, 40}}},
        {0, B::SDL_CONTROLLER_BUTTON_X, true, {}},
    };
    for (const Step& s : alone)
        EXPECT_EQ(button(s.pad, s.b, s.down), s.want) << s.b << " " << s.down;
    EXPECT_EQ(axis(0, SDL_CONTROLLER_AXIS_LEFTY, -20000), (Keys{{D, 38}}));
    EXPECT_EQ(axis(0, SDL_CONTROLLER_AXIS_LEFTY, -10000), Keys{});  // between the thresholds
    EXPECT_EQ(axis(0, SDL_CONTROLLER_AXIS_LEFTY, 30000), (Keys{{U, 38}, {D, 40}}));
    EXPECT_EQ(axis(0, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767), (Keys{{D, 17}}));
    EXPECT_EQ(axis(0, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, -32768), (Keys{{U, 17}}));  // at rest

    // A second pad: its A and right shoulder fire the right fortress, pad 1's right shoulder no
    // longer.
    plug();
    Step two[] = {
        {0, B::SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true, {}},
        {1, B::SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true, {}},
        {1, B::SDL_CONTROLLER_BUTTON_A, true, {{D, 13}}},
        {0, B::SDL_CONTROLLER_BUTTON_A, true, {{D, 32}}},
    };
    for (const Step& s : two) EXPECT_EQ(button(s.pad, s.b, s.down), s.want) << s.b << " " << s.down;
    // Pad 1 unplugged with A, B, Back, D-pad and stick down: all its keys come up, once each
    // (the stick shares Down with the D-pad); pad 2 keeps Enter.
    SDL_JoystickDetachVirtual(0);
    Keys released = pump();
    std::sort(released.begin(), released.end());
    EXPECT_EQ(released, (Keys{{U, 27}, {U, 32}, {U, 40}}));
    // Plugged in again it is pad 1 once more (the lowest free number), so A is Space.
    plug();
    EXPECT_EQ(button(2, B::SDL_CONTROLLER_BUTTON_A, true), (Keys{{D, 32}}));
    EXPECT_EQ(button(1, B::SDL_CONTROLLER_BUTTON_A, false), (Keys{{U, 13}}));
    installBackend(nullptr);
}

}  // namespace
