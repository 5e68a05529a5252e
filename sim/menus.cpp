// The maker's logo intro and the menu that serves as title and pause menu.
#include "sim/frame.h"

namespace {

float add(float value, float step) { return float(double(value) + step); }

int take(int& hits) {
    int n = hits;
    hits = 0;
    return n;
}

// QUIRK(volume-float-steps): the volume is summed in float steps, so ten steps from
// "Off" give 1.0000001.
void step_volume(int& level, float& volume) {
    level += 1;
    volume = add(volume, VOLUME_STEP);
    if (level > VOLUME_LEVELS) {
        level = 0;
        volume = 0;
    }
}

void choose(Frame& f, int item, bool pause) {
    Game& g = f.g;
    switch (item) {
        case 0:
            g.game_state = GameState::play;
            if (pause) {
                f.music(2);
            } else {
                f.reset(1);
                f.event(FrameEvent::Kind::music_stop);
            }
            f.sfx(Sfx::newmap);
            break;
        case 1:
            if (!pause) {
                g.pads_found = f.in.pad_count;
                f.event(FrameEvent::Kind::recount_pads);
                f.sfx(Sfx::detectgb);
            }
            break;
        case 2:
            step_volume(g.sound_lvl, g.sound_vol);
            f.out.events.sfx_volume = g.sound_vol;
            f.sfx(Sfx::explode);  // a sample at the new volume
            break;
        case 3:
            step_volume(g.music_lvl, g.music_vol);
            f.out.events.list.push_back({FrameEvent::Kind::music_volume, Sfx::start, 0, 0, 0, g.music_vol});
            break;
        case 4:
            if (pause) {
                g.game_state = GameState::title;
                f.move_pointer(POINTER_HOME_X, POINTER_HOME_Y);
            } else {
                g.quit_game = 1;
            }
            f.sfx(Sfx::land);
            break;
        default:
            break;
    }
    f.flush_inputs();
}

// Pad 0's stick at its very end moves the pointer; each axis is its own test.
void pad_pointer(Frame& f) {
    PortState& pad = f.g.pads.port[0];
    int x = f.g.pointer_x, y = f.g.pointer_y;
    if (pad.axis(AXIS_X) == FULL_NEGATIVE) {
        x -= POINTER_STEP;
        f.move_pointer(x, y);
    }
    if (pad.axis(AXIS_X) == FULL_POSITIVE) {
        x += POINTER_STEP;
        f.move_pointer(x, y);
    }
    if (pad.axis(AXIS_Y) == FULL_NEGATIVE) {
        y -= POINTER_STEP;
        f.move_pointer(x, y);
    }
    if (pad.axis(AXIS_Y) == FULL_POSITIVE) {
        y += POINTER_STEP;
        f.move_pointer(x, y);
    }
}

}  // namespace

// QUIRK(menu-highlight-from-height): x does not matter.
int menu_item_at(int y) {
    if (y <= 225) return -1;
    int item = (y - 225) / 40;
    return item <= 4 ? item : -1;
}

void menu_frame(Frame& f) {
    Game& g = f.g;
    bool pause = g.game_state == GameState::pause;
    pad_pointer(f);
    int mx = g.pointer_x, my = g.pointer_y;
    int highlighted = menu_item_at(my);
    if (SceneOp* op = f.show_op(SceneOp::Kind::menu)) {
        op->i[0] = pause;
        op->i[1] = highlighted;
        op->i[2] = g.pads_found;
        op->i[3] = g.sound_lvl;
        op->i[4] = g.music_lvl;
    }
    if (take(g.click_hits) || g.pads.port[0].take(0)) choose(f, highlighted, pause);
    if (SceneOp* op = f.show_op(SceneOp::Kind::pointer)) {
        op->i[0] = mx;
        op->i[1] = my;
    }
}

void intro_frame(Frame& f) {
    Game& g = f.g;
    if (SceneOp* op = f.show_op(SceneOp::Kind::logo)) {
        op->f[0] = g.logo_alpha;
        op->f[1] = g.logo_grow;
        op->f[2] = g.logo_eye;
        op->i[0] = g.stereo_intro;
    }
    if (g.stereo_intro) {
        g.logo_grow = add(g.logo_grow, LOGO_GROWTH);
        g.logo_eye = add(g.logo_eye, LOGO_EYE_STEP);
        if (g.logo_grow > LOGO_STEREO_FADE_FROM) g.logo_alpha = add(g.logo_alpha, -LOGO_FADE);
    } else if (g.logo_grow > 1.0f) {
        // Full strength until it has grown past 1.0 (225 frames), then a 101-frame fade.
        g.logo_alpha = add(g.logo_alpha, -LOGO_FADE);
    } else {
        g.logo_grow = add(g.logo_grow, LOGO_GROWTH);
    }
    if (g.logo_alpha < 0) g.logo_alpha = 0;
    g.after = AfterPresent::intro_checks;
}

bool intro_over(Frame& f) {
    Game& g = f.g;
    if (f.in.quit) {
        g.quit_game = 1;
        return true;
    }
    if (take(g.esc_hits) || take(g.space_hits) || take(g.click_hits) || g.pads.port[0].take(0)) return true;
    return !(g.logo_alpha > 0);
}

void finish_start_up(Frame& f) {
    Game& g = f.g;
    f.show(SceneOp::Kind::logo_end);
    f.flush_keys_and_mouse();
    // The game is still in its intro, so the new game opens no round.
    f.reset(1);
    g.game_state = GameState::title;
    f.music(1);
    f.move_pointer(POINTER_HOME_X, POINTER_HOME_Y);
}
