// Rounds, scoring and the game-over screen: the round opening, the running round, the
// round closing, and the countdown back to the title.
#include "sim/frame.h"

namespace {

float add(float value, float step) { return float(double(value) + step); }

void opening_frame(Frame& f) {
    Game& g = f.g;
    g.trans_spin = add(g.trans_spin, OPENING_SPIN);
    g.trans_scale = add(g.trans_scale, OPENING_GROWTH);
    if (SceneOp* op = f.show_op(SceneOp::Kind::opening)) {
        op->f[0] = g.trans_spin;
        op->f[1] = g.trans_scale;
    }
    if (g.trans_scale < 1.0f) return;
    // QUIRK(the-opening-ends-with-an-extra-picture): the last transition picture is
    // presented at once; the next frame draws a fresh arena and lets the round run.
    if (SceneOp* op = f.show_op(SceneOp::Kind::round_start)) {
        for (int i = 0; i < 2; ++i) {
            op->hud.score[i] = f.w.player[i].score;
            op->hud.battery[i] = f.w.player[i].battery;
        }
        op->hud.round_no = g.round_no;
    }
    f.out.present_sync = 1;
}

void running_frame(Frame& f) {
    World& w = f.w;
    Game& g = f.g;
    FrameEvents& ev = f.out.events;
    Scene& scene = f.out.scene;
    player_tag::update_all(w, g.pads, g.pads_found, ev);
    f.arena();
    // Each effect is drawn before it moves.
    if (f.out.draw) scene.dusts = w.dust_list, f.show(SceneOp::Kind::dusts);
    dust_tag::update_all(w);
    if (f.out.draw) scene.explodes = w.explode_list, f.show(SceneOp::Kind::explodes);
    explode_tag::update_all(w);
    if (f.out.draw) scene.trails = w.trail_list, f.show(SceneOp::Kind::trails);
    trail_tag::update_all(w);
    if (f.out.draw) scene.rockets = w.rocket_list, f.show(SceneOp::Kind::rockets);
    rocket_tag::update_all(w, ev);

    if (w.player[0].pads == 0 || w.player[1].pads == 0) {
        f.event(FrameEvent::Kind::music_stop);
        f.event(FrameEvent::Kind::wait, ROUND_END_WAIT_MS);
        f.announce(Sfx::blulead, Sfx::redlead);
        f.event(FrameEvent::Kind::wait, ROUND_END_WAIT_MS);
        f.grab_arena(1.0f);
        g.play_phase = PlayPhase::closing;
        g.trans_spin = 1.0f;
    }
    // QUIRK(round-and-game-end-together): tested after the round, so both can end in one
    // frame; the game then goes straight to game over without the closing transition.
    if (w.player[0].battery == 0 || w.player[1].battery == 0) {
        f.event(FrameEvent::Kind::music_stop);
        f.flush_inputs();
        g.over_tmr = OVER_FRAMES;
        g.game_state = GameState::over;
    }
}

void closing_frame(Frame& f) {
    Game& g = f.g;
    if (SceneOp* op = f.show_op(SceneOp::Kind::closing)) {
        op->f[0] = g.trans_spin;
        op->f[1] = g.trans_scale;
    }
    g.trans_spin = add(g.trans_spin, -CLOSING_STEP);
    g.trans_scale = add(g.trans_scale, CLOSING_STEP);
    if (g.trans_spin > 0) return;
    g.round_no += 1;
    if (SceneOp* op = f.show_op(SceneOp::Kind::back)) op->i[0] = 0;
    f.reset(0);
    f.sfx(Sfx::newmap);
}

}  // namespace

void play_frame(Frame& f) {
    switch (f.g.play_phase) {
        case PlayPhase::opening: opening_frame(f); break;
        case PlayPhase::running: running_frame(f); break;
        case PlayPhase::closing: closing_frame(f); break;
    }
}

void start_round(Frame& f) {
    if (SceneOp* op = f.show_op(SceneOp::Kind::back)) op->i[0] = f.g.game_state == GameState::pause;
    f.arena();
    f.music(2);
    f.sfx(Sfx::start);
    f.g.play_phase = PlayPhase::running;
}

void over_frame(Frame& f) {
    Game& g = f.g;
    g.over_tmr -= 1;
    if (SceneOp* op = f.show_op(SceneOp::Kind::game_over)) op->i[0] = g.over_tmr < OVER_PROMPT_BELOW;
    // QUIRK(game-over-ignores-keys): only pad 0's button 0, after the first 200
    // frames, or the end of the countdown leaves.
    if (g.over_tmr < OVER_PROMPT_BELOW) {
        if (g.pads.port[0].take(0) || g.over_tmr <= 0) {
            g.game_state = GameState::title;
            f.sfx(Sfx::land);
            f.flush_inputs();
            f.music(1);
        }
    }
    if (g.over_tmr == OVER_ANNOUNCE_AT) f.announce(Sfx::bluwin, Sfx::redwin);
}
