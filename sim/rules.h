#pragma once
// The numbers the rules of play are made of, each named once. Steps and limits of the
// float rates are single precision, as the game has them: the known remainders of the
// damping (docs/QUIRKS.md) come from these exact values.

// The arena: 20 x 13 cells of 32 pixels from y 32 to 448.
constexpr int MAP_COLS = 20;
constexpr int MAP_ROWS = 13;
constexpr int MAP_CELLS = MAP_COLS * MAP_ROWS;
constexpr int CELL_SIZE = 32;
constexpr int ARENA_TOP = 32;

// A helicopter's ground point stays inside these bounds after every flight step; a
// rocket is removed once it passes them.
constexpr float ARENA_MIN_X = 2, ARENA_MAX_X = 638;
constexpr float ARENA_MIN_Y = 34, ARENA_MAX_Y = 446;

// Two things at altitudes this far apart or closer meet: a rocket and a helicopter, or
// the two helicopters.
constexpr int HIT_WINDOW = 4;

constexpr int BATTERIES = 5;      // per side and game
constexpr int PADS_PER_SIDE = 5;  // per side and round
#ifndef WHIRLBAT_TEST_ROCKET_COOLDOWN
constexpr int ROCKET_COOLDOWN = 50;  // frames between shots
#else
// A test build with other rules: online play must refuse to pair it with this one.
constexpr int ROCKET_COOLDOWN = WHIRLBAT_TEST_ROCKET_COOLDOWN;
#endif

// Flight.
constexpr float GROUND_SCALE = 0.5f;       // exactly this scale means "on the ground"
constexpr float CLIMB_SCALE_STEP = 0.01f;  // scale gained per climb step (1 pixel of altitude)
constexpr float CLIMB_SCALE_LIMIT = 1.0f;  // no climb step from here on
constexpr float ROTOR_SPIN = 20;           // main rotor degrees per frame in flight
constexpr float TURN_STEP = 0.2f, TURN_LIMIT = 20;    // turn rate per frame of input
constexpr float SPEED_STEP = 0.02f, SPEED_LIMIT = 3;  // slide and forward speed
constexpr float TURN_DAMPING = 0.1f;                  // per flight step
constexpr float SPEED_DAMPING = 0.01f;

// Rockets and their trail.
constexpr float ROCKET_SPEED = 4;  // pixels per frame
constexpr float TRAIL_BEHIND = 6;  // the puff's distance behind the rocket

// Effects.
constexpr int EXPLODE_SPARKS = 31;
constexpr int DUST_CLOUDS = 11;

// Sticks count only at their very ends.
constexpr float FULL_NEGATIVE = -1.0f;
constexpr float FULL_POSITIVE = 1.0f;

enum class Team : int { Blue = 0, Red = 1 };
inline int index_of(Team t) { return int(t); }
inline Team other(Team t) { return t == Team::Blue ? Team::Red : Team::Blue; }
