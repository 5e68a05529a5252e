#include "world/trail.h"

#include "stereo/owdraw.h"
#include "world/world.h"

obj_list<trail_tag> trail_list;

int trail_tag::set(float x, float y, float rot, float scale) {
    auto t = std::make_unique<trail_tag>();
    t->x = x;
    t->y = y;
    t->rot = rot;
    t->scale = scale;
    t->frame = 2;
    t->alpha = 1.0f;
    trail_list.add(std::move(t));
    return 0;
}

int trail_tag::update() {
    SetColor(255, 255, 255);
    if (frame == 2) {
        draw3d.sip(LIGHTBLEND, 1.0f, rot, scale, scale);
        alpha = float(double(alpha) - 0.04f);
        // The update that turns the flame to smoke still draws additively.
        if (alpha < 0.6f) frame = 3;
    } else {
        alpha = float(double(alpha) - 0.02f);
        if (!(alpha > 0)) trail_list.remove(this);
        draw3d.sip(ALPHABLEND, 1.0f, rot, scale, scale);
    }
    DrawImage(rocket_img, x, y, frame);
    return 0;
}

int trail_tag::update_all() {
    trail_list.walk([](trail_tag& t) { t.update(); });
    return 0;
}

int trail_tag::destroy_all() {
    trail_list.clear();
    return 0;
}
