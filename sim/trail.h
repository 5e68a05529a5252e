#pragma once
// Trail puffs behind every rocket: a flame for the first nine updates, then smoke that
// lives until update 40. A puff never moves, turns or grows.
struct World;

struct trail_tag {
    float x = 0, y = 0;
    float scale = 0;
    float alpha = 0;  // remaining life; it times the stages and is not the drawing alpha
    float rot = 0;
    int frame = 0;    // rocket_img frame: 2 flame, 3 smoke
    bool operator==(const trail_tag&) const = default;

    static void set(World& w, float x, float y, float rot, float scale);
    // One frame of life; false once the puff is gone (it is still drawn that frame).
    bool update();
    static void update_all(World& w);
    static void destroy_all(World& w);
};
