#pragma once
// How a helicopter moves, as the computer pilot foresees it: the flight step's movement
// stepped exactly, a cheaper look-ahead of it, and where a helicopter coasts with no
// input; with the cells and angles the pilot reckons in.
#include <cmath>

#include "sim/player.h"

struct PilotPoint {
    float x = 0, y = 0;
};

float clamp_to(float v, float lo, float hi);
// The cell under a point, the point first kept inside the bounds a helicopter stays in.
int cell_at(float x, float y);
PilotPoint cell_centre(int cell);
// True if a corner of the box of half-size r around p lies in the cell.
bool near_cell(PilotPoint p, float r, int cell);
// Degrees from -180 to 180.
float wrap_degrees(float degrees);
// The heading whose nose points along (dx, dy).
float heading_to(float dx, float dy);

// The flight values that move a helicopter over the ground.
struct PilotMotion {
    float x = 0, y = 0, rotation = 0, rstp = 0, elv = 0, ail = 0;

    static PilotMotion of(const player_tag& p);
    // One flight step's turn, damping, movement and edges, as the rules do them.
    void advance();
    // One frame of full-deflection input in flight: -1, 0 or 1 on each control.
    void steer(int turn, int slide, int forward);
};

// The flight step for looking far ahead: the heading's sines kept while it does not
// change, speeds worn down to exactly 0, a turn remainder dropped (the pilot's own
// steering kills it). Close enough, and cheap.
struct Glide {
    PilotMotion m;
    explicit Glide(const PilotMotion& start) : m(start) {}
    void advance();

private:
    float trig_for_ = NAN;
    double sin_ = 0, cos_ = 0;
};

// Where a helicopter coasts to with no input: its speeds wear off by the damping step
// each frame; the slow turn of a remainder is left out.
class Coast {
public:
    explicit Coast(const player_tag& p);
    PilotPoint at(int frames) const;

private:
    float x_, y_, elv_, ail_;
    double sin_, cos_;
};
