#include "world/dust.h"

#include "engine/maths.h"
#include "stereo/owdraw.h"
#include "world/world.h"

obj_list<dust_tag> dust_list;

int dust_tag::set(float x, float y) {
    // Eleven clouds 36 degrees apart: the first and the last both head straight up.
    for (int k = 0; k <= 10; ++k) {
        auto d = std::make_unique<dust_tag>();
        d->rot = 36 * k;
        d->al = 1.0f;
        d->sc = 0.5f;
        d->x = float(double(x) + 24 * Sin(d->rot));
        d->y = float(double(y) - 24 * Cos(d->rot));
        dust_list.add(std::move(d));
    }
    return 0;
}

int dust_tag::update() {
    SetColor(255, 255, 255);
    draw3d.sip(ALPHABLEND, al, float(rot), sc, sc);
    DrawImage(tile_img, x, y, 8);
    x = float(double(x) + 0.8f * Sin(rot));
    y = float(double(y) - 0.8f * Cos(rot));
    al = float(double(al) - 0.02f);
    sc = float(double(sc) + 0.06f);
    if (!(al > 0)) dust_list.remove(this);
    return 0;
}

int dust_tag::update_all() {
    dust_list.walk([](dust_tag& d) { d.update(); });
    return 0;
}

int dust_tag::destroy_all() {
    dust_list.clear();
    return 0;
}
