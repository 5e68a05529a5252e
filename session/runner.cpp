#include "session/runner.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/engine.h"
#include "platform/events.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/options.h"
#include "platform/pacer.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "present/owdraw.h"
#include "present/scene_draw.h"
#include "session/advance.h"
#include "session/mode.h"
#include "session/replay_record.h"

namespace {

constexpr int kFlushWaitPollMs = 1;

// The game runs without a sound it cannot use; one line names every such file and why.
void report_sound_problems() {
    std::string bad;
    for (const SoundProblem& p : TakeSoundProblems()) {
        std::string shown = p.url;
        if (shown.rfind("data\\", 0) == 0) shown[4] = '/';  // "data\\x.ogg" as this system writes it
        bad += (bad.empty() ? "" : ", ") + shown + " (" + p.why + ")";
    }
    if (!bad.empty()) {
        std::string looked;
        for (const std::string& folder : DataFolders()) looked += (looked.empty() ? "" : ", ") + folder;
        std::fprintf(stderr, "rc-whirlbat: bad or missing sound files (the game goes on without them): %s; looked in %s\n",
                     bad.c_str(), looked.c_str());
    }
}

// A wait a headless run's script can never end stops the run with status 3.
bool hopeless(Program& p) {
    std::string why = HopelessWait();
    if (why.empty()) return false;
    std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
    p.end(3);
    return true;
}

// The input flush: waits until the left mouse button and pad 0's buttons 0 and 1 are up
// and have no press pending, throwing away key and mouse presses on every pass. It reads
// pad 0 on every pass, as the rules would: presses of its other buttons are kept for
// the next frame.
void flush_wait(Program& p, const FrameEvent& e) {
    int hits0 = e.value, hits1 = e.x, clicks = e.y;
    uint32_t seen = p.game.pads.port[0].seen;
    uint8_t other[PAD_BUTTONS] = {};
    int n = 0;
    while (true) {
        if (n > 0) n -= 1;
        read_devices();
        uint32_t now = remap_pad_buttons(JoyButtons(0), p.settings.pad_fire, p.settings.pad_pause,
                                         p.game.game_state == GameState::play);
        uint32_t went_down = now & ~seen;
        seen = now;
        hits0 += went_down & 1;
        hits1 += went_down >> 1 & 1;
        for (int b = 2; b < PAD_BUTTONS; ++b) {
            if ((went_down >> b & 1) && other[b] < 255) ++other[b];
        }
        if (MouseDown(1) == 1) {
            n += 1;
        } else if (clicks + MouseHit(1)) {
            n += 1;
        }
        if ((now & 1) || (now & 2)) n += 1;
        if (hits0) {
            hits0 = 0;
            n += 1;
        } else if (hits1) {
            hits1 = 0;
            n += 1;
        }
        clicks = 0;
        FlushKeys();
        FlushMouse();
        // A close request ends the wait; the next frame takes it and the game ends.
        if (n == 0 || AppQuitPending()) break;
        Delay(kFlushWaitPollMs);
        if (hopeless(p)) break;
    }
    // The presses of the other buttons stay pending, as in the pad.
    p.flush.flushed = true;
    p.flush.buttons = seen;
    for (int b = 0; b < PAD_BUTTONS; ++b) {
        int sum = p.flush.presses[b] + other[b];
        p.flush.presses[b] = uint8_t(sum > 255 ? 255 : sum);
    }
}

// A screen at rest (the title waiting for a click, a pause) is not drawn again: when the
// frame's scene, its overlays' keys and the drawing state are those of the frame last
// drawn, that frame began and ended in the same drawing state, and the picture is still
// the one it left, drawing again would give the very same pixels. The window then keeps
// its picture and the frame costs little more than reading the devices. A mode that drew
// its picture itself (no scene) is at rest when nothing drew since the last present.
void draw_frame(Program& p, Mode& mode, const ModeFrame& f) {
    Program::Drawn& d = p.drawn;
    std::string hooks;
    bool known = mode.draw_key(p, hooks);
    DrawMark before = CurrentDrawMark();
    p.media.pilots_without_pads = mode.pilots_without_pads(p);
    bool same_scene = f.scene ? d.has_scene && d.scene == *f.scene : !d.has_scene;
    if (known && d.repeatable && d.picture != 0 && d.picture == PictureVersion() && same_scene && d.hooks == hooks &&
        d.pilots_without_pads == p.media.pilots_without_pads && d.mark == before && d.stereo == p.media.draw3d)
        return;
    owdraw_tag stereo = p.media.draw3d;
    if (f.scene) draw_scene(*f.scene, p.media);
    mode.draw_over(p);
    d.repeatable = known && CurrentDrawMark() == before && p.media.draw3d == stereo;
    if (!d.repeatable) return;
    d.has_scene = f.scene != nullptr;
    if (f.scene) d.scene = *f.scene;
    d.hooks = std::move(hooks);
    d.pilots_without_pads = p.media.pilots_without_pads;
    d.mark = std::move(before);
    d.stereo = stereo;
}

void presented(Program& p, const std::vector<std::shared_ptr<FrameHook>>& hooks) {
    for (auto& hook : hooks) {
        hook->presented(p);
        if (p.ended()) return;
    }
}

// One frame of the mode: wait, step, draw, present.
void frame_of(Program& p, Mode& mode) {
    Mode::Traits traits = mode.traits();
    if (traits.paced) WaitForFrame();
    ModeFrame f = mode.step(p);
    if (p.ended() || !f.shown || !traits.presents) return;
    draw_frame(p, mode, f);
    Flip(f.sync);
    p.drawn.picture = PictureVersion();
    presented(p, p.outputs);
    if (p.ended()) return;
    mode.presented(p);
    if (p.ended()) return;
    presented(p, p.hooks);
}

}  // namespace

