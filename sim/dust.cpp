#include "sim/dust.h"

#include "sim/maths.h"
#include "sim/world.h"

void dust_tag::set(World& w, float x, float y) {
    // QUIRK(dust-ring): eleven clouds 36 degrees apart; the first and the last both head
    // straight up from the same place.
    for (int k = 0; k < DUST_CLOUDS; ++k) {
        dust_tag d;
        d.rot = 36 * k;
        d.al = 1.0f;
        d.sc = 0.5f;
        d.x = float(double(x) + 24 * Sin(d.rot));
        d.y = float(double(y) - 24 * Cos(d.rot));
        w.dust_list.push_back(d);
    }
}

bool dust_tag::update() {
    x = float(double(x) + 0.8f * Sin(rot));
    y = float(double(y) - 0.8f * Cos(rot));
    al = float(double(al) - 0.02f);
    sc = float(double(sc) + 0.06f);
    return al > 0;
}

void dust_tag::update_all(World& w) {
    update_list(w.dust_list, [](dust_tag& d) { return d.update(); });
}

void dust_tag::destroy_all(World& w) {
    w.dust_list.clear();
}
