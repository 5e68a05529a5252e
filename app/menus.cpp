#include "app/menus.h"

#include "app/globals.h"
#include "app/sound.h"
#include "engine/input.h"
#include "engine/window.h"
#include "stereo/owdraw.h"
#include "world/player.h"

namespace {

constexpr float kLogoFade = 0.01f;
constexpr float kLogoGrowth = 0.004f;
constexpr float kVolumeStep = 0.1f;

const char* kPauseLabels[5] = {"Resume Game", nullptr, nullptr, nullptr, "Quit This Game"};

std::string item_label(int i, bool pause) {
    std::string label = (pause && kPauseLabels[i]) ? kPauseLabels[i] : menu_txt[i];
    if (i == 1) label += std::to_string(pads_found);
    if (i == 2) label += vol_txt[sound_lvl];
    if (i == 3) label += vol_txt[music_lvl];
    return label;
}

void step_volume(int& level, float& volume) {
    level += 1;
    volume = float(double(volume) + kVolumeStep);
    if (level > 10) {
        level = 0;
        volume = 0;
    }
}

void choose(int item, bool pause) {
    switch (item) {
        case 0:
            game_state = STATE_PLAY;
            if (pause) {
                play_music(2);
            } else {
                player_tag::reset(1);
                StopChannel(music_chn);
            }
            play_sfx(snd_newmap);
            break;
        case 1:
            if (!pause) {
                pads_found = JoyCount();
                play_sfx(snd_detectgb);
            }
            break;
        case 2:
            step_volume(sound_lvl, sound_vol);
            play_sfx(snd_explode);  // a sample at the new volume
            break;
        case 3:
            step_volume(music_lvl, music_vol);
            SetChannelVolume(music_chn, music_vol);
            break;
        case 4:
            if (pause) {
                game_state = STATE_TITLE;
                MoveMouse(320, 245);
            } else {
                quit_game = 1;
            }
            play_sfx(snd_land);
            break;
        default:
            break;
    }
    player[0].flush_inputs();
}

}  // namespace

int menu_item_at(int y) {
    if (y <= 225) return -1;
    int item = (y - 225) / 40;
    return item <= 4 ? item : -1;
}

int show_logo(int offset) {
    Image logo = LoadImage("Incbin::owlogo.png", -1);
    MidHandleImage(logo);
    float x = float(GraphicsWidth() / 2), y = float(GraphicsHeight() / 2 + offset);
    float alpha = 1.0f, grow = 0.1f;
    do {
        Cls();
        SetColor(255, 255, 255);
        draw3d.sip(ALPHABLEND, alpha, 0, 1, 1);
        draw3d.i3d(logo, x, y, 0, 0, 0, 1);
        if (grow > 1.0f) alpha = float(double(alpha) - kLogoFade);
        else grow = float(double(grow) + kLogoGrowth);
        if (alpha < 0) alpha = 0;
        Flip(-1);
        while (AppSuspended() && !AppQuitPending()) Delay(1);
        if (AppTerminate()) {
            quit_game = 1;
            break;
        }
        if (KeyHit(27) || KeyHit(32) || MouseHit(1) || JoyHit(0, 0)) break;
    } while (alpha > 0);
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    FlushKeys();
    FlushMouse();
    return 0;
}

int pad_pointer() {
    int ptr_x = MouseX(), ptr_y = MouseY();
    // Each axis is read afresh and only a stick at its very end moves the pointer.
    if (JoyX(0) == joy_left) {
        ptr_x -= 6;
        MoveMouse(ptr_x, ptr_y);
    }
    if (JoyX(0) == joy_right) {
        ptr_x += 6;
        MoveMouse(ptr_x, ptr_y);
    }
    if (JoyY(0) == joy_up) {
        ptr_y -= 6;
        MoveMouse(ptr_x, ptr_y);
    }
    if (JoyY(0) == joy_down) {
        ptr_y += 6;
        MoveMouse(ptr_x, ptr_y);
    }
    return 0;
}

int menu_frame() {
    bool pause = game_state == STATE_PAUSE;
    pad_pointer();
    int mx = MouseX(), my = MouseY();
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    DrawImage(logo_img, 320, 130);
    int highlighted = menu_item_at(my);
    for (int i = 0; i <= 4; ++i) {
        bool lit = i == highlighted;
        if (pause && i == 1) SetColor(100, 100, 100);
        else if (lit) SetColor(255, 50, 50);
        else SetColor(50, 100, 255);
        float scale = lit ? 1.2f : 1.0f;
        draw3d.sip(ALPHABLEND, 1.0f, 0, scale, scale);
        draw3d.t3d(item_label(i, pause), 320, float(245 + 40 * i), lit ? 3.0f : 2.0f, 1, 2);
    }
    if (MouseHit(1) || JoyHit(0, 0)) choose(highlighted, pause);
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1, 1);
    draw3d.i3d(pointer_img, float(mx), float(my), 0, 4, 0, 2);
    return 0;
}
