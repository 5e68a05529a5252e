#include "world/world.h"

#include "world/canonical.h"

int clear_fx(World& w) {
    trail_tag::destroy_all(w);
    dust_tag::destroy_all(w);
    rocket_tag::destroy_all(w);
    explode_tag::destroy_all(w);
    return 0;
}

World new_world(int seed) {
    World w;
    w.rng.SeedRnd(seed);
    player_tag::init(w);
    level_tag::map_init(w);
    return w;
}

void write_canonical(std::vector<uint8_t>& out, const World& w) {
    for (const player_tag& p : w.player) {
        put_i32(out, p.score);
        put_i32(out, p.rocket_ctr);
        put_i32(out, p.stx);
        put_i32(out, p.sty);
        put_i32(out, p.pads);
        put_f32(out, p.x);
        put_f32(out, p.y);
        put_f32(out, p.rotation);
        put_f32(out, p.scale);
        put_i32(out, p.frame);
        put_i32(out, p.a_tmr);
        put_i32(out, p.a_ctr);
        put_i32(out, p.alt);
        put_f32(out, p.rstp);
        put_f32(out, p.bladerot);
        put_f32(out, p.rotspd);
        put_f32(out, p.elv);
        put_f32(out, p.ail);
        put_i32(out, p.battery);
        put_i32(out, p.pos);
        put_i32(out, index_of(p.team));
    }
    for (const level_tag& c : w.level) {
        put_i32(out, c.x);
        put_i32(out, c.y);
        put_i32(out, c.tile);
    }
    put_u32(out, uint32_t(w.rocket_list.size()));
    for (const rocket_tag& r : w.rocket_list) {
        put_f32(out, r.x);
        put_f32(out, r.y);
        put_i32(out, r.id);
        put_i32(out, r.frame);
        put_f32(out, r.scale);
        put_f32(out, r.dir);
        put_i32(out, r.alt);
    }
    put_u32(out, uint32_t(w.trail_list.size()));
    for (const trail_tag& t : w.trail_list) {
        put_f32(out, t.x);
        put_f32(out, t.y);
        put_f32(out, t.scale);
        put_f32(out, t.alpha);
        put_f32(out, t.rot);
        put_i32(out, t.frame);
    }
    put_u32(out, uint32_t(w.explode_list.size()));
    for (const explode_tag& e : w.explode_list) {
        put_f32(out, e.x);
        put_f32(out, e.y);
        put_f32(out, e.sc);
        put_f32(out, e.al);
        put_f32(out, e.alst);
    }
    put_u32(out, uint32_t(w.dust_list.size()));
    for (const dust_tag& d : w.dust_list) {
        put_f32(out, d.x);
        put_f32(out, d.y);
        put_i32(out, d.rot);
        put_f32(out, d.sc);
        put_f32(out, d.al);
    }
    put_i32(out, w.rng.state);
}
