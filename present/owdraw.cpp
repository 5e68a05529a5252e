#include "present/owdraw.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "platform/font.h"
#include "sim/maths.h"

int ana_mode = 0;
owdraw_tag draw3d;

const ana_pair ana_pairs[5] = {
    {"Off", {0, 0, 0}, {0, 0, 0}},
    {"M\\G", {140, 4, 40}, {4, 100, 20}},
    {"R\\G", {4, 100, 20}, {140, 4, 10}},
    {"R\\C", {4, 80, 60}, {140, 4, 10}},
    {"R\\B", {4, 20, 140}, {140, 4, 20}},
};

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

bool load_ana_mode(owdraw_tag& draw, const std::string& path) {
    bool ok = false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            uint8_t b[4];
            // A file too short to hold the mode keeps the mode as it was.
            if (std::fread(b, 1, 4, f) == 4) {
                int mode = int(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
                if (mode >= 0 && mode <= 4) {
                    ana_mode = mode;
                    ok = true;
                } else {
                    std::fprintf(stderr, "rc-whirlbat: %s holds stereo mode %d, not one of 0 to 4; keeping mode %d\n",
                                 path.c_str(), mode, ana_mode);
                }
            }
            std::fclose(f);
        }
    }
    draw.apply_mode_colours();
    return ok;
}

bool save_ana_mode(owdraw_tag& draw, const std::string& path) {
    bool ok = false;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        uint32_t v = uint32_t(ana_mode);
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        ok = std::fwrite(b, 1, 4, f) == 4;
        ok = std::fclose(f) == 0 && ok;
    }
    draw.apply_mode_colours();
    return ok;
}

void set_stereo_mode(int mode) {
    ana_mode = mode >= 0 && mode <= 4 ? mode : 0;
    draw3d.apply_mode_colours();
}
