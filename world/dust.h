#pragma once
// A ring of 11 dust clouds drifting outward from a point; each lives 51 updates.
#include "world/obj_list.h"

struct dust_tag {
    float x = 0, y = 0;
    int rot = 0;  // heading and sprite rotation in degrees
    float sc = 0;
    float al = 0;

    static int set(float x, float y);
    int update();
    static int update_all();
    static int destroy_all();
};

extern obj_list<dust_tag> dust_list;
