#include "sim/step.h"

#include "sim/frame.h"

namespace {

int take(int& hits) {
    int n = hits;
    hits = 0;
    return n;
}

// What the devices gave since the last frame joins what the rules have not asked for.
void take_in(Game& g, const FrameInput& in) {
    for (int p = 0; p < PAD_PORTS; ++p) {
        PortState& port = g.pads.port[p];
        for (int a = 0; a < 4; ++a) port.axes[a] = in.port[p].axis[a];
        port.buttons = in.port[p].buttons;
        port.read = false;
    }
    if (in.flushed) {
        PortState& port = g.pads.port[0];
        for (int b = 0; b < PAD_BUTTONS; ++b) {
            int n = port.pending[b] + in.flush_presses[b];
            port.pending[b] = uint8_t(n > 255 ? 255 : n);
        }
        port.seen = in.flush_buttons;
    }
    g.esc_hits += in.esc;
    g.space_hits += in.space;
    g.click_hits += in.clicks;
    g.pointer_x = in.mouse_x;
    g.pointer_y = in.mouse_y;
    // Other pilots fly now: the pads are counted as "Detect Game Pads" counts them.
    if (in.recount) g.pads_found = in.pad_count;
}

// Escape, Space (or pad 0's button 1) and the close request, after every frame of the
// loop.
void check_keys(Frame& f) {
    Game& g = f.g;
    if (take(g.esc_hits)) {
        switch (g.game_state) {
            case GameState::title:
                g.quit_game = 1;
                break;
            case GameState::pause:
                g.game_state = GameState::title;
                f.move_pointer(POINTER_HOME_X, POINTER_HOME_Y);
                f.flush_keys_and_mouse();
                break;
            case GameState::play:
                f.enter_pause();
                break;
            default:
                break;
        }
    }
    // QUIRK(escape-and-resume-in-one-frame): this sees the state the Escape test left.
    if (take(g.space_hits) || g.pads.port[0].take(1)) {
        if (g.game_state == GameState::play) {
            f.enter_pause();
        } else if (g.game_state == GameState::pause) {
            g.game_state = GameState::play;
            // QUIRK(tracks-restart): the play track starts again from its beginning.
            f.music(2);
            f.flush_keys_and_mouse();
        }
    }
    if (f.in.quit) g.quit_game = 1;
}

// One pass of the frame loop: the background, the state's frame, the HUD.
void loop_frame(Frame& f) {
    Game& g = f.g;
    if (SceneOp* op = f.show_op(SceneOp::Kind::back)) op->i[0] = g.game_state == GameState::pause;
    switch (g.game_state) {
        case GameState::play: play_frame(f); break;
        case GameState::pause:
        case GameState::title: menu_frame(f); break;
        case GameState::over: over_frame(f); break;
        default: break;
    }
    // The opening's last picture is presented at once, before the loop's HUD.
    if (f.out.present_sync == 1) {
        g.after = AfterPresent::round_start;
        return;
    }
    f.show_hud();
    g.after = AfterPresent::check_keys;
}

}  // namespace

void FrameResult::clear() {
    events.clear();
    scene.clear();
    ended = false;
    present_sync = -1;
}

void step(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    out.clear();
    out.events.sfx_volume = g.sound_vol;
    Frame f{w, g, in, out};
    switch (g.after) {
        case AfterPresent::round_start:
            // Nothing is read between the opening's last picture and the round's first.
            start_round(f);
            f.show_hud();
            g.after = AfterPresent::check_keys;
            return;
        case AfterPresent::intro_checks:
            take_in(g, in);
            if (intro_over(f)) finish_start_up(f);
            break;
        case AfterPresent::check_keys:
            take_in(g, in);
            check_keys(f);
            // The loop ends after the keys of its last frame, with no new picture.
            if (g.quit_game) {
                out.ended = true;
                return;
            }
            break;
        case AfterPresent::nothing:
            take_in(g, in);
            break;
    }
    if (g.game_state == GameState::intro) {
        intro_frame(f);
        return;
    }
    loop_frame(f);
}

// ---- operations every screen uses ----

void Frame::move_pointer(int x, int y) {
    g.pointer_x = x;
    g.pointer_y = y;
    out.events.list.push_back({FrameEvent::Kind::warp_pointer, Sfx::start, 0, x, y, 0});
}

void Frame::flush_keys_and_mouse() {
    g.esc_hits = g.space_hits = g.click_hits = 0;
    event(FrameEvent::Kind::flush_devices);
}

void Frame::flush_inputs() {
    // QUIRK(flush-waits): the program waits as long as one of these buttons is held.
    PortState& pad = g.pads.port[0];
    // The wait goes on while presses of these are pending, so it is told of them.
    out.events.list.push_back(
        {FrameEvent::Kind::flush_wait, Sfx::start, pad.pending[0], pad.pending[1], g.click_hits, 0});
    g.esc_hits = g.space_hits = g.click_hits = 0;
    pad.pending[0] = 0;
    pad.pending[1] = 0;
}

void Frame::arena() {
    if (out.draw) out.scene.arena(w);
    level_tag::collide(w, out.events, g.play_phase == PlayPhase::running);
}

void Frame::grab_arena(float scale) {
    show(SceneOp::Kind::cls);
    g.trans_scale = scale;
    g.trans_spin = 0;
    // QUIRK(collision-when-the-picture-is-made): this is the arena's whole frame, so the
    // collision test runs here too, with whatever cells and phase the game has now.
    arena();
    show(SceneOp::Kind::grab_transition);
}

void Frame::reset(int new_game) {
    player_tag::reset(w, new_game);
    if (new_game) g.round_no = 1;
    if (g.game_state != GameState::play) return;
    grab_arena(OPENING_START);
    g.play_phase = PlayPhase::opening;
    if (SceneOp* op = show_op(SceneOp::Kind::back)) op->i[0] = 0;
    show_hud();
}

void Frame::show_hud() {
    SceneOp* op = show_op(SceneOp::Kind::hud);
    if (!op) return;
    for (int i = 0; i < 2; ++i) {
        op->hud.score[i] = w.player[i].score;
        op->hud.battery[i] = w.player[i].battery;
    }
    op->hud.round_no = g.round_no;
    op->hud.title = g.game_state == GameState::title;
}

void Frame::announce(Sfx blue_ahead, Sfx red_ahead) {
    if (w.player[0].score > w.player[1].score) sfx(blue_ahead);
    else if (w.player[1].score > w.player[0].score) sfx(red_ahead);
    else sfx(Sfx::tied);
}

void Frame::enter_pause() {
    g.game_state = GameState::pause;
    show(SceneOp::Kind::grab_pause);
    move_pointer(POINTER_HOME_X, POINTER_HOME_Y);
    music(1);
    flush_keys_and_mouse();
}

std::string score_text(const char* name, int value) {
    return std::string(name) + (value < 10 ? ": 0" : ": ") + std::to_string(value);
}
