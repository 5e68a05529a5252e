#pragma once
// owdraw_tag: the one drawing object the game sets its state and draws through. It was
// made for colour-anaglyph stereo: every draw carries an eye offset and a pass count,
// and the object holds a colour per eye and the stereo mode. With ana_mode 0 (the
// default) each call draws once, plainly. The program's one drawing object lives in its
// media (present/media.h) and travels from there to whatever draws.
#include <string>

#include "platform/draw.h"

struct owdraw_tag {
    // Stereo mode: 0 off, 1..4 the colour pairs below: the player's 3D glasses mode (F3
    // on the title and pause screens, --stereo, the settings file).
    int ana_mode = 0;
    int leye_r = 0, leye_g = 0, leye_b = 0;
    int reye_r = 0, reye_g = 0, reye_b = 0;
    float txt_xs = 0.0f, txt_ys = 0.0f;  // text scale remembered by sip, for centring
    bool operator==(const owdraw_tag&) const = default;

    // Stores the two eye colours as given (SetColor clamps when they are used).
    void slc(int lr, int lg, int lb, int rr, int rg, int rb);
    // Blend, alpha, then rotation with scale in one step; remembers the scale for text.
    void sip(int blend, float alpha, float rotation, float scale_x, float scale_y);
    // Draws an image frame at (x, y). A non-zero twist leaves the rotation truncated to
    // whole degrees (in stereo it turns the two eye images apart).
    void i3d(const Image& image, float x, float y, int frame, float eye_offset, float twist, int passes);
    // Draws a line of text at (x, y), or centred on it with the scale sip last stored.
    void t3d(const std::string& text, float x, float y, float eye_offset, int centred, int passes);
    // Applies the colour pair of the current ana_mode (modes 1..4; others change nothing).
    void apply_mode_colours();
};

// Sets the stereo mode (0 off, 1..4; anything else is off) and its eye colours.
void set_stereo_mode(owdraw_tag& draw, int mode);

