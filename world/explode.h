#pragma once
// Explosion sparks: 31 fireballs scattered over a square around a point, each fading
// and shrinking at its own rate (about 13 to 50 updates).
#include "world/obj_list.h"

struct explode_tag {
    float x = 0, y = 0;
    float sc = 0;    // drawing scale
    float al = 0;    // drawing alpha
    float alst = 0;  // change of al per update, negative

    static int set(float x, float y);
    int update();
    static int update_all();
    static int destroy_all();
};

extern obj_list<explode_tag> explode_list;
