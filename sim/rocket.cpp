#include "sim/rocket.h"

#include "sim/maths.h"
#include "sim/events.h"
#include "sim/world.h"

namespace {

// A hit on an airborne enemy in the rocket's cell within the hit window of its altitude.
// True if the rocket hit (and is gone).
bool hit_test(World& w, const rocket_tag& r, int enemy, int cell, FrameEvents& ev) {
    player_tag& h = w.player[enemy];
    if (h.alt == 0) return false;  // a helicopter on the ground cannot be hit
    int a = h.alt, hx = Int(h.x), hy = Int(h.y);
    if (!(a - HIT_WINDOW <= r.alt && r.alt <= a + HIT_WINDOW && cell == h.pos)) return false;
    // QUIRK(a-hit-sounds-the-loss-twice): here and in the restart.
    ev.play(Sfx::death);
    explode_tag::set(w, r.x, float(double(r.y) - r.alt));
    dust_tag::set(w, float(hx), float(hy - a));
    explode_tag::set(w, float(hx), float(hy - a));
    h.battery = h.battery - 1 < 0 ? 0 : h.battery - 1;
    player_tag::restart(w, enemy, ev);
    return true;
}

}  // namespace

void rocket_tag::fire(World& w, int id) {
    const player_tag& p = w.player[id];
    rocket_tag r;
    r.id = id;
    r.x = p.x;
    r.y = p.y;
    r.alt = p.alt;
    r.scale = p.scale;
    r.dir = p.rotation;
    r.frame = id == 0 ? 1 : 0;
    w.rocket_list.push_back(r);
}

bool rocket_tag::update(World& w, FrameEvents& ev) {
    // The rocket is drawn where it was before this move.
    x = float(x + ROCKET_SPEED * Sin(dir));
    y = float(y - ROCKET_SPEED * Cos(dir));
    int tx = Int(x - TRAIL_BEHIND * Sin(dir));
    int ty = Int(y + TRAIL_BEHIND * Cos(dir));
    trail_tag::set(w, float(tx), float(ty - alt), dir, scale);

    // QUIRK(leaving-does-not-end-the-update): a rocket past an edge is gone, but it is
    // still tested against blocks and the enemy where it now is.
    bool alive = true;
    if (!(x >= ARENA_MIN_X)) alive = false;
    if (!(x <= ARENA_MAX_X)) alive = false;
    if (!(y >= ARENA_MIN_Y)) alive = false;
    if (!(y <= alt + ARENA_MAX_Y)) alive = false;

    // QUIRK(right-edge-runs-on): past the right edge the index runs into the next row.
    int c = cell_index(x, y);
    // QUIRK(blocks-stop-rockets-at-any-altitude)
    if (c >= 0 && c <= MAP_CELLS - 1 && w.level[c].tile == TILE_BLOCK) {
        level_tag& cell = w.level[c];
        ev.play(Sfx::explode);
        explode_tag::set(w, x, float(double(y) - alt));
        dust_tag::set(w, float(cell.x), float(cell.y));
        explode_tag::set(w, float(cell.x), float(cell.y));
        cell.tile = TILE_FLOOR;
        alive = false;
    }
    if (id == 0 && hit_test(w, *this, 1, c, ev)) alive = false;
    if (id == 1 && hit_test(w, *this, 0, c, ev)) alive = false;
    return alive;
}

void rocket_tag::update_all(World& w, FrameEvents& ev) {
    update_list(w.rocket_list, [&](rocket_tag& r) { return r.update(w, ev); });
}

void rocket_tag::destroy_all(World& w) {
    w.rocket_list.clear();
}
