#pragma once
// What the world shares: its images, the settings its controls read, the sounds it
// makes, and the few things it asks of the game that runs it. The game fills these in
// at start-up; world code never includes the game's own headers.
#include "engine/audio.h"
#include "engine/draw.h"

// Sprite images cut from the sheet at start-up.
extern Image heli_img;    // 18 x 49 x 8: Blue 0..3, Red 4..7
extern Image blade_img;   // 56 x 4 x 2
extern Image rocket_img;  // 18 x 8 x 4: Red's and Blue's missiles, flame, smoke
extern Image tile_img;    // 32 x 32 x 10: tiles 0..7, dust 8, fireball 9

// Sounds the world makes.
extern Sound snd_explode, snd_brocket, snd_rrocket, snd_land, snd_death;

// Pads found by the last count; Red's pad is read only when there are two or more.
extern int pads_found;
// Axis values that count as full deflection.
extern float joy_left, joy_right, joy_up, joy_down;

// What the world asks of the game around it.
struct world_link_t {
    void (*play_sfx)(const Sound& sound) = nullptr;
    // Whether a round is running (helicopters collide only then).
    bool (*round_running)() = nullptr;
    // After player_tag::reset: a new game sets the round counter; in play the game shows
    // the round opening.
    void (*reset_done)(int new_game) = nullptr;
};
extern world_link_t world_link;

void play_world_sfx(const Sound& sound);

// Empties the world's moving objects: trails, dust, rockets, explosions, in that order.
int clear_fx();
