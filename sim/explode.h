#pragma once
// Explosion sparks: 31 fireballs scattered over a square around a point, each fading
// and shrinking at its own rate (about 13 to 50 updates).
struct World;

struct explode_tag {
    float x = 0, y = 0;
    float sc = 0;    // drawing scale
    float al = 0;    // drawing alpha
    float alst = 0;  // change of al per update, negative
    bool operator==(const explode_tag&) const = default;

    static void set(World& w, float x, float y);
    // One frame of life; false once the spark is gone (it is drawn before the update).
    bool update();
    static void update_all(World& w);
    static void destroy_all(World& w);
};
