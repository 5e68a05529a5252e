#include "world/explode.h"

#include "engine/random.h"
#include "stereo/owdraw.h"
#include "world/world.h"

obj_list<explode_tag> explode_list;

int explode_tag::set(float x, float y) {
    // 31 sparks over the square from (x - 8, y - 8) to (x + 16, y + 16).
    for (int i = 0; i <= 30; ++i) {
        auto e = std::make_unique<explode_tag>();
        e->al = float(Rnd(0.5, 1.0));
        e->x = float((double(x) - 8) + Rnd(24, 0));
        e->y = float((double(y) - 8) + Rnd(24, 0));
        e->sc = float(Rnd(1.0, 2.0));
        e->alst = float(Rnd(-0.02, -0.04));
        explode_list.add(std::move(e));
    }
    return 0;
}

int explode_tag::update() {
    SetColor(255, 255, 255);
    draw3d.sip(LIGHTBLEND, al, 0, sc, sc);
    DrawImage(tile_img, x, y, 9);
    al = float(double(al) + alst);
    sc = float(double(sc) - 0.02f);
    if (!(al > 0)) explode_list.remove(this);
    return 0;
}

int explode_tag::update_all() {
    explode_list.walk([](explode_tag& e) { e.update(); });
    return 0;
}

int explode_tag::destroy_all() {
    explode_list.clear();
    return 0;
}
