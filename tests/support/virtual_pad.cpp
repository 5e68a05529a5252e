#include "virtual_pad.h"

#include <gtest/gtest.h>

#include <cmath>

namespace test_support {

VirtualPad::VirtualPad() {
    SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
    EXPECT_GE(index, 0) << SDL_GetError();
    joy_ = SDL_JoystickOpen(index);
    instance_ = joy_ ? SDL_JoystickInstanceID(joy_) : -1;
}

VirtualPad::~VirtualPad() { unplug(); }

void VirtualPad::axis(int axis, Sint16 value) {
    if (joy_) SDL_JoystickSetVirtualAxis(joy_, axis, value);
}

void VirtualPad::stick(int a, float value) {
    if (value <= -1.0f) axis(a, -32768);
    else if (value >= 1.0f) axis(a, 32767);
    else axis(a, Sint16(std::lround(value * 32767.0)));
}

void VirtualPad::button(int button, bool down) {
    if (joy_) SDL_JoystickSetVirtualButton(joy_, button, down ? 1 : 0);
}

void VirtualPad::unplug() {
    if (!joy_) return;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == instance_) {
            SDL_JoystickClose(joy_);
            SDL_JoystickDetachVirtual(i);
            break;
        }
    }
    joy_ = nullptr;
}

}  // namespace test_support
