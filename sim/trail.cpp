#include "sim/trail.h"

#include "sim/world.h"

void trail_tag::set(World& w, float x, float y, float rot, float scale) {
    trail_tag t;
    t.x = x;
    t.y = y;
    t.rot = rot;
    t.scale = scale;
    t.frame = 2;
    t.alpha = 1.0f;
    w.trail_list.push_back(t);
}

bool trail_tag::update() {
    if (frame == 2) {
        alpha = float(double(alpha) - 0.04f);
        // QUIRK(last-flame-draws-smoke): the update that turns the flame to smoke still
        // draws additively (the puff's drawing looks at the frame it had before).
        if (alpha < 0.6f) frame = 3;
        return true;
    }
    alpha = float(double(alpha) - 0.02f);
    return alpha > 0;
}

void trail_tag::update_all(World& w) {
    update_list(w.trail_list, [](trail_tag& t) { return t.update(); });
}

void trail_tag::destroy_all(World& w) {
    w.trail_list.clear();
}
