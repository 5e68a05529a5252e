#include "app/rounds.h"

#include "app/globals.h"
#include "app/sound.h"
#include "engine/input.h"
#include "engine/window.h"
#include "stereo/owdraw.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/level.h"
#include "world/player.h"
#include "world/rocket.h"
#include "world/trail.h"

namespace {

constexpr float kOpeningSpin = 15.0f;
constexpr float kOpeningGrowth = 0.02f;
constexpr float kClosingStep = 0.01f;

void announce_standing(const Sound& blue_ahead, const Sound& red_ahead) {
    if (player[0].score > player[1].score) play_sfx(blue_ahead);
    else if (player[1].score > player[0].score) play_sfx(red_ahead);
    else play_sfx(snd_tied);
}

void opening_frame() {
    trans_spin = float(double(trans_spin) + kOpeningSpin);
    trans_scale = float(double(trans_scale) + kOpeningGrowth);
    draw3d.sip(ALPHABLEND, 0.6f, trans_spin, trans_scale, trans_scale);
    if (trans_scale < 1.0f) DrawImage(trans_img, 320, 240);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    if (trans_scale < 1.0f) return;
    // The round starts: the last transition picture is shown at once, then a fresh
    // picture of the arena is drawn for the frame loop to finish.
    draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
    draw_hud();
    SetColor(255, 255, 255);
    draw3d.sip(ALPHABLEND, 0.6f, 0, 1, 1);
    DrawImage(trans_img, 320, 240);
    Flip(1);
    draw_back();
    level_tag::update_all();
    play_music(2);
    play_sfx(snd_start);
    play_phase = 1;
}

void running_frame() {
    player_tag::update_all();
    level_tag::update_all();
    dust_tag::update_all();
    explode_tag::update_all();
    trail_tag::update_all();
    rocket_tag::update_all();
    if (player[0].pads == 0 || player[1].pads == 0) {
        StopChannel(music_chn);
        Delay(500);
        announce_standing(snd_blulead, snd_redlead);
        Delay(500);
        grab_arena(1.0f);
        play_phase = 2;
        trans_spin = 1.0f;
    }
    // Tested after the round, so both can end in one frame: the game then goes straight
    // to the game-over screen without the closing transition.
    if (player[0].battery == 0 || player[1].battery == 0) {
        StopChannel(music_chn);
        player[0].flush_inputs();
        over_tmr = 1000;
        game_state = STATE_OVER;
    }
}

void closing_frame() {
    draw3d.sip(ALPHABLEND, trans_spin, 0, trans_scale, trans_scale);
    DrawImage(trans_img, 320, 240);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    trans_spin = float(double(trans_spin) - kClosingStep);
    trans_scale = float(double(trans_scale) + kClosingStep);
    if (trans_spin > 0) return;
    round_no += 1;
    draw_back();
    player_tag::reset(0);
    play_sfx(snd_newmap);
}

struct side_colours {
    int lit[3];
    int used[3];
};

void draw_batteries(int battery, const side_colours& c, float text_x, float first_x, float step) {
    SetColor(c.lit[0], c.lit[1], c.lit[2]);
    DrawText("Bat", text_x, 452);
    for (int i = 0; i <= 4; ++i) {
        const int* rgb = i >= battery ? c.used : c.lit;
        SetColor(rgb[0], rgb[1], rgb[2]);
        DrawRect(first_x + step * i, 458, 24, 16);
    }
}

constexpr side_colours kBlueCells{{50, 100, 255}, {25, 50, 100}};
constexpr side_colours kRedCells{{255, 100, 50}, {100, 50, 25}};

}  // namespace

std::string score_text(const char* name, int value) {
    return std::string(name) + (value < 10 ? ": 0" : ": ") + std::to_string(value);
}

int grab_arena(float scale) {
    Cls();
    trans_scale = scale;
    trans_spin = 0;
    level_tag::update_all();
    GrabImage(trans_img, 0, 0, 0);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    return 0;
}

int play_frame() {
    switch (play_phase) {
        case 0: opening_frame(); break;
        case 1: running_frame(); break;
        case 2: closing_frame(); break;
        default: break;
    }
    return 0;
}

int draw_hud() {
    SetColor(150, 150, 150);
    draw3d.sip(ALPHABLEND, 0.8f, 0, 1, 1);
    DrawImage(hud_img, 0, 0);
    DrawImage(hud_img, 0, 450);

    std::string blue = score_text("Blue", player[0].score);
    SetColor(50, 100, 255);
    draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
    draw3d.t3d(blue, 4, 2, 1, 0, 2);

    std::string round = score_text("Round", round_no);
    SetColor(255, 255, 255);
    draw3d.t3d(round, float(320 - TextWidth(round) / 2), 2, 1, 0, 2);

    std::string red = score_text("Red", player[1].score);
    SetColor(255, 100, 50);
    draw3d.t3d(red, float(636 - TextWidth(red)), 2, 1, 0, 2);

    draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
    if (game_state == STATE_TITLE) {
        SetColor(255, 255, 255);
        draw3d.t3d(credit_txt, 320, 466, 1, 1, 2);
        return 0;
    }
    // Battery cells fill from the screen edges inward.
    draw_batteries(player[0].battery, kBlueCells, 5, 60, 34);
    draw_batteries(player[1].battery, kRedCells, 592, 556, -34);
    return 0;
}

int over_frame() {
    over_tmr -= 1;
    SetColor(200, 200, 200);
    draw3d.sip(ALPHABLEND, 1.0f, 0, 2, 2);
    draw3d.t3d("Game Over", 320, 180, 0, 1, 1);
    draw3d.sip(ALPHABLEND, 1.0f, 0, 1, 1);
    if (over_tmr < 800) {
        if (JoyHit(0, 0) || over_tmr <= 0) {
            game_state = STATE_TITLE;
            play_sfx(snd_land);
            player[0].flush_inputs();
            play_music(1);
        }
        draw3d.t3d("Press Fire To Continue", 320, 250, 0, 1, 1);
    }
    if (over_tmr == 900) announce_standing(snd_bluwin, snd_redwin);
    return 0;
}
