#include "sim/game_state.h"


#include "sim/frame_input.h"
#include "sim/state_fields.h"

Game new_game_state(int pads_found, bool stereo_intro) {
    Game g;
    g.pads_found = pads_found;
    g.stereo_intro = stereo_intro;
    return g;
}

void write_canonical(std::vector<uint8_t>& out, const Game& g) {
    FieldWriter v{CanonicalWriter(out)};
    describe(v, const_cast<Game&>(g));
}

bool read_canonical(CanonicalReader& in, Game& g) {
    FieldReader v{in};
    describe(v, g);
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

float volume_for_level(int level) {
    if (level >= VOLUME_LEVELS) return 1.0f;
    float v = 0;
    for (int i = 0; i < level; ++i) v = float(double(v) + VOLUME_STEP);
    return v;
}
