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

namespace {

// Longer than any game makes (a busy round has a few hundred of each), short enough to
// step quickly.
constexpr size_t kMostListed = 20000;
// Rotations are never wrapped; past this a float no longer turns by a step.
constexpr float kMostDegrees = 1e9f;
// Effects drift but never far beyond the picture.
constexpr float kFarAway = 1e6f;

bool read_player(CanonicalReader& in, player_tag& p, int index) {
    int team = 0;
    in.int_in(p.score, 0, 1000000, "a score");
    in.int_in(p.rocket_ctr, 0, ROCKET_COOLDOWN, "a rocket cool-down");
    in.int_in(p.stx, 0, MAP_COLS * CELL_SIZE, "a start pad's x");
    in.int_in(p.sty, 0, ARENA_TOP + MAP_ROWS * CELL_SIZE, "a start pad's y");
    in.int_in(p.pads, 0, PADS_PER_SIDE, "a count of pads to collect");
    in.float_in(p.x, 0, MAP_COLS * CELL_SIZE, "a helicopter's x");
    in.float_in(p.y, 0, ARENA_TOP + MAP_ROWS * CELL_SIZE, "a helicopter's y");
    in.float_in(p.rotation, -kMostDegrees, kMostDegrees, "a helicopter's heading");
    in.float_in(p.scale, 0, 2 * CLIMB_SCALE_LIMIT, "a helicopter's scale");
    in.int_in(p.frame, index == 0 ? 0 : 4, index == 0 ? 0 : 4, "a helicopter's sprite frame");
    in.int_in(p.a_tmr, 0, 2, "a tail-rotor timer");
    in.int_in(p.a_ctr, 0, 3, "a tail-rotor phase");
    in.int_in(p.alt, 0, 51, "an altitude");
    in.float_in(p.rstp, -TURN_LIMIT, TURN_LIMIT, "a turn rate");
    in.float_in(p.bladerot, -kMostDegrees, kMostDegrees, "a rotor angle");
    in.float_in(p.rotspd, 0, ROTOR_SPIN, "a rotor spin");
    in.float_in(p.elv, -SPEED_LIMIT, SPEED_LIMIT, "a forward speed");
    in.float_in(p.ail, -SPEED_LIMIT, SPEED_LIMIT, "a sideways speed");
    in.int_in(p.battery, 0, BATTERIES, "a battery count");
    in.int_in(p.pos, 0, MAP_CELLS - 1, "a helicopter's cell");
    in.int_in(team, index, index, "a helicopter's side");
    p.team = Team(team);
    return in.ok();
}

bool read_cell(CanonicalReader& in, level_tag& c, int index) {
    int x = 16 + CELL_SIZE * (index % MAP_COLS), y = 48 + CELL_SIZE * (index / MAP_COLS);
    in.int_in(c.x, x, x, "a cell's centre");
    in.int_in(c.y, y, y, "a cell's centre");
    in.int_in(c.tile, TILE_VOID, TILE_BLUE_PAD, "a tile");
    if (in.ok() && c.tile == 2) return in.fail("a tile is 2, which the game never uses");
    return in.ok();
}

bool read_rocket(CanonicalReader& in, rocket_tag& r) {
    in.float_in(r.x, ARENA_MIN_X, ARENA_MAX_X, "a rocket's x");
    in.float_in(r.y, ARENA_MIN_Y, ARENA_MAX_Y + 51, "a rocket's y");
    in.int_in(r.id, 0, 1, "a rocket's shooter");
    int frame = r.id == 0 ? 1 : 0;
    in.int_in(r.frame, frame, frame, "a rocket's sprite frame");
    in.float_in(r.scale, GROUND_SCALE, 2 * CLIMB_SCALE_LIMIT, "a rocket's scale");
    in.float_in(r.dir, -kMostDegrees, kMostDegrees, "a rocket's heading");
    in.int_in(r.alt, 0, 51, "a rocket's altitude");
    if (in.ok() && r.y > ARENA_MAX_Y + r.alt) return in.fail("a rocket is below the arena");
    return in.ok();
}

bool read_trail(CanonicalReader& in, trail_tag& t) {
    in.float_in(t.x, -kFarAway, kFarAway, "a trail puff's x");
    in.float_in(t.y, -kFarAway, kFarAway, "a trail puff's y");
    in.float_in(t.scale, 0, 2 * CLIMB_SCALE_LIMIT, "a trail puff's scale");
    in.float_in(t.alpha, -1, 1, "a trail puff's life");
    in.float_in(t.rot, -kMostDegrees, kMostDegrees, "a trail puff's turn");
    in.int_in(t.frame, 2, 3, "a trail puff's sprite frame");
    return in.ok();
}

bool read_explode(CanonicalReader& in, explode_tag& e) {
    in.float_in(e.x, -kFarAway, kFarAway, "a spark's x");
    in.float_in(e.y, -kFarAway, kFarAway, "a spark's y");
    in.float_in(e.sc, -10, 10, "a spark's scale");
    in.float_in(e.al, -1, 1, "a spark's alpha");
    in.float_in(e.alst, -1, -0.001f, "a spark's fade");
    return in.ok();
}

bool read_dust(CanonicalReader& in, dust_tag& d) {
    in.float_in(d.x, -kFarAway, kFarAway, "a dust cloud's x");
    in.float_in(d.y, -kFarAway, kFarAway, "a dust cloud's y");
    in.int_in(d.rot, 0, 360, "a dust cloud's heading");
    in.float_in(d.sc, -10, 10, "a dust cloud's scale");
    in.float_in(d.al, -1, 1, "a dust cloud's alpha");
    return in.ok();
}

template <typename T, typename Read>
bool read_list(CanonicalReader& in, std::vector<T>& list, size_t bytes_each, const char* what, Read read) {
    size_t n = 0;
    if (!in.count(n, kMostListed, bytes_each, what)) return false;
    list.assign(n, T{});
    for (T& item : list) {
        if (!read(in, item)) return false;
    }
    return true;
}

}  // namespace

bool read_canonical(CanonicalReader& in, World& w) {
    for (int i = 0; i < 2; ++i) {
        if (!read_player(in, w.player[i], i)) return false;
    }
    for (int i = 0; i < MAP_CELLS; ++i) {
        if (!read_cell(in, w.level[i], i)) return false;
    }
    if (!read_list(in, w.rocket_list, 28, "rockets", read_rocket)) return false;
    if (!read_list(in, w.trail_list, 24, "trail puffs", read_trail)) return false;
    if (!read_list(in, w.explode_list, 20, "sparks", read_explode)) return false;
    if (!read_list(in, w.dust_list, 20, "dust clouds", read_dust)) return false;
    // 0 and 2^31 - 1 would stall the generator (and the map maker's loops with it).
    return in.int_in(w.rng.state, 1, 0x7ffffffe, "the random generator's state");
}
