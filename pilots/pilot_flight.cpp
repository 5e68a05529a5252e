#include "pilots/pilot_flight.h"

#include <algorithm>

#include "sim/level.h"
#include "sim/maths.h"
#include "sim/trig.h"

namespace {

float add(float value, float step) { return float(double(value) + step); }

}  // namespace

float clamp_to(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

int cell_at(float x, float y) {
    return cell_index(clamp_to(x, ARENA_MIN_X, ARENA_MAX_X), clamp_to(y, ARENA_MIN_Y, ARENA_MAX_Y));
}

PilotPoint cell_centre(int cell) {
    return {float(16 + CELL_SIZE * (cell % MAP_COLS)), float(48 + CELL_SIZE * (cell / MAP_COLS))};
}

bool near_cell(PilotPoint p, float r, int cell) {
    return cell_at(p.x - r, p.y - r) == cell || cell_at(p.x + r, p.y - r) == cell ||
           cell_at(p.x - r, p.y + r) == cell || cell_at(p.x + r, p.y + r) == cell;
}

float wrap_degrees(float degrees) {
    double d = fmod_exact(double(degrees), 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return float(d);
}

float heading_to(float dx, float dy) { return float(atan2_radians(double(dx), double(-dy)) * 57.29577951308232); }

PilotMotion PilotMotion::of(const player_tag& p) { return {p.x, p.y, p.rotation, p.rstp, p.elv, p.ail}; }

void PilotMotion::advance() {
    rotation = add(rotation, rstp);
    if (rstp != 0) {
        if (rstp > 0) rstp = add(rstp, -TURN_DAMPING);
        if (rstp < 0) rstp = add(rstp, TURN_DAMPING);
    }
    if (elv != 0) {
        x = float(x - Sin(rotation) * elv);
        y = float(y + Cos(rotation) * elv);
        if (elv > 0) elv = add(elv, -SPEED_DAMPING);
        if (elv < 0) elv = add(elv, SPEED_DAMPING);
    }
    if (ail != 0) {
        if (ail > 0) {
            x = float(x - Sin(double(rotation) - 90) * ail);
            y = float(y + Cos(double(rotation) - 90) * ail);
            ail = add(ail, -SPEED_DAMPING);
        }
        if (ail < 0) {
            x = float(x + Sin(double(rotation) + 90) * ail);
            y = float(y - Cos(double(rotation) + 90) * ail);
            ail = add(ail, SPEED_DAMPING);
        }
    }
    x = clamp_to(x, ARENA_MIN_X, ARENA_MAX_X);
    y = clamp_to(y, ARENA_MIN_Y, ARENA_MAX_Y);
}

void PilotMotion::steer(int turn, int slide, int forward) {
    if (turn) rstp = clamp_to(add(rstp, turn * TURN_STEP), -TURN_LIMIT, TURN_LIMIT);
    if (slide) ail = clamp_to(add(ail, slide * SPEED_STEP), -SPEED_LIMIT, SPEED_LIMIT);
    if (forward) elv = clamp_to(add(elv, forward * SPEED_STEP), -SPEED_LIMIT, SPEED_LIMIT);
}

void Glide::advance() {
    m.rotation = add(m.rotation, m.rstp);
    if (m.rotation != trig_for_) {
        trig_for_ = m.rotation;
        sin_ = Sin(m.rotation);
        cos_ = Cos(m.rotation);
    }
    if (m.rstp > 0) m.rstp = add(m.rstp, -TURN_DAMPING);
    if (m.rstp < 0) m.rstp = add(m.rstp, TURN_DAMPING);
    if (std::fabs(m.rstp) < 0.15f) m.rstp = 0;
    m.x = clamp_to(float(m.x - sin_ * m.elv + cos_ * m.ail), ARENA_MIN_X, ARENA_MAX_X);
    m.y = clamp_to(float(m.y + cos_ * m.elv + sin_ * m.ail), ARENA_MIN_Y, ARENA_MAX_Y);
    for (float* v : {&m.elv, &m.ail}) {
        if (*v > 0) *v = std::max(0.0f, add(*v, -SPEED_DAMPING));
        else if (*v < 0) *v = std::min(0.0f, add(*v, SPEED_DAMPING));
    }
}

Coast::Coast(const player_tag& p)
    : x_(p.x), y_(p.y), elv_(p.elv), ail_(p.ail), sin_(Sin(p.rotation)), cos_(Cos(p.rotation)) {}

PilotPoint Coast::at(int frames) const {
    auto travelled = [frames](float v) {
        double a = std::fabs(double(v));
        int n = std::min(frames, int(std::ceil(a / SPEED_DAMPING)));
        double d = n * a - SPEED_DAMPING * n * (n - 1) / 2;
        return v < 0 ? -d : d;
    };
    double de = travelled(elv_), da = travelled(ail_);
    return {clamp_to(float(x_ - sin_ * de + cos_ * da), ARENA_MIN_X, ARENA_MAX_X),
            clamp_to(float(y_ + cos_ * de + sin_ * da), ARENA_MIN_Y, ARENA_MAX_Y)};
}
