#pragma once
// Rockets: a pair of missiles flying straight at 4 pixels per frame at the altitude and
// heading of the helicopter that fired them, leaving a trail.
#include "world/obj_list.h"

struct rocket_tag {
    float x = 0, y = 0;  // ground point
    int id = 0;          // shooter: 0 Blue, 1 Red
    int frame = 0;       // rocket_img frame: 1 Blue's, 0 Red's
    float scale = 0;     // the shooter's scale when it fired
    float dir = 0;       // heading, degrees; also the sprite's rotation
    int alt = 0;         // altitude, fixed for the rocket's life

    static int fire(int id);
    int update();
    static int update_all();
    static int destroy_all();
};

extern obj_list<rocket_tag> rocket_list;
