#pragma once
// A ring of 11 dust clouds drifting outward from a point; each lives 51 updates.
struct World;

struct dust_tag {
    float x = 0, y = 0;
    int rot = 0;  // heading and sprite rotation in degrees
    float sc = 0;
    float al = 0;
    bool operator==(const dust_tag&) const = default;

    static void set(World& w, float x, float y);
    // One frame of life; false once the cloud is gone (it is drawn before the update).
    bool update();
    static void update_all(World& w);
    static void destroy_all(World& w);
};
