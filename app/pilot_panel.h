#pragma once
// The pilots on the title screen: beside the menu's column, each helicopter's pilot in
// its team's colour with the keys or sticks it flies by, or, for a pad that is not
// plugged in, what to do about it. A click anywhere on a panel, or F1 (Blue) and F2
// (Red), changes the pilot; F3 on the title and pause screens changes the 3D glasses
// mode. These belong to the program, not the game: over a panel the menu's item at that
// height is not lit, and a click there never reaches the menu.
//
// A line under the scores names the program's keys on the title; a notice takes its
// place for a while (the 3D mode's name, a game recovered after a crash, a game started
// with a pilot whose pad is missing, which is also said once on the terminal).
#include <string>
#include <vector>

#include "session/runner.h"

class PilotPanel : public FrameHook {
public:
    // Looks at the keys and the click of a frame's input before the game does; true if
    // a pilot changed.
    bool take_devices(Program& p, FrameInput& in) override;
    void shown(const Program& p, Scene& scene) override;
    // Draws the panel (on the title), the hint line or a notice, over the frame's
    // picture; the drawing state is left as it was.
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;
    void presented(Program& p) override;

    // A notice in place of the hint line for `frames` frames, on whatever screen shows,
    // or (on_title) from the first frame the title shows.
    void announce(const std::string& line, int frames, bool on_title = false);

    // The hint line's words.
    static std::string hint_line();
    // The side whose panel is at a point of the picture, or -1.
    static int panel_at(int x, int y);
    // The panel's lines under the pilot's name, as drawn.
    static std::vector<std::string> legend(const Program& p, int side);

private:
    std::string notice_;
    int notice_frames_ = 0;  // frames the notice stays on screen
    bool notice_waits_ = false;  // until the title shows
    bool was_title_ = false;
};

// The next pilot for a side: a pad (when one is there), the keys, then the computer at
// each skill; kept in the settings.
void next_pilot(Program& p, int side);
