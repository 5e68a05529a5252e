#include "app/game_state.h"

#include <initializer_list>
#include <string>

#include "app/frame_input.h"
#include "world/canonical.h"

Game new_game_state(int pads_found, bool stereo_intro) {
    Game g;
    g.pads_found = pads_found;
    g.stereo_intro = stereo_intro;
    return g;
}

void write_canonical(std::vector<uint8_t>& out, const Game& g) {
    put_i32(out, int(g.game_state));
    put_i32(out, int(g.play_phase));
    put_i32(out, g.quit_game);
    put_i32(out, g.round_no);
    put_f32(out, g.trans_scale);
    put_f32(out, g.trans_spin);
    put_i32(out, g.over_tmr);
    put_i32(out, g.pads_found);
    put_f32(out, g.music_vol);
    put_f32(out, g.sound_vol);
    put_i32(out, g.music_lvl);
    put_i32(out, g.sound_lvl);
    put_f32(out, g.logo_alpha);
    put_f32(out, g.logo_grow);
    put_u8(out, g.stereo_intro);
    put_f32(out, g.logo_eye);
    put_u8(out, uint8_t(g.after));
    for (const PortState& port : g.pads.port) {
        for (float a : port.axes) put_f32(out, a);
        put_u32(out, port.buttons);
        put_u32(out, port.seen);
        put_u8(out, port.read);
        for (uint8_t n : port.pending) put_u8(out, n);
    }
    put_i32(out, g.esc_hits);
    put_i32(out, g.space_hits);
    put_i32(out, g.click_hits);
    put_i32(out, g.pointer_x);
    put_i32(out, g.pointer_y);
}

namespace {

// Far beyond anything a screen or a game gives, well inside what an int can count on to.
constexpr int kHuge = 1000000000;

bool read_enum(CanonicalReader& in, int& v, std::initializer_list<int> allowed, const char* what) {
    if (!in.int_in(v, -kHuge, kHuge, what)) return false;
    for (int a : allowed) {
        if (v == a) return true;
    }
    return in.fail(std::string(what) + " is " + std::to_string(v) + ", which the game does not have");
}

}  // namespace

bool read_canonical(CanonicalReader& in, Game& g) {
    int state = 0, phase = 0;
    uint8_t after = 0;
    read_enum(in, state, {0, 2, 3, 4, 5}, "the screen");
    read_enum(in, phase, {0, 1, 2}, "the round's phase");
    g.game_state = GameState(state);
    g.play_phase = PlayPhase(phase);
    in.int_in(g.quit_game, 0, 1, "the quit flag");
    in.int_in(g.round_no, 0, kHuge, "the round number");
    in.float_in(g.trans_scale, -kHuge, kHuge, "the transition's zoom");
    in.float_in(g.trans_spin, -kHuge, kHuge, "the transition's turn");
    in.int_in(g.over_tmr, 0, OVER_FRAMES, "the game-over countdown");
    in.int_in(g.pads_found, 0, 255, "the pad count");
    in.float_in(g.music_vol, 0, 2, "the music volume");
    in.float_in(g.sound_vol, 0, 2, "the sound volume");
    in.int_in(g.music_lvl, 0, VOLUME_LEVELS, "the music level");
    in.int_in(g.sound_lvl, 0, VOLUME_LEVELS, "the sound level");
    in.float_in(g.logo_alpha, -1, 1, "the logo's fade");
    in.float_in(g.logo_grow, 0, 2, "the logo's zoom");
    uint8_t stereo = 0;
    if (in.u8(stereo) && stereo > 1) return in.fail("the logo's 3D flag is neither 0 nor 1");
    g.stereo_intro = stereo;
    in.float_in(g.logo_eye, -100, 100, "the logo's eye distance");
    if (in.u8(after) && after > uint8_t(AfterPresent::round_start)) return in.fail("the frame's follow-up is unknown");
    g.after = AfterPresent(after);
    for (PortState& port : g.pads.port) {
        for (float& a : port.axes) in.float_in(a, -1, 1, "a pad axis");
        in.u32(port.buttons);
        in.u32(port.seen);
        uint8_t read = 0;
        if (in.u8(read) && read > 1) return in.fail("a pad's read flag is neither 0 nor 1");
        port.read = read;
        for (uint8_t& n : port.pending) in.u8(n);
    }
    in.int_in(g.esc_hits, 0, kHuge, "the Escape presses");
    in.int_in(g.space_hits, 0, kHuge, "the Space presses");
    in.int_in(g.click_hits, 0, kHuge, "the clicks");
    in.int_in(g.pointer_x, -kHuge, kHuge, "the pointer's x");
    in.int_in(g.pointer_y, -kHuge, kHuge, "the pointer's y");
    return in.ok();
}

void FrameInput::merge_later(const FrameInput& later) {
    for (int p = 0; p < PAD_PORTS; ++p) port[p] = later.port[p];
    mouse_x = later.mouse_x;
    mouse_y = later.mouse_y;
    auto sum = [](uint8_t a, uint8_t b) { return uint8_t(a + b > 255 ? 255 : a + b); };
    clicks = sum(clicks, later.clicks);
    esc = sum(esc, later.esc);
    space = sum(space, later.space);
    quit = quit || later.quit;
    pad_count = later.pad_count;
    recount = recount || later.recount;
}
