#pragma once
// Every field of the game's state, declared once: its name in the trace, the range the
// reader accepts (values the game cannot make are refused, so a damaged or made-up state
// is never run), and how the trace shows it. The canonical bytes and so the state hash,
// the reader and the trace all follow this list in its order (sim/fields.h).
//
// Adding a field to the state is one line here, in the order its bytes should take.
#include "sim/fields.h"
#include "sim/game_state.h"
#include "sim/world.h"

namespace state_limits {
// Longer than any game makes (a busy round has a few hundred of each), short enough to
// step quickly.
constexpr size_t kMostListed = 20000;
// Rotations are never wrapped; past this a float no longer turns by a step.
constexpr float kMostDegrees = 1e9f;
// Effects drift but never far beyond the picture.
constexpr float kFarAway = 1e6f;
// Far beyond anything a screen or a game gives, well inside what an int counts to.
constexpr int kHuge = FieldReader::kHuge;
}  // namespace state_limits

template <typename V>
void describe(V& v, player_tag& p, int index) {
    using namespace state_limits;
    v.i32("score", p.score, 0, 1000000, "a score");
    v.i32("rocket_ctr", p.rocket_ctr, 0, ROCKET_COOLDOWN, "a rocket cool-down");
    v.i32("stx", p.stx, 0, MAP_COLS * CELL_SIZE, "a start pad's x");
    v.i32("sty", p.sty, 0, ARENA_TOP + MAP_ROWS * CELL_SIZE, "a start pad's y");
    v.i32("pads", p.pads, 0, PADS_PER_SIDE, "a count of pads to collect");
    v.f32("x", p.x, 0, MAP_COLS * CELL_SIZE, "a helicopter's x");
    v.f32("y", p.y, 0, ARENA_TOP + MAP_ROWS * CELL_SIZE, "a helicopter's y");
    v.f32("rotation", p.rotation, -kMostDegrees, kMostDegrees, "a helicopter's heading");
    v.f32("scale", p.scale, 0, 2 * CLIMB_SCALE_LIMIT, "a helicopter's scale");
    v.i32("frame", p.frame, index == 0 ? 0 : 4, index == 0 ? 0 : 4, "a helicopter's sprite frame");
    v.i32("a_tmr", p.a_tmr, 0, 2, "a tail-rotor timer");
    v.i32("a_ctr", p.a_ctr, 0, 3, "a tail-rotor phase");
    v.i32("alt", p.alt, 0, 51, "an altitude");
    v.f32("rstp", p.rstp, -TURN_LIMIT, TURN_LIMIT, "a turn rate");
    v.f32("bladerot", p.bladerot, -kMostDegrees, kMostDegrees, "a rotor angle");
    v.f32("rotspd", p.rotspd, 0, ROTOR_SPIN, "a rotor spin");
    v.f32("elv", p.elv, -SPEED_LIMIT, SPEED_LIMIT, "a forward speed");
    v.f32("ail", p.ail, -SPEED_LIMIT, SPEED_LIMIT, "a sideways speed");
    v.i32("battery", p.battery, 0, BATTERIES, "a battery count");
    v.i32("pos", p.pos, 0, MAP_CELLS - 1, "a helicopter's cell");
    v.ranged("team", p.team, index, index, "a helicopter's side", untraced);
}

template <typename V>
void describe(V& v, level_tag& c, int index) {
    const int x = 16 + CELL_SIZE * (index % MAP_COLS), y = 48 + CELL_SIZE * (index / MAP_COLS);
    v.i32("x", c.x, x, x, "a cell's centre", untraced);
    v.i32("y", c.y, y, y, "a cell's centre", untraced);
    v.i32("tile", c.tile, TILE_VOID, TILE_BLUE_PAD, "a tile", Trace{Trace::digit, 0});
    v.check([&] { return c.tile != 2; }, "a tile is 2, which the game never uses");
}

template <typename V>
void describe(V& v, rocket_tag& r, int) {
    v.f32("x", r.x, ARENA_MIN_X, ARENA_MAX_X, "a rocket's x");
    v.f32("y", r.y, ARENA_MIN_Y, ARENA_MAX_Y + 51, "a rocket's y");
    v.i32("id", r.id, 0, 1, "a rocket's shooter");
    const int frame = r.id == 0 ? 1 : 0;
    v.i32("frame", r.frame, frame, frame, "a rocket's sprite frame");
    v.f32("scale", r.scale, GROUND_SCALE, 2 * CLIMB_SCALE_LIMIT, "a rocket's scale");
    v.f32("dir", r.dir, -state_limits::kMostDegrees, state_limits::kMostDegrees, "a rocket's heading");
    v.i32("alt", r.alt, 0, 51, "a rocket's altitude");
    v.check([&] { return r.y <= ARENA_MAX_Y + r.alt; }, "a rocket is below the arena");
}

template <typename V>
void describe(V& v, trail_tag& t, int) {
    using namespace state_limits;
    v.f32("x", t.x, -kFarAway, kFarAway, "a trail puff's x");
    v.f32("y", t.y, -kFarAway, kFarAway, "a trail puff's y");
    v.f32("scale", t.scale, 0, 2 * CLIMB_SCALE_LIMIT, "a trail puff's scale");
    v.f32("alpha", t.alpha, -1, 1, "a trail puff's life");
    v.f32("rot", t.rot, -kMostDegrees, kMostDegrees, "a trail puff's turn");
    v.i32("frame", t.frame, 2, 3, "a trail puff's sprite frame");
}

