#include "session/runner.h"

#include <cstdio>
#include <string>
#include <utility>

#include "present/owdraw.h"
#include "present/scene_draw.h"
#include "session/advance.h"
#include "platform/input.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "platform/clock.h"
#include "platform/pacer.h"
#include "platform/events.h"
#include "platform/engine.h"
#include "session/program_end.h"

namespace {

constexpr int kFlushWaitPollMs = 1;

// A wait a headless run's script can never end stops the run with status 3.
void end_if_hopeless() {
    std::string why = HopelessWait();
    if (why.empty()) return;
    std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
    EndWithCode(3);
}

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
        PumpEvents();
        SamplePads();
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
        end_if_hopeless();
    }
    // The presses of the other buttons stay pending, as in the pad.
    p.flushed = true;
    p.flush_buttons = seen;
    for (int b = 0; b < PAD_BUTTONS; ++b) {
        int sum = p.flush_presses[b] + other[b];
        p.flush_presses[b] = uint8_t(sum > 255 ? 255 : sum);
    }
}

// Nothing is drawn and nothing advances while the window is inactive; the music waits.
void freeze(Program& p) {
    bool paused_here = false;
    if (p.sound.music_playing()) {
        PauseChannel(p.sound.music_chn);
        paused_here = true;
    }
    while (AppSuspended() && !AppQuitPending()) {
        Delay(1);
        end_if_hopeless();
        PumpEvents();
    }
    if (paused_here) ResumeChannel(p.sound.music_chn);
}

void report_sound_problems_once(Program& p) {
    if (p.sounds_reported) return;
    p.sounds_reported = true;
    p.sound.take_tracks();
    report_sound_problems();
}

}  // namespace

