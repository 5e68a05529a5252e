#include "app/game_state.h"

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
