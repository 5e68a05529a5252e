#include "sim/events.h"
#include "sim/pads.h"
#include "sim/player.h"
#include "sim/world.h"

namespace {

float add(float value, float step) { return float(double(value) + step); }

// Only a stick at its very end counts; each control is its own test.
void inputs_for(World& w, int index, PortState& port, FrameEvents& ev) {
    player_tag& h = w.player[index];
    // QUIRK(top-of-the-climb): after 50 steps the scale is just below 1.0, so a 51st
    // step happens.
    if (port.axis(AXIS_Y) == FULL_NEGATIVE && h.scale < CLIMB_SCALE_LIMIT) {
        h.alt += 1;
        h.rotspd = ROTOR_SPIN;
        h.scale = add(h.scale, CLIMB_SCALE_STEP);
    }
    if (port.axis(AXIS_Y) == FULL_POSITIVE && h.scale > GROUND_SCALE) {
        h.alt -= 1;
        h.scale = add(h.scale, -CLIMB_SCALE_STEP);
        if (h.scale <= GROUND_SCALE) {
            // Touchdown stops the helicopter dead.
            h.rstp = 0;
            h.ail = 0;
            h.elv = 0;
            h.scale = GROUND_SCALE;
            h.rotspd = 0;
        }
    }
    if (h.alt < 1) return;
    if (port.axis(AXIS_X) == FULL_NEGATIVE) {
        h.rstp = add(h.rstp, -TURN_STEP);
        if (h.rstp < -TURN_LIMIT) h.rstp = -TURN_LIMIT;
    }
    if (port.axis(AXIS_X) == FULL_POSITIVE) {
        h.rstp = add(h.rstp, TURN_STEP);
        if (h.rstp > TURN_LIMIT) h.rstp = TURN_LIMIT;
    }
    if (port.axis(AXIS_Z) == FULL_NEGATIVE) {
        h.ail = add(h.ail, -SPEED_STEP);
        if (h.ail < -SPEED_LIMIT) h.ail = -SPEED_LIMIT;
    }
    if (port.axis(AXIS_Z) == FULL_POSITIVE) {
        h.ail = add(h.ail, SPEED_STEP);
        if (h.ail > SPEED_LIMIT) h.ail = SPEED_LIMIT;
    }
    if (port.axis(AXIS_R) == FULL_NEGATIVE) {
        h.elv = add(h.elv, -SPEED_STEP);
        if (h.elv < -SPEED_LIMIT) h.elv = -SPEED_LIMIT;
    }
    if (port.axis(AXIS_R) == FULL_POSITIVE) {
        h.elv = add(h.elv, SPEED_STEP);
        if (h.elv > SPEED_LIMIT) h.elv = SPEED_LIMIT;
    }
    // QUIRK(pending-fire): fire buttons are asked only when a shot is allowed, so an
    // early press stays pending until the helicopter can fire; buttons not asked keep
    // theirs.
    if (h.rocket_ctr == 0 && (port.take(0) || port.take(6) || port.take(7))) {
        rocket_tag::fire(w, index);
        h.rocket_ctr = ROCKET_COOLDOWN;
        ev.play(index == 0 ? Sfx::brocket : Sfx::rrocket);
    }
}

}  // namespace

void player_tag::get_inputs(World& w, Pads& pads, int pads_found, FrameEvents& ev) {
    inputs_for(w, 0, pads.port[0], ev);
    // QUIRK(one-pad-red-stays): with fewer than two pads Red is never read.
    if (pads_found >= 2) inputs_for(w, 1, pads.port[1], ev);
}
