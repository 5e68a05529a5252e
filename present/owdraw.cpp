#include "present/owdraw.h"

#include "platform/font.h"
#include "sim/maths.h"

namespace {

// The eye colour pairs, indexed by ana_mode: off, magenta/green, red/green, red/cyan,
// red/blue.
struct ana_pair {
    int left[3];
    int right[3];
};
constexpr ana_pair ana_pairs[5] = {
    {{0, 0, 0}, {0, 0, 0}},         {{140, 4, 40}, {4, 100, 20}}, {{4, 100, 20}, {140, 4, 10}},
    {{4, 80, 60}, {140, 4, 10}},    {{4, 20, 140}, {140, 4, 20}},
};

}  // namespace

void owdraw_tag::slc(int lr, int lg, int lb, int rr, int rg, int rb) {
    leye_r = lr;
    leye_g = lg;
    leye_b = lb;
    reye_r = rr;
    reye_g = rg;
    reye_b = rb;
}

void owdraw_tag::sip(int blend, float alpha, float rotation, float scale_x, float scale_y) {
    SetBlend(blend);
    SetAlpha(alpha);
    SetTransform(rotation, scale_x, scale_y);
    txt_xs = scale_x;
    txt_ys = scale_y;
}

void owdraw_tag::i3d(const Image& image, float x, float y, int frame, float eye_offset, float twist, int passes) {
    int r = Int(GetRotation());
    if (ana_mode == 0) {
        DrawImage(image, x, y, frame);
    } else {
        for (int pass = 0; pass < passes; ++pass) {
            SetBlend(LIGHTBLEND);
            SetColor(leye_r, leye_g, leye_b);
            if (twist != 0.0f) SetRotation(float(r + twist));
            DrawImage(image, x - eye_offset, y, frame);
            SetColor(reye_r, reye_g, reye_b);
            if (twist != 0.0f) SetRotation(float(r - twist));
            DrawImage(image, x + eye_offset, y, frame);
        }
    }
    if (twist != 0.0f) SetRotation(float(r));
}

void owdraw_tag::t3d(const std::string& text, float x, float y, float eye_offset, int centred, int passes) {
    // QUIRK(centred-text-uses-the-stored-scale)
    if (centred) {
        x = float(x - TextWidth(text) * double(txt_xs) / 2.0);
        y = float(y - TextHeight(text) * double(txt_ys) / 2.0);
    }
    if (ana_mode == 0) {
        DrawText(text, x, y);
        return;
    }
    for (int pass = 0; pass < passes; ++pass) {
        SetBlend(LIGHTBLEND);
        SetColor(leye_r, leye_g, leye_b);
        DrawText(text, x - eye_offset, y);
        SetColor(reye_r, reye_g, reye_b);
        DrawText(text, x + eye_offset, y);
    }
}

void owdraw_tag::apply_mode_colours() {
    if (ana_mode >= 1 && ana_mode <= 4) {
        const ana_pair& p = ana_pairs[ana_mode];
        slc(p.left[0], p.left[1], p.left[2], p.right[0], p.right[1], p.right[2]);
    }
}

void set_stereo_mode(owdraw_tag& draw, int mode) {
    draw.ana_mode = mode >= 0 && mode <= 4 ? mode : 0;
    draw.apply_mode_colours();
}
