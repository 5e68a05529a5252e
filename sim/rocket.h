#pragma once
// Rockets: a pair of missiles flying straight at 4 pixels per frame at the altitude and
// heading of the helicopter that fired them, leaving a trail.
struct World;
struct FrameEvents;

struct rocket_tag {
    float x = 0, y = 0;  // ground point
    int id = 0;          // shooter: 0 Blue, 1 Red
    int frame = 0;       // rocket_img frame: 1 Blue's, 0 Red's
    float scale = 0;     // the shooter's scale when it fired
    float dir = 0;       // heading, degrees; also the sprite's rotation
    int alt = 0;         // altitude, fixed for the rocket's life
    bool operator==(const rocket_tag&) const = default;

    static void fire(World& w, int id);
    // Moves the rocket, leaves a puff, tests the edges, blocks and the enemy. False once
    // the rocket is gone.
    bool update(World& w, FrameEvents& ev);
    static void update_all(World& w, FrameEvents& ev);
    static void destroy_all(World& w);
};