bool start_program(Program& p, int seed) {
    register_assets();
    AppTitle("RC Whirlbat");
    int pads = JoyCount();
    if (!Graphics(640, 480, 32, 60)) {
        // A player's run started from the desktop has no terminal to read this on.
        FatalError("no display could be opened (" + GraphicsError() +
                       "); run it on a desktop, or with --headless to play without a screen",
                   !engine_options.headless);
        return false;
    }
    SetMaskColor(0, 0, 0);
    AutoImageFlags(MASKEDIMAGE | DYNAMICIMAGE);
    p.media.draw3d = owdraw_tag{};
    set_stereo_mode(p.media.draw3d, p.run_stereo ? *p.run_stereo : p.settings.stereo_mode);
    create_images(p.media);
    p.sound.open();
    HideMouse();
    p.seed = seed;
    p.world = new_world(seed);
    load_media(p.media);
    p.sound.load();
    // Bad sound files are named once the title shows (the music is decoded behind the
    // logo), or at the end if the run ends sooner.
    p.at_end([&p] { report_sounds_once(p); });
    p.pilots = Pilots::defaults(pads);
    for (int side = 0; side < 2; ++side) {
        if (p.settings.pilot[side]) p.pilots.choice[side] = *p.settings.pilot[side];
        if (p.run_pilot[side]) p.pilots.choice[side] = *p.run_pilot[side];
        p.keys[side] = p.settings.keys[side];
    }
    seat_pilots(p);
    p.game = new_game_state(p.pilots.pads_for_rules(pads), p.media.draw3d.ana_mode != 0);
    p.game.sound_lvl = p.settings.sound_lvl;
    p.game.sound_vol = volume_for_level(p.settings.sound_lvl);
    p.game.music_lvl = p.settings.music_lvl;
    p.game.music_vol = volume_for_level(p.settings.music_lvl);
    return true;
}

void seat_pilots(Program& p) {
    for (int side = 0; side < 2; ++side) {
        const PilotChoice& c = p.pilots.choice[side];
        p.computer[side].reset();
        // The computer's own choices come from a generator of its own, seeded from the
        // game's seed, never from the game's.
        if (c.kind == PilotKind::computer)
            p.computer[side] = std::make_unique<ComputerPilot>(side, c.skill, uint32_t(p.seed) * 2654435761u + uint32_t(side));
    }
}

void read_devices() {
    PumpEvents();
    SamplePads();
}

