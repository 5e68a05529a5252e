#include "session/local_play.h"

#include <utility>

#include "platform/events.h"
#include "platform/input.h"
#include "session/replay_record.h"

FrameInput LocalPlay::read(Program& p) {
    FrameInput in = read_input(p);
    // A game about to end does not wait for the window either.
    if (p.game.after != AfterPresent::nothing && !p.game.quit_game && AppSuspended()) {
        freeze(p);
        in.merge_later(read_input(p));
    }
    // Keys of the player at the devices that are not the game's (the pilot panel).
    bool changed = false;
    for (auto& hook : hooks_) changed = hook->take_devices(p, in) || changed;
    if (changed) {
        pilots_changed_ = true;
        in.pad_count = p.pilots.pads_for_rules(JoyAttached());
    }
    in.recount = std::exchange(pilots_changed_, false);
    return in;
}

ModeFrame LocalPlay::step(Program& p) {
    FrameInput in;
    if (reads_input(p.game)) in = read(p);
    if (p.ended()) return {};
    step_frame(p, in, EventsCarried{}, true);
    // Once the title shows, the music has been decoded behind the logo: every sound file
    // the game could not use is known and named.
    if (p.game.game_state != GameState::intro) report_sounds_once(p);
    p.settings.sound_lvl = p.game.sound_lvl;
    p.settings.music_lvl = p.game.music_lvl;
    ModeFrame f;
    if (p.result.ended) {
        shut_down(p);
        f.shown = false;
        return f;
    }
    for (auto& hook : hooks_) hook->shown(p, p.result.scene);
    f.scene = &p.result.scene;
    f.sync = p.result.present_sync;
    return f;
}

void LocalPlay::draw_over(Program& p) {
    for (auto& hook : hooks_) hook->draw_over(p);
}

bool LocalPlay::draw_key(const Program& p, std::string& key) const {
    bool known = true;
    for (const auto& hook : hooks_) known = hook->draw_key(p, key) && known;
    return known;
}

void LocalPlay::presented(Program& p) {
    for (auto& hook : hooks_) {
        hook->presented(p);
        if (p.ended()) return;
    }
}
