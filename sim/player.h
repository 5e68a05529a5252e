#pragma once
// The two helicopters, Blue (index 0) and Red (index 1): their state, the flight step,
// landing, pad collection and crashing, and the controls from the pad ports.
//
// Floats are stored in single precision and every formula is worked out in double and
// rounded once when stored; the damping steps are single-precision constants. This is
// what leaves the game's known remainders (see docs/QUIRKS.md).
#include "sim/rules.h"

struct World;
struct FrameEvents;
struct Pads;

struct player_tag {
    int score = 0;       // own pads collected in this game
    int rocket_ctr = 0;  // frames until the next shot is allowed
    int stx = 0, sty = 0;  // centre of the own start pad
    int pads = 0;        // own pads still to collect in this round
    float x = 0, y = 0;  // ground point
    float rotation = 0;  // heading, degrees, 0 nose up, not wrapped
    float scale = 0;     // body scale; exactly 0.5 on the ground
    int frame = 0;       // first sprite frame: 0 Blue, 4 Red
    int a_tmr = 0;       // tail-rotor animation timer
    int a_ctr = 0;       // tail-rotor phase 0..3
    int alt = 0;         // altitude in pixels, 0..51
    float rstp = 0;      // turn rate, degrees per update
    float bladerot = 0;  // main rotor angle
    float rotspd = 0;    // main rotor spin: 20 in flight, 0 on the ground
    float elv = 0;       // fore-and-aft speed; negative moves toward the nose
    float ail = 0;       // sideways speed; positive moves toward the right
    int battery = 0;     // batteries left in this game
    int pos = 0;         // cell under the ground point
    Team team = Team::Blue;  // whose rules this helicopter flies by

    bool on_ground() const { return scale == GROUND_SCALE; }
    bool operator==(const player_tag&) const = default;

    // Creates the two helicopters (Blue frame 0, Red frame 4).
    static void init(World& w);
    // A new round, and with new_game also a new game: new map, flight state cleared,
    // rockets and effects gone. The caller sets the round counter and shows the opening.
    static void reset(World& w, int new_game);
    // Back on the start pad after a loss (the caller takes the battery).
    static void restart(World& w, int index, FrameEvents& ev);
    // One flight step.
    void update(World& w, FrameEvents& ev);
    // Turns the pad ports into changes of the flight values, once per running frame.
    // Red's port is read only when two pads were found.
    static void get_inputs(World& w, Pads& pads, int pads_found, FrameEvents& ev);
    // Both flight steps, then the controls.
    static void update_all(World& w, Pads& pads, int pads_found, FrameEvents& ev);
};