void start_program(Program& p, int seed) {
    register_assets();
    AppTitle("RC Whirlbat");
    int pads = JoyCount();
    if (!Graphics(640, 480, 32, 60)) {
        std::fprintf(stderr,
                     "rc-whirlbat: no display could be opened (%s); run it on a desktop, or with "
                     "--headless to play without a screen\n",
                     GraphicsError().c_str());
        EndWithCode(1);
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
    AddEndHook([&p] { report_sound_problems_once(p); });
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

FrameInput read_input(Program& prog) {
    PumpEvents();
    SamplePads();
    FrameInput in;
    // Each helicopter's port as its pilot gives it.
    for (int side = 0; side < PAD_PORTS; ++side) {
        PortInput& port = in.port[side];
        switch (prog.pilots.choice[side].kind) {
            case PilotKind::pad: {
                int pad = prog.pilots.pad_port(side);
                port.axis[AXIS_X] = JoyX(pad);
                port.axis[AXIS_Y] = JoyY(pad);
                port.axis[AXIS_Z] = JoyZ(pad);
                port.axis[AXIS_R] = JoyR(pad);
                port.buttons = remap_pad_buttons(JoyButtons(pad), prog.settings.pad_fire, prog.settings.pad_pause,
                                                 prog.game.game_state == GameState::play);
                break;
            }
            case PilotKind::keys: port = keyboard_port(prog.keys[side]); break;
            case PilotKind::computer:
                if (prog.computer[side]) port = prog.computer[side]->next(prog.world, prog.game);
                break;
        }
    }
    if (prog.flushed) {
        in.flushed = true;
        in.flush_buttons = prog.flush_buttons;
        for (int b = 0; b < PAD_BUTTONS; ++b) in.flush_presses[b] = prog.flush_presses[b];
        prog.flushed = false;
        for (uint8_t& n : prog.flush_presses) n = 0;
    }
    in.mouse_x = MouseX();
    in.mouse_y = MouseY();
    auto count = [](int n) { return uint8_t(n > 255 ? 255 : n); };
    in.clicks = count(MouseHit(1));
    in.esc = count(KeyHit(27));
    in.space = count(KeyHit(32));
    in.quit = AppTerminate() != 0;
    in.pad_count = prog.pilots.pads_for_rules(JoyAttached());
    return in;
}

static void draw_frame(Program& p);

bool run_frame(Program& p) {
    // Wait first and read after: the input is as fresh as it can be when the picture it
    // makes is presented.
    WaitForFrame();
    FrameInput in;
    if (reads_input(p.game)) {
        auto read = [&p] { return p.input ? p.input->read(p) : read_input(p); };
        in = read();
        // A game about to end does not wait for the window either.
        if (p.game.after != AfterPresent::nothing && !p.game.quit_game && AppSuspended()) {
            freeze(p);
            in.merge_later(read());
        }
        // Keys of the player at the devices that are not the game's (the pilot panel).
        if (!p.input) {
            bool changed = false;
            for (auto& hook : p.hooks) changed = hook->take_devices(p, in) || changed;
            if (changed) {
                p.pilots_changed = true;
                in.pad_count = p.pilots.pads_for_rules(JoyAttached());
            }
        }
        in.recount = std::exchange(p.pilots_changed, false);
    }
    advance(p.world, p.game, in, p.result);
    for (auto& hook : p.hooks) hook->stepped(p, in);
    carry_out(p, p.result.events);
    // Once the title shows, the music has been decoded behind the logo: every sound file
    // the game could not use is known and named.
    if (p.game.game_state != GameState::intro) report_sound_problems_once(p);
    p.settings.sound_lvl = p.game.sound_lvl;
    p.settings.music_lvl = p.game.music_lvl;
    if (p.result.ended) return false;
    p.media.pilots_without_pads = p.pilots.without_pads();
    draw_frame(p);
    Flip(p.result.present_sync);
    p.drawn.picture = PictureVersion();
    for (auto& hook : p.hooks) hook->presented(p);
    return true;
}

// A screen at rest (the title waiting for a click, a pause) is not drawn again: when the
// frame's scene, its hooks' keys and the drawing state are those of the frame last drawn,
// that frame began and ended in the same drawing state, and the picture is still the one
// it left, drawing again would give the very same pixels. The window then keeps its
// picture and the frame costs little more than reading the devices.
static void draw_frame(Program& p) {
    Program::Drawn& d = p.drawn;
    std::string hooks;
    bool known = true;
    for (auto& hook : p.hooks) known = hook->draw_key(p, hooks) && known;
    DrawMark before = CurrentDrawMark();
    if (known && d.repeatable && d.picture != 0 && d.picture == PictureVersion() && d.scene == p.result.scene &&
        d.hooks == hooks && d.pilots_without_pads == p.media.pilots_without_pads && d.mark == before &&
        d.stereo == p.media.draw3d)
        return;
    owdraw_tag stereo = p.media.draw3d;
    draw_scene(p.result.scene, p.media);
    for (auto& hook : p.hooks) hook->draw_over(p);
    d.repeatable = known && CurrentDrawMark() == before && p.media.draw3d == stereo;
    if (!d.repeatable) return;
    d.scene = p.result.scene;
    d.hooks = std::move(hooks);
    d.pilots_without_pads = p.media.pilots_without_pads;
    d.mark = std::move(before);
    d.stereo = stereo;
}

void carry_out(Program& p, const FrameEvents& events) {
    using K = FrameEvent::Kind;
    for (const FrameEvent& e : events.list) {
        switch (e.kind) {
            case K::sfx: p.sound.play_sfx(e.sfx, e.volume); break;
            case K::music: p.sound.play_music(e.value, e.volume); break;
            case K::music_stop: p.sound.stop_music(); break;
            case K::music_volume: p.sound.set_music_volume(e.volume); break;
            case K::wait: Delay(e.value); break;
            case K::flush_wait: flush_wait(p, e); break;
            case K::flush_devices:
                FlushKeys();
                FlushMouse();
                break;
            case K::warp_pointer: MoveMouse(e.x, e.y); break;
            case K::recount_pads: JoyCount(); break;
        }
    }
}

void shut_down(Program& p) {
    if (p.sound.music_playing()) {
        p.sound.stop_music();
        Delay(500);
    }
    End();
}

void run_game(Program& p, int seed) {
    start_program(p, seed);
    while (run_frame(p)) {
    }
    shut_down(p);
}
