#include "engine/input.h"
#include "engine/window.h"
#include "world/player.h"
#include "world/rocket.h"
#include "world/world.h"

namespace {

constexpr float kClimbStep = 0.01f;
constexpr float kTurnStep = 0.2f;
constexpr float kSpeedStep = 0.02f;

float add(float value, float step) { return float(double(value) + step); }

// Every test reads the pad afresh; only a stick at its very end counts.
void inputs_for(player_tag& h, int index, int port) {
    if (JoyY(port) == -1.0f && h.scale < 1.0f) {
        h.alt += 1;
        h.rotspd = 20;
        h.scale = add(h.scale, kClimbStep);
    }
    if (JoyY(port) == 1.0f && h.scale > 0.5f) {
        h.alt -= 1;
        h.scale = add(h.scale, -kClimbStep);
        if (h.scale <= 0.5f) {
            // Touchdown stops the helicopter dead.
            h.rstp = 0;
            h.ail = 0;
            h.elv = 0;
            h.scale = 0.5f;
            h.rotspd = 0;
        }
    }
    if (h.alt < 1) return;
    if (JoyX(port) == -1.0f) {
        h.rstp = add(h.rstp, -kTurnStep);
        if (h.rstp < -20) h.rstp = -20;
    }
    if (JoyX(port) == 1.0f) {
        h.rstp = add(h.rstp, kTurnStep);
        if (h.rstp > 20) h.rstp = 20;
    }
    if (JoyZ(port) == -1.0f) {
        h.ail = add(h.ail, -kSpeedStep);
        if (h.ail < -3) h.ail = -3;
    }
    if (JoyZ(port) == 1.0f) {
        h.ail = add(h.ail, kSpeedStep);
        if (h.ail > 3) h.ail = 3;
    }
    if (JoyR(port) == joy_left) {
        h.elv = add(h.elv, -kSpeedStep);
        if (h.elv < -3) h.elv = -3;
    }
    if (JoyR(port) == joy_right) {
        h.elv = add(h.elv, kSpeedStep);
        if (h.elv > 3) h.elv = 3;
    }
    // Fire buttons are asked only when a shot is allowed, so an early press stays
    // pending in the pad until the helicopter can fire; buttons not asked keep theirs.
    if (h.rocket_ctr == 0 && (JoyHit(0, port) || JoyHit(6, port) || JoyHit(7, port))) {
        rocket_tag::fire(index);
        h.rocket_ctr = 50;
        play_world_sfx(index == 0 ? snd_brocket : snd_rrocket);
    }
}

}  // namespace

int player_tag::get_inputs() {
    inputs_for(player[0], 0, 0);
    if (pads_found >= 2) inputs_for(player[1], 1, 1);
    return 0;
}

int player_tag::flush_inputs() {
    int n = 0;
    while (true) {
        if (n > 0) n -= 1;
        if (MouseDown(1) == 1 || MouseHit(1)) n += 1;
        if (JoyDown(0, 0) == 1 || JoyDown(1, 0) == 1) n += 1;
        if (JoyHit(0, 0) || JoyHit(1, 0)) n += 1;
        FlushKeys();
        FlushMouse();
        if (n == 0 || AppQuitPending()) return 0;
        // Wait a moment between polls rather than spin.
        Delay(1);
    }
}
