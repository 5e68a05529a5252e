#pragma once
// Trail puffs behind every rocket: a flame for the first nine updates, then smoke that
// lives until update 40. A puff never moves, turns or grows.
#include "world/obj_list.h"

struct trail_tag {
    float x = 0, y = 0;
    float scale = 0;
    float alpha = 0;  // remaining life; it times the stages and is not the drawing alpha
    float rot = 0;
    int frame = 0;    // rocket_img frame: 2 flame, 3 smoke

    static int set(float x, float y, float rot, float scale);
    int update();
    static int update_all();
    static int destroy_all();
};

extern obj_list<trail_tag> trail_list;
