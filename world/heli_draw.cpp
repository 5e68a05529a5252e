#include "engine/maths.h"
#include "stereo/owdraw.h"
#include "world/player.h"
#include "world/world.h"

int player_tag::draw_heli(int index) {
    const player_tag& h = player[index];
    float s = h.scale, r = h.rotation, b = h.bladerot;
    float px = float(Int(h.x)), py = float(Int(h.y));
    float body_y = float(Int(h.y) - h.alt);
    int f = h.frame + h.a_ctr;
    // The shadow: the same sprite almost black, at half size on the ground point.
    SetColor(10, 10, 10);
    draw3d.sip(ALPHABLEND, 1.0f, r, 0.5f, 0.5f);
    DrawImage(heli_img, px, py, f);
    draw3d.sip(ALPHABLEND, 1.0f, b, 0.5f, 0.5f);
    DrawImage(blade_img, px, py, index);
    // The body, raised by the altitude and grown by the scale.
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, r, s, s);
    DrawImage(heli_img, px, body_y, f);
    draw3d.sip(MASKBLEND, 1.0f, b, s, s);
    DrawImage(blade_img, px, body_y, index);
    draw3d.sip(MASKBLEND, 1.0f, r, s, s);
    return 0;
}
