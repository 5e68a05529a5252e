#pragma once
// Inside a step: the state, the input and the result of the frame being run, and the
// game's own operations that every screen uses. Only the step's modules include this.
#include <string>

#include "sim/step.h"

struct Frame {
    World& w;
    Game& g;
    const FrameInput& in;
    FrameResult& out;

    void sfx(Sfx s) { out.events.play(s); }
    void event(FrameEvent::Kind k, int value = 0) { out.events.add(k, value); }
    // Replaces the music with a track, from its beginning, at the music volume.
    void music(int track) { out.events.list.push_back({FrameEvent::Kind::music, Sfx::start, track, 0, 0, g.music_vol}); }
    void show(SceneOp::Kind k) {
        if (out.draw) out.scene.add(k);
    }
    SceneOp* show_op(SceneOp::Kind k) {
        if (!out.draw) return nullptr;
        out.scene.add(k);
        return &out.scene.ops.back();
    }

    // The pointer to a place of the picture, and the system pointer with it.
    void move_pointer(int x, int y);
    // Throws away the key and mouse presses, here and in the devices.
    void flush_keys_and_mouse();
    // The input flush: the presses of the mouse and of pad 0's buttons 0 and 1 go, and
    // the program waits until those buttons are up.
    void flush_inputs();
    // The arena as the frame shows it, then the helicopters' collision.
    void arena();
    // Draws the arena once and keeps it as the round-transition picture.
    void grab_arena(float scale);
    // A new round (and with new_game a new game); in play, the round opening.
    void reset(int new_game);
    void show_hud();
    void announce(Sfx blue_ahead, Sfx red_ahead);
    void enter_pause();
};

// The screens' frames.
void play_frame(Frame& f);
void over_frame(Frame& f);
void menu_frame(Frame& f);
void intro_frame(Frame& f);
// The checks after an intro frame; true if the intro is over.
bool intro_over(Frame& f);
// The rest of start-up after the intro: a new game in the background, the title.
void finish_start_up(Frame& f);
// After the opening's last picture: the round starts.
void start_round(Frame& f);
