#include "sim/player.h"

#include "sim/maths.h"
#include "sim/events.h"
#include "sim/world.h"

namespace {

int lose_battery(int battery) { return battery - 1 < 0 ? 0 : battery - 1; }

// The colour's own pad, and the other colour's cells where setting down is a crash.
struct colour_rules {
    int own_pad;
    int other_start;
    int other_pad;
};

const colour_rules& rules_for(Team team) {
    static const colour_rules blue{TILE_BLUE_PAD, TILE_RED_START, TILE_RED_PAD};
    static const colour_rules red{TILE_RED_PAD, TILE_BLUE_START, TILE_BLUE_PAD};
    return team == Team::Blue ? blue : red;
}

void clear_flight(player_tag& p) {
    p.alt = 0;
    p.ail = 0;
    p.elv = 0;
    p.rstp = 0;
    p.rotspd = 0;
    p.scale = GROUND_SCALE;
    p.rotation = 0;
    p.bladerot = 0;
    p.rocket_ctr = 0;
}

}  // namespace

void player_tag::init(World& w) {
    for (int i = 0; i < 2; ++i) {
        w.player[i] = player_tag{};
        w.player[i].team = Team(i);
        w.player[i].frame = i == 0 ? 0 : 4;
    }
}

void player_tag::reset(World& w, int new_game) {
    if (new_game) {
        for (player_tag& p : w.player) {
            p.score = 0;
            p.battery = BATTERIES;
        }
    }
    level_tag::new_map(w);
    for (player_tag& p : w.player) {
        clear_flight(p);
        p.pads = PADS_PER_SIDE;
    }
    clear_fx(w);
}

void player_tag::restart(World& w, int index, FrameEvents& ev) {
    player_tag& p = w.player[index];
    clear_flight(p);
    p.x = float(p.stx);
    p.y = float(p.sty);
    ev.play(Sfx::death);
}

void player_tag::update(World& w, FrameEvents& ev) {
    rotation = float(double(rotation) + rstp);
    bladerot = float(double(bladerot) + rotspd);
    // QUIRK(damping-remainders): the second test looks at what the first left, so a
    // positive remainder below the step dips below zero and comes straight back.
    if (rstp != 0) {
        if (rstp > 0) rstp = float(double(rstp) - TURN_DAMPING);
        if (rstp < 0) rstp = float(double(rstp) + TURN_DAMPING);
    }
    if (elv != 0) {
        x = float(x - Sin(rotation) * elv);
        y = float(y + Cos(rotation) * elv);
        if (elv > 0) elv = float(double(elv) - SPEED_DAMPING);
        if (elv < 0) elv = float(double(elv) + SPEED_DAMPING);
    }
    if (ail != 0) {
        if (ail > 0) {
            x = float(x - Sin(double(rotation) - 90) * ail);
            y = float(y + Cos(double(rotation) - 90) * ail);
            ail = float(double(ail) - SPEED_DAMPING);
        }
        if (ail < 0) {
            x = float(x + Sin(double(rotation) + 90) * ail);
            y = float(y - Cos(double(rotation) + 90) * ail);
            ail = float(double(ail) + SPEED_DAMPING);
        }
    }
    // The tail rotor turns every second update in flight and stands still on the ground.
    if (on_ground()) a_tmr = 2;
    a_tmr -= 1;
    if (a_tmr <= 0) {
        a_tmr = 2;
        a_ctr += 1;
        if (a_ctr > 3) a_ctr = 0;
    }
    // QUIRK(edges): the speeds are kept, so a helicopter pressed against an edge slides
    // along it.
    if (x < ARENA_MIN_X) x = ARENA_MIN_X;
    if (x > ARENA_MAX_X) x = ARENA_MAX_X;
    if (y < ARENA_MIN_Y) y = ARENA_MIN_Y;
    if (y > ARENA_MAX_Y) y = ARENA_MAX_Y;
    pos = cell_index(x, y);
    if (rocket_ctr != 0) rocket_ctr -= 1;

    const colour_rules& rules = rules_for(team);
    int me = index_of(team);
    level_tag& cell = w.level[pos];
    auto crash = [&] {
        dust_tag::set(w, x, y);
        explode_tag::set(w, x, y);
        battery = lose_battery(battery);
        restart(w, me, ev);
    };
    // QUIRK(one-battery-per-step): a restart here does not end the step; the later
    // tests see altitude 0 on the same cell, so one step never costs two batteries.
    if (on_ground()) {
        if (cell.tile == rules.own_pad) {
            ev.play(Sfx::land);
            cell.tile = TILE_FLOOR;
            score += 1;
            pads = pads - 1 < 0 ? 0 : pads - 1;
        }
        if (alt == 0 && cell.tile == TILE_VOID) crash();
        if (alt == 0 && (cell.tile == rules.other_start || cell.tile == rules.other_pad)) crash();
    }
    if (alt >= 1 && cell.tile == TILE_BLOCK) {
        cell.tile = TILE_FLOOR;
        ev.play(Sfx::explode);
        float body_y = float(double(y) - alt);
        dust_tag::set(w, x, body_y);
        explode_tag::set(w, x, body_y);
        dust_tag::set(w, float(cell.x), float(cell.y));
        explode_tag::set(w, float(cell.x), float(cell.y));
        battery = lose_battery(battery);
        restart(w, me, ev);
    }
}

void player_tag::update_all(World& w, Pads& pads, int pads_found, FrameEvents& ev) {
    w.player[0].update(w, ev);
    w.player[1].update(w, ev);
    get_inputs(w, pads, pads_found, ev);
}
