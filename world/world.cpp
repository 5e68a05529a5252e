#include "world/world.h"

#include "world/dust.h"
#include "world/explode.h"
#include "world/rocket.h"
#include "world/trail.h"

Image heli_img, blade_img, rocket_img, tile_img;
Sound snd_explode, snd_brocket, snd_rrocket, snd_land, snd_death;
int pads_found = 0;
float joy_left = -1.0f, joy_right = 1.0f, joy_up = -1.0f, joy_down = 1.0f;
world_link_t world_link;

void play_world_sfx(const Sound& sound) {
    if (world_link.play_sfx) world_link.play_sfx(sound);
}

int clear_fx() {
    trail_tag::destroy_all();
    dust_tag::destroy_all();
    rocket_tag::destroy_all();
    explode_tag::destroy_all();
    return 0;
}
