#pragma once
// Drawing the world. Every object is drawn as it stood when the rules reached it in the
// frame: the arena and helicopters after the flight steps, each effect and rocket before
// its own update. The frame runner hands in those copies; nothing here changes them.
// Each draws through the program's drawing object.
#include <vector>

#include "platform/draw.h"
#include "present/owdraw.h"
#include "sim/dust.h"
#include "sim/explode.h"
#include "sim/level.h"
#include "sim/player.h"
#include "sim/rocket.h"
#include "sim/trail.h"

// Sprite images cut from the sheet at start-up.
struct Sprites {
    Image heli_img;    // 18 x 49 x 8: Blue 0..3, Red 4..7
    Image blade_img;   // 56 x 4 x 2
    Image rocket_img;  // 18 x 8 x 4: Red's and Blue's missiles, flame, smoke
    Image tile_img;    // 32 x 32 x 10: tiles 0..7, dust 8, fireball 9
};

// One cell: mode 3 the raised block stack, any other mode the flat tile.
void draw_cell(owdraw_tag& draw3d, const level_tag& cell, int mode, const Sprites& s);
// Shadow, body and rotor of one helicopter.
void draw_heli(owdraw_tag& draw3d, const player_tag& h, int index, const Sprites& s);
// The ground pass, then the raised blocks in index order with each helicopter drawn at
// its cell, so blocks in later cells cover it and Red lies over Blue.
void draw_arena(owdraw_tag& draw3d, const level_tag (&level)[MAP_CELLS], const player_tag (&player)[2], const Sprites& s);
// Each list as it was before its update in the frame.
void draw_dusts(owdraw_tag& draw3d, const std::vector<dust_tag>& list, const Sprites& s);
void draw_explodes(owdraw_tag& draw3d, const std::vector<explode_tag>& list, const Sprites& s);
void draw_trails(owdraw_tag& draw3d, const std::vector<trail_tag>& list, const Sprites& s);
void draw_rockets(owdraw_tag& draw3d, const std::vector<rocket_tag>& list, const Sprites& s);
