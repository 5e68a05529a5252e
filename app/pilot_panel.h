#pragma once
// The pilots on the title screen: beside the menu's column, each helicopter's pilot in
// its team's colour with the keys or sticks it flies by. A click on a pilot's name, or
// F1 (Blue) and F2 (Red), changes the pilot; F3 on the title and pause screens changes
// the 3D glasses mode, whose name then shows for two seconds. These belong to the
// program, not the game: a click they take never reaches the menu.
#include "session/runner.h"

class PilotPanel : public FrameHook {
public:
    // Looks at the keys and the click of a frame's input before the game does; true if
    // a pilot changed.
    bool take_devices(Program& p, FrameInput& in) override;
    // Draws the panel (on the title) and the 3D mode's name, over the frame's picture;
    // the drawing state is left as it was.
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;

private:
    int stereo_banner_ = 0;  // frames the 3D mode's name stays on screen
};
