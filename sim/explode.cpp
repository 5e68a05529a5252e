#include "sim/explode.h"

#include "sim/world.h"

void explode_tag::set(World& w, float x, float y) {
    // QUIRK(spark-count): 31 sparks (not 30), over the square from (x - 8, y - 8) to
    // (x + 16, y + 16).
    for (int i = 0; i < EXPLODE_SPARKS; ++i) {
        explode_tag e;
        e.al = float(w.rng.Rnd(0.5, 1.0));
        e.x = float((double(x) - 8) + w.rng.Rnd(24, 0));
        e.y = float((double(y) - 8) + w.rng.Rnd(24, 0));
        e.sc = float(w.rng.Rnd(1.0, 2.0));
        e.alst = float(w.rng.Rnd(-0.02, -0.04));
        w.explode_list.push_back(e);
    }
}

bool explode_tag::update() {
    al = float(double(al) + alst);
    sc = float(double(sc) - 0.02f);
    return al > 0;
}

void explode_tag::update_all(World& w) {
    update_list(w.explode_list, [](explode_tag& e) { return e.update(); });
}

void explode_tag::destroy_all(World& w) {
    w.explode_list.clear();
}