PortInput pilot_port(Program& p, int side) {
    PortInput port;
    switch (p.pilots.choice[side].kind) {
        case PilotKind::pad: {
            int pad = p.pilots.pad_port(side);
            port.axis[AXIS_X] = JoyX(pad);
            port.axis[AXIS_Y] = JoyY(pad);
            port.axis[AXIS_Z] = JoyZ(pad);
            port.axis[AXIS_R] = JoyR(pad);
            port.buttons = remap_pad_buttons(JoyButtons(pad), p.settings.pad_fire, p.settings.pad_pause,
                                             p.game.game_state == GameState::play);
            break;
        }
        case PilotKind::keys: port = keyboard_port(p.keys[side]); break;
        case PilotKind::computer:
            if (p.computer[side]) port = p.computer[side]->next(p.world, p.game);
            break;
    }
    return port;
}

FrameInput read_input(Program& p) {
    read_devices();
    FrameInput in;
    for (int side = 0; side < PAD_PORTS; ++side) in.port[side] = pilot_port(p, side);
    if (p.flush.flushed) {
        in.flushed = true;
        in.flush_buttons = p.flush.buttons;
        for (int b = 0; b < PAD_BUTTONS; ++b) in.flush_presses[b] = p.flush.presses[b];
        p.flush = FlushFound{};
    }
    in.mouse_x = MouseX();
    in.mouse_y = MouseY();
    auto count = [](int n) { return uint8_t(n > 255 ? 255 : n); };
    in.clicks = count(MouseHit(1));
    in.esc = count(KeyHit(KEY_ESCAPE));
    in.space = count(KeyHit(KEY_SPACE));
    in.quit = AppTerminate() != 0;
    in.pad_count = p.pilots.pads_for_rules(JoyAttached());
    return in;
}

void freeze(Program& p) {
    bool paused_here = false;
    if (p.sound.music_playing()) {
        PauseChannel(p.sound.music_chn);
        paused_here = true;
    }
    while (AppSuspended() && !AppQuitPending()) {
        Delay(1);
        if (hopeless(p)) break;
        PumpEvents();
    }
    if (paused_here) ResumeChannel(p.sound.music_chn);
}

void carry_out(Program& p, const FrameEvents& events, EventsCarried carried) {
    using K = FrameEvent::Kind;
    for (const FrameEvent& e : events.list) {
        switch (e.kind) {
            case K::sfx:
                if (carried.sounds) p.sound.play_sfx(e.sfx, e.volume);
                break;
            case K::music: p.sound.play_music(e.value, e.volume); break;
            case K::music_stop: p.sound.stop_music(); break;
            case K::music_volume: p.sound.set_music_volume(e.volume); break;
            case K::wait:
                if (carried.waits) Delay(e.value);
                break;
            case K::flush_wait:
                if (carried.devices) flush_wait(p, e);
                break;
            case K::flush_devices:
                if (!carried.devices) break;
                FlushKeys();
                FlushMouse();
                break;
            case K::warp_pointer:
                if (carried.devices) MoveMouse(e.x, e.y);
                break;
            case K::recount_pads:
                if (carried.devices) JoyCount();
                break;
        }
        if (p.ended()) return;
    }
}

void step_frame(Program& p, const FrameInput& in, EventsCarried carried, bool recorded) {
    advance(p.world, p.game, in, p.result);
    if (recorded && p.recorder) p.recorder->after_step(p.world, p.game, in, p.result.ended, uint32_t(FlipCount()));
    for (auto& listener : p.listeners) listener->heard(p, p.world, p.game, in);
    if (!p.ended()) carry_out(p, p.result.events, carried);
}

void report_sounds_once(Program& p) {
    if (p.sounds_reported) return;
    p.sounds_reported = true;
    p.sound.take_tracks();
    report_sound_problems();
}

void shut_down(Program& p) {
    if (p.sound.music_playing()) {
        p.sound.stop_music();
        Delay(500);
    }
    p.end(0);
}

bool run_frame(Program& p, std::unique_ptr<Mode>& mode) {
    if (!mode || p.ended()) return false;
    frame_of(p, *mode);
    if (p.ended()) return false;
    if (p.next_mode) {
        NextMode next = std::exchange(p.next_mode, nullptr);
        mode = next(std::move(mode));
        if (!mode) p.end(0);
    }
    return !p.ended();
}

int run_program(Program& p, std::unique_ptr<Mode> mode) {
    while (run_frame(p, mode)) {
    }
    p.exit_code = p.ending.value_or(0);
    auto hooks = std::move(p.end_hooks);
    p.end_hooks.clear();
    for (auto& hook : hooks) hook();
    return p.exit_code;
}
