#pragma once
// A virtual game controller for tests, attached through SDL's virtual joysticks so the
// engine's real pad path reads it. Buttons and axes are the controller's own numbers
// (SDL_CONTROLLER_BUTTON_*, SDL_CONTROLLER_AXIS_*).
#include <SDL2/SDL.h>

namespace test_support {

class VirtualPad {
public:
    VirtualPad();
    ~VirtualPad();
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    void axis(int axis, Sint16 value);
    // -1.0 .. 1.0 as a stick: the ends are the ends.
    void stick(int axis, float value);
    void button(int button, bool down);
    void unplug();
    bool plugged() const { return joy_ != nullptr; }

private:
    SDL_Joystick* joy_ = nullptr;
    SDL_JoystickID instance_ = -1;
};

}  // namespace test_support