template <typename V>
void describe(V& v, explode_tag& e, int) {
    using namespace state_limits;
    v.f32("x", e.x, -kFarAway, kFarAway, "a spark's x");
    v.f32("y", e.y, -kFarAway, kFarAway, "a spark's y");
    v.f32("sc", e.sc, -10, 10, "a spark's scale");
    v.f32("al", e.al, -1, 1, "a spark's alpha");
    v.f32("alst", e.alst, -1, -0.001f, "a spark's fade");
}

template <typename V>
void describe(V& v, dust_tag& d, int) {
    using namespace state_limits;
    v.f32("x", d.x, -kFarAway, kFarAway, "a dust cloud's x");
    v.f32("y", d.y, -kFarAway, kFarAway, "a dust cloud's y");
    v.i32("rot", d.rot, 0, 360, "a dust cloud's heading");
    v.f32("sc", d.sc, -10, 10, "a dust cloud's scale");
    v.f32("al", d.al, -1, 1, "a dust cloud's alpha");
}

// The trace's top-level keys, in the order the trace shows them.
namespace trace_slot {
enum : int {
    game_state = 1, play_phase, round_no, quit_game, trans_scale, trans_spin, over_tmr, pads_found,
    sound_lvl, music_lvl, sound_vol, music_vol, rnd_state, mouse, player, tiles, rockets, trails,
    explodes, dusts,
};
}  // namespace trace_slot

template <typename V>
void describe(V& v, World& w) {
    using namespace state_limits;
    v.records("player", w.player, traced_at(trace_slot::player));
    v.records("tiles", w.level, traced_at(trace_slot::tiles, Trace::digits));
    v.list("rockets", w.rocket_list, kMostListed, "rockets", traced_at(trace_slot::rockets));
    v.list("trails", w.trail_list, kMostListed, "trail puffs", traced_at(trace_slot::trails, Trace::count));
    v.list("explodes", w.explode_list, kMostListed, "sparks", traced_at(trace_slot::explodes, Trace::count));
    v.list("dusts", w.dust_list, kMostListed, "dust clouds", traced_at(trace_slot::dusts, Trace::count));
    // 0 and 2^31 - 1 would stall the generator (and the map maker's loops with it).
    v.i32("rnd_state", w.rng.state, 1, 0x7ffffffe, "the random generator's state", traced_at(trace_slot::rnd_state));
}

template <typename V>
void describe(V& v, PortState& port, int) {
    for (float& a : port.axes) v.f32("axis", a, -1, 1, "a pad axis", untraced);
    v.u32("buttons", port.buttons, untraced);
    v.u32("seen", port.seen, untraced);
    v.flag("read", port.read, "a pad's read flag is neither 0 nor 1", untraced);
    for (uint8_t& n : port.pending) v.u8("pending", n, 255, "", untraced);
}

template <typename V>
void describe(V& v, Game& g) {
    using namespace state_limits;
    using namespace trace_slot;
    v.choice("game_state", g.game_state, {0, 2, 3, 4, 5}, "the screen", traced_at(game_state));
    v.choice("play_phase", g.play_phase, {0, 1, 2}, "the round's phase", traced_at(play_phase));
    v.i32("quit_game", g.quit_game, 0, 1, "the quit flag", traced_at(quit_game));
    v.i32("round_no", g.round_no, 0, kHuge, "the round number", traced_at(round_no));
    v.f32("trans_scale", g.trans_scale, -kHuge, kHuge, "the transition's zoom", traced_at(trans_scale));
    v.f32("trans_spin", g.trans_spin, -kHuge, kHuge, "the transition's turn", traced_at(trans_spin));
    v.i32("over_tmr", g.over_tmr, 0, OVER_FRAMES, "the game-over countdown", traced_at(over_tmr));
    v.i32("pads_found", g.pads_found, 0, 255, "the pad count", traced_at(pads_found));
    v.f32("music_vol", g.music_vol, 0, 2, "the music volume", traced_at(music_vol));
    v.f32("sound_vol", g.sound_vol, 0, 2, "the sound volume", traced_at(sound_vol));
    v.i32("music_lvl", g.music_lvl, 0, VOLUME_LEVELS, "the music level", traced_at(music_lvl));
    v.i32("sound_lvl", g.sound_lvl, 0, VOLUME_LEVELS, "the sound level", traced_at(sound_lvl));
    v.f32("logo_alpha", g.logo_alpha, -1, 1, "the logo's fade", untraced);
    v.f32("logo_grow", g.logo_grow, 0, 2, "the logo's zoom", untraced);
    v.flag("stereo_intro", g.stereo_intro, "the logo's 3D flag is neither 0 nor 1", untraced);
    v.f32("logo_eye", g.logo_eye, -100, 100, "the logo's eye distance", untraced);
    v.small_choice("after", g.after, int(AfterPresent::round_start), "the frame's follow-up is unknown", untraced);
    v.records("pads", g.pads.port, untraced);
    v.i32("esc_hits", g.esc_hits, 0, kHuge, "the Escape presses", untraced);
    v.i32("space_hits", g.space_hits, 0, kHuge, "the Space presses", untraced);
    v.i32("click_hits", g.click_hits, 0, kHuge, "the clicks", untraced);
    v.pair("mouse", g.pointer_x, g.pointer_y, -kHuge, kHuge, "the pointer's x", "the pointer's y", traced_at(mouse));
}
