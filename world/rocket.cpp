#include "world/rocket.h"

#include "engine/maths.h"
#include "stereo/owdraw.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/level.h"
#include "world/player.h"
#include "world/trail.h"
#include "world/world.h"

obj_list<rocket_tag> rocket_list;

namespace {

// A hit on an airborne enemy in the rocket's cell within 4 pixels of its altitude.
void hit_test(rocket_tag& r, int enemy, int cell) {
    player_tag& h = player[enemy];
    if (h.alt == 0) return;  // a helicopter on the ground cannot be hit
    int a = h.alt, hx = Int(h.x), hy = Int(h.y);
    if (a - 4 <= r.alt && r.alt <= a + 4 && cell == h.pos) {
        play_world_sfx(snd_death);
        explode_tag::set(r.x, float(double(r.y) - r.alt));
        dust_tag::set(float(hx), float(hy - a));
        explode_tag::set(float(hx), float(hy - a));
        rocket_list.remove(&r);
        h.battery = h.battery - 1 < 0 ? 0 : h.battery - 1;
        player_tag::restart(enemy);
    }
}

}  // namespace

int rocket_tag::fire(int id) {
    auto r = std::make_unique<rocket_tag>();
    const player_tag& p = player[id];
    r->id = id;
    r->x = p.x;
    r->y = p.y;
    r->alt = p.alt;
    r->scale = p.scale;
    r->dir = p.rotation;
    r->frame = id == 0 ? 1 : 0;
    rocket_list.add(std::move(r));
    return 0;
}

int rocket_tag::update() {
    // Shadow and body are drawn where the rocket was before this frame's move.
    SetColor(10, 10, 10);
    draw3d.sip(MASKBLEND, 1.0f, dir, 0.5f, 0.6f);
    DrawImage(rocket_img, x, y, frame);
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, dir, scale, scale);
    DrawImage(rocket_img, x, float(double(y) - alt), frame);

    x = float(x + 4 * Sin(dir));
    y = float(y - 4 * Cos(dir));
    int tx = Int(x - 6 * Sin(dir));
    int ty = Int(y + 6 * Cos(dir));
    trail_tag::set(float(tx), float(ty - alt), dir, scale);

    // Leaving the arena removes the rocket but does not end its update: it is still
    // tested against blocks and the enemy where it now is.
    if (!(x >= 2)) rocket_list.remove(this);
    if (!(x <= 638)) rocket_list.remove(this);
    if (!(y >= 34)) rocket_list.remove(this);
    if (!(y <= alt + 446)) rocket_list.remove(this);

    // Past the right edge the index runs on into the next row, as the game has it.
    int c = cell_index(x, y);
    if (c >= 0 && c <= 259 && level[c].tile == TILE_BLOCK) {
        play_world_sfx(snd_explode);
        explode_tag::set(x, float(double(y) - alt));
        dust_tag::set(float(level[c].x), float(level[c].y));
        explode_tag::set(float(level[c].x), float(level[c].y));
        level[c].tile = TILE_FLOOR;
        rocket_list.remove(this);
    }
    if (id == 0) hit_test(*this, 1, c);
    if (id == 1) hit_test(*this, 0, c);
    return 0;
}

int rocket_tag::update_all() {
    rocket_list.walk([](rocket_tag& r) { r.update(); });
    return 0;
}

int rocket_tag::destroy_all() {
    rocket_list.clear();
    return 0;
}
