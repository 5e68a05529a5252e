#include "present/scene_draw.h"

#include <algorithm>
#include <string>

#include "present/media.h"
#include "sim/step.h"
#include "platform/font.h"
#include "platform/window.h"
#include "present/owdraw.h"

namespace {

// Texts as character arrays: read-only data, no pointers to relocate.
constexpr char kMenuText[5][20] = {"Start Game", "Detect Game Pads: ", "Sound Volume: ", "Music Volume: ",
                                   "Exit Game"};
constexpr char kPauseText[5][16] = {"Resume Game", "", "", "", "Quit This Game"};
constexpr char kVolumeText[11][4] = {"Off", "10%", "20%", "30%", "40%", "50%", "60%", "70%", "80%", "90%", "Max"};
// 36 characters: "v1.3 - " and 29 of our own.
const char* const kCreditText = "v1.3 - Two pads. Five pads. One win.";
constexpr int kLogoOffset = -25;

void draw_back(bool pause, Media& m) {
    Cls();
    if (!pause && m.draw3d.ana_mode != 0) {
        // In 3D the background's two eye images add up at full strength.
        SetColor(255, 255, 255);
        m.draw3d.sip(LIGHTBLEND, 1.0f, 0, 1, 1);
        m.draw3d.i3d(m.back_img, 0, 0, 0, -4, 0, 2);
        return;
    }
    if (pause) {
        // The still picture of the arena, tinted dark blue.
        SetColor(50, 50, 100);
        SetBlend(MASKBLEND);
        DrawImage(m.pause_img, 0, 0);
    } else {
        SetColor(255, 255, 255);
        m.draw3d.sip(ALPHABLEND, 0.6f, 0, 1, 1);
        DrawImage(m.back_img, 0, 0);
    }
}

struct SideColours {
    int lit[3];
    int used[3];
};
constexpr SideColours kBlueCells{{50, 100, 255}, {25, 50, 100}};
constexpr SideColours kRedCells{{255, 100, 50}, {100, 50, 25}};

void draw_batteries(int battery, const SideColours& c, float text_x, float first_x, float step) {
    SetColor(c.lit[0], c.lit[1], c.lit[2]);
    DrawText("Bat", text_x, 452);
    for (int i = 0; i <= 4; ++i) {
        const int* rgb = i >= battery ? c.used : c.lit;
        SetColor(rgb[0], rgb[1], rgb[2]);
        DrawRect(first_x + step * i, 458, 24, 16);
    }
}

void draw_hud(const HudView& h, Media& m) {
    SetColor(150, 150, 150);
    m.draw3d.sip(ALPHABLEND, 0.8f, 0, 1, 1);
    DrawImage(m.hud_img, 0, 0);
    DrawImage(m.hud_img, 0, 450);

    std::string blue = score_text("Blue", h.score[0]);
    SetColor(50, 100, 255);
    m.draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
    m.draw3d.t3d(blue, 4, 2, 1, 0, 2);

    std::string round = score_text("Round", h.round_no);
    SetColor(255, 255, 255);
    m.draw3d.t3d(round, float(320 - TextWidth(round) / 2), 2, 1, 0, 2);

    std::string red = score_text("Red", h.score[1]);
    SetColor(255, 100, 50);
    m.draw3d.t3d(red, float(636 - TextWidth(red)), 2, 1, 0, 2);

    m.draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
    if (h.title) {
        SetColor(255, 255, 255);
        m.draw3d.t3d(kCreditText, 320, 466, 1, 1, 2);
        return;
    }
    // Battery cells fill from the screen edges inward.
    draw_batteries(h.battery[0], kBlueCells, 5, 60, 34);
    draw_batteries(h.battery[1], kRedCells, 592, 556, -34);
}

std::string item_label(int i, const SceneOp& op, const Media& m) {
    bool pause = op.i[0];
    std::string label = (pause && kPauseText[i][0]) ? kPauseText[i] : kMenuText[i];
    if (i == 1) label += std::to_string(std::max(0, op.i[2] - m.pilots_without_pads));
    if (i == 2) label += kVolumeText[op.i[3]];
    if (i == 3) label += kVolumeText[op.i[4]];
    return label;
}

void draw_menu(const SceneOp& op, Media& m) {
    bool pause = op.i[0];
    SetColor(255, 255, 255);
    m.draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    DrawImage(m.logo_img, 320, 130);
    for (int i = 0; i <= 4; ++i) {
        bool lit = i == op.i[1];
        if (pause && i == 1) SetColor(100, 100, 100);
        else if (lit) SetColor(255, 50, 50);
        else SetColor(50, 100, 255);
        float scale = lit ? 1.2f : 1.0f;
        m.draw3d.sip(ALPHABLEND, 1.0f, 0, scale, scale);
        m.draw3d.t3d(item_label(i, op, m), 320, float(245 + 40 * i), lit ? 3.0f : 2.0f, 1, 2);
    }
}

void draw_op(const Scene& scene, const SceneOp& op, Media& m) {
    using K = SceneOp::Kind;
    const Sprites& s = m.sprites;
    switch (op.kind) {
        case K::cls: Cls(); break;
        case K::back: draw_back(op.i[0], m); break;
        case K::hud: draw_hud(op.hud, m); break;
        case K::arena: {
            const ArenaView& a = scene.arenas[op.i[0]];
            draw_arena(m.draw3d, a.level, a.player, s);
            break;
        }
        case K::dusts: draw_dusts(m.draw3d, scene.dusts, s); break;
        case K::explodes: draw_explodes(m.draw3d, scene.explodes, s); break;
        case K::trails: draw_trails(m.draw3d, scene.trails, s); break;
        case K::rockets: draw_rockets(m.draw3d, scene.rockets, s); break;
        case K::opening:
            m.draw3d.sip(ALPHABLEND, 0.6f, op.f[0], op.f[1], op.f[1]);
            if (op.f[1] < 1.0f) DrawImage(m.trans_img, 320, 240);
            m.draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
            break;
        case K::round_start:
            m.draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
            draw_hud(op.hud, m);
            SetColor(255, 255, 255);
            m.draw3d.sip(ALPHABLEND, 0.6f, 0, 1, 1);
            DrawImage(m.trans_img, 320, 240);
            break;
        case K::closing:
            m.draw3d.sip(ALPHABLEND, op.f[0], 0, op.f[1], op.f[1]);
            DrawImage(m.trans_img, 320, 240);
            m.draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
            break;
        case K::grab_transition:
            GrabImage(m.trans_img, 0, 0, 0);
            m.draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
            break;
        case K::grab_pause: GrabImage(m.pause_img, 0, 0, 0); break;
        case K::menu: draw_menu(op, m); break;
        case K::pointer:
            SetColor(255, 255, 255);
            m.draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
            m.draw3d.i3d(m.pointer_img, float(op.i[0]), float(op.i[1]), 0, 4, 0, 2);
            break;
        case K::game_over:
            SetColor(200, 200, 200);
            m.draw3d.sip(ALPHABLEND, 1.0f, 0, 2, 2);
            m.draw3d.t3d("Game Over", 320, 180, 0, 1, 1);
            m.draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
            if (op.i[0]) m.draw3d.t3d("Press Fire To Continue", 320, 250, 0, 1, 1);
            break;
        case K::logo: {
            float x = float(GraphicsWidth() / 2), y = float(GraphicsHeight() / 2 + kLogoOffset);
            Cls();
            SetColor(255, 255, 255);
            if (op.i[0]) {
                m.draw3d.sip(LIGHTBLEND, op.f[0], 0, op.f[1], op.f[1]);
                m.draw3d.i3d(m.maker_logo, x, y, 0, op.f[2], 0, 2);
                break;
            }
            m.draw3d.sip(ALPHABLEND, op.f[0], 0, 1, 1);
            m.draw3d.i3d(m.maker_logo, x, y, 0, 0, 0, 1);
            break;
        }
        case K::logo_end:
            SetColor(255, 255, 255);
            m.draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
            break;
    }
}

}  // namespace

void draw_scene(const Scene& scene, Media& media) {
    for (const SceneOp& op : scene.ops) draw_op(scene, op, media);
}
