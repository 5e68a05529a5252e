#include "world/player.h"

#include "engine/maths.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/level.h"
#include "world/world.h"

player_tag player[2];

namespace {

// Damping constants are single precision, as the game has them.
constexpr float kTurnDamping = 0.1f;
constexpr float kSpeedDamping = 0.01f;

int lose_battery(int battery) { return battery - 1 < 0 ? 0 : battery - 1; }

// The colour's own pad, and the cells where setting down is a crash.
struct colour_rules {
    int index;
    int own_pad;
    int other_start;
    int other_pad;
};

const colour_rules* rules_for(int frame) {
    static const colour_rules blue{0, TILE_BLUE_PAD, TILE_RED_START, TILE_RED_PAD};
    static const colour_rules red{1, TILE_RED_PAD, TILE_BLUE_START, TILE_BLUE_PAD};
    if (frame == 0) return &blue;
    if (frame == 4) return &red;
    return nullptr;
}

}  // namespace

int player_tag::init() {
    for (int i = 0; i < 2; ++i) {
        player[i] = player_tag{};
        player[i].frame = i == 0 ? 0 : 4;
    }
    return 0;
}

int player_tag::reset(int new_game) {
    if (new_game) {
        for (player_tag& p : player) {
            p.score = 0;
            p.battery = 5;
        }
    }
    level_tag::new_map();
    for (player_tag& p : player) {
        p.alt = 0;
        p.ail = 0;
        p.elv = 0;
        p.pads = 5;
        p.rstp = 0;
        p.rotspd = 0;
        p.scale = 0.5f;
        p.rotation = 0;
        p.bladerot = 0;
        p.rocket_ctr = 0;
    }
    clear_fx();
    if (world_link.reset_done) world_link.reset_done(new_game);
    return 0;
}

int player_tag::restart(int index) {
    player_tag& p = player[index];
    p.alt = 0;
    p.ail = 0;
    p.elv = 0;
    p.rstp = 0;
    p.rotspd = 0;
    p.scale = 0.5f;
    p.rotation = 0;
    p.bladerot = 0;
    p.rocket_ctr = 0;
    p.x = float(p.stx);
    p.y = float(p.sty);
    play_world_sfx(snd_death);
    return 0;
}

int player_tag::update() {
    rotation = float(double(rotation) + rstp);
    bladerot = float(double(bladerot) + rotspd);
    // The second test looks at what the first left: a positive remainder below the step
    // dips below zero and comes straight back, so it is never worn away.
    if (rstp != 0) {
        if (rstp > 0) rstp = float(double(rstp) - kTurnDamping);
        if (rstp < 0) rstp = float(double(rstp) + kTurnDamping);
    }
    if (elv != 0) {
        x = float(x - Sin(rotation) * elv);
        y = float(y + Cos(rotation) * elv);
        if (elv > 0) elv = float(double(elv) - kSpeedDamping);
        if (elv < 0) elv = float(double(elv) + kSpeedDamping);
    }
    if (ail != 0) {
        if (ail > 0) {
            x = float(x - Sin(double(rotation) - 90) * ail);
            y = float(y + Cos(double(rotation) - 90) * ail);
            ail = float(double(ail) - kSpeedDamping);
        }
        if (ail < 0) {
            x = float(x + Sin(double(rotation) + 90) * ail);
            y = float(y - Cos(double(rotation) + 90) * ail);
            ail = float(double(ail) + kSpeedDamping);
        }
    }
    // The tail rotor turns every second update in flight and stands still on the ground.
    if (scale == 0.5f) a_tmr = 2;
    a_tmr -= 1;
    if (a_tmr <= 0) {
        a_tmr = 2;
        a_ctr += 1;
        if (a_ctr > 3) a_ctr = 0;
    }
    if (x < 2) x = 2;
    if (x > 638) x = 638;
    if (y < 34) y = 34;
    if (y > 446) y = 446;
    pos = cell_index(x, y);
    if (rocket_ctr != 0) rocket_ctr -= 1;

    const colour_rules* rules = rules_for(frame);
    if (!rules) return 0;
    level_tag& cell = level[pos];
    auto crash = [&] {
        dust_tag::set(x, y);
        explode_tag::set(x, y);
        battery = lose_battery(battery);
        restart(rules->index);
    };
    // A restart here does not end the step: the later tests see alt 0 on the same cell,
    // so one step never costs more than one battery.
    if (scale == 0.5f) {
        if (cell.tile == rules->own_pad) {
            play_world_sfx(snd_land);
            cell.tile = TILE_FLOOR;
            score += 1;
            pads = pads - 1 < 0 ? 0 : pads - 1;
        }
        if (alt == 0 && cell.tile == TILE_VOID) crash();
        if (alt == 0 && (cell.tile == rules->other_start || cell.tile == rules->other_pad)) crash();
    }
    if (alt >= 1 && cell.tile == TILE_BLOCK) {
        cell.tile = TILE_FLOOR;
        play_world_sfx(snd_explode);
        float body_y = float(double(y) - alt);
        dust_tag::set(x, body_y);
        explode_tag::set(x, body_y);
        dust_tag::set(float(cell.x), float(cell.y));
        explode_tag::set(float(cell.x), float(cell.y));
        battery = lose_battery(battery);
        restart(rules->index);
    }
    return 0;
}

int player_tag::update_all() {
    player[0].update();
    player[1].update();
    get_inputs();
    return 0;
}
