#pragma once
// The frame runner: one loop for every way the program runs. A frame waits for its time
// first (so the input it reads is as fresh as it can be when its picture is presented),
// lets the current mode (session/mode.h) read its input where the mode takes it and step
// the game through advance, draws the frame's scene and the overlays over it (or keeps
// the window's picture when the frame would draw the very same one: a screen at rest),
// presents it, and hands over to the next mode when the mode names one. A mode never
// runs a loop of its own: local play, waiting for the other machine, an online match,
// watching a replay and playing one back headless are all frames of this loop.
//
// `Program` is what every mode shares: the pilots and the devices' keys, the settings,
// the sound and the media, the game as the screen shows it, and the runner's own hooks
// (the settings keeper, the harness's outputs) and listeners (the sync test, the
// recorder). A mode owns the rest.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "pilots/computer_pilot.h"
#include "platform/draw.h"
#include "present/media.h"
#include "present/owdraw.h"
#include "present/sound.h"
#include "session/pilots.h"
#include "session/player_settings.h"
#include "sim/frame_input.h"
#include "sim/game_state.h"
#include "sim/step.h"
#include "sim/world.h"

struct Program;
class Mode;
class Recorder;

// Something that plugs into a mode's frames (the pilot panel, the title's screens, a
// notice) or into every frame the program presents (the settings keeper, the
// harness's trace and pictures). Each call does nothing unless the hook says otherwise;
// hooks are called in the order they were added.
class FrameHook {
public:
    virtual ~FrameHook() = default;
    // The devices were just read into `in`, before the rules see it: the player's own
    // keys that are not the game's. True if the pilots changed.
    virtual bool take_devices(Program&, FrameInput&) { return false; }
    // The frame's scene as the rules left it, before it is drawn: a hook may change how
    // it is shown, never what the rules decided (the pilot panel shows no menu item lit
    // while the pointer is on a panel).
    virtual void shown(const Program&, Scene&) {}
    // Over the frame's picture, before it is presented.
    virtual void draw_over(Program&) {}
    // Adds to `key` everything the next draw_over draws from, so that a frame whose
    // scene and keys repeat those of the frame last drawn need not be drawn again
    // (a screen at rest). False if the hook cannot say. A hook that draws must say
    // what its drawing depends on; one that draws nothing has nothing to add.
    virtual bool draw_key(const Program&, std::string& /*key*/) const { return true; }
    // After a picture was presented, before the next frame.
    virtual void presented(Program&) {}
};

// Hears every frame of the game that a mode counts: each frame of local play, each frame
// an online match confirmed (never the guesses on the screen). The sync test listens.
class FrameListener {
public:
    virtual ~FrameListener() = default;
    virtual void heard(Program& p, const World& w, const Game& g, const FrameInput& in) = 0;
};

// A mode's hand-over: given the mode that ends (to keep, for coming back to it), the
// next one; nullptr ends the program.
using NextMode = std::function<std::unique_ptr<Mode>(std::unique_ptr<Mode> current)>;

// What the last input flush found of pad 0, for the next frame's input.
struct FlushFound {
    bool flushed = false;
    uint32_t buttons = 0;
    uint8_t presses[PAD_BUTTONS] = {};
};

struct Program {
    Media media;
    SoundPlayer sound;
    // The player's choices (volumes, pilots, keys, 3D mode) the game starts from and
    // keeps up to date as they change.
    Settings settings;
    // Who flies each helicopter, the keyboard halves, and the computer pilots at work.
    Pilots pilots;
    KeyLayout keys[2] = {default_layout(0), default_layout(1)};
    std::unique_ptr<ComputerPilot> computer[2];
    int seed = 0;
    // Pilots and 3D mode set for this run only (the command line), over the settings.
    std::optional<PilotChoice> run_pilot[2];
    std::optional<int> run_stereo;
    FlushFound flush;

    // The game as the screen shows it, as the current mode steps it.
    World world;
    Game game;
    FrameResult result;

    // After every presented frame, whatever the mode: the harness's outputs (the trace,
    // the pictures, the frame limit) before the mode's own hooks, the rest (the settings
    // keeper) after them.
    std::vector<std::shared_ptr<FrameHook>> outputs;
    std::vector<std::shared_ptr<FrameHook>> hooks;
    std::vector<std::shared_ptr<FrameListener>> listeners;
    std::shared_ptr<Recorder> recorder;  // the games played on this machine, or none
    bool sounds_reported = false;

    // Ends the current mode after this frame, for the one `next` gives (a function of the
    // mode that ends, which may hold what it moved out of it).
    template <typename Next>
    void hand_over(Next&& next) {
        auto held = std::make_shared<std::decay_t<Next>>(std::forward<Next>(next));
        next_mode = [held](std::unique_ptr<Mode> current) { return (*held)(std::move(current)); };
    }
    // Ends the program with this exit code at the end of the frame's current step (the
    // first call counts). The end hooks then run.
    void end(int code) {
        if (!ending) ending = code;
    }
    bool ended() const { return ending.has_value(); }
    // Runs when the program ends, before the devices close (traces committed, the
    // recording completed).
    void at_end(std::function<void()> hook) { end_hooks.push_back(std::move(hook)); }
    // From an end hook: the program ends with at least this exit code.
    void raise_exit_code(int code) {
        if (code > exit_code) exit_code = code;
    }

    // The runner's own.
    NextMode next_mode;
    std::optional<int> ending;
    int exit_code = 0;
    std::vector<std::function<void()>> end_hooks;
    // The frame last drawn, when drawing it again would give the very same picture: its
    // scene, its hooks' keys and the drawing state it began and ended with.
    struct Drawn {
        bool repeatable = false;
        bool has_scene = false;
        Scene scene;
        std::string hooks;
        int pilots_without_pads = 0;
        DrawMark mark;
        owdraw_tag stereo;
        uint64_t picture = 0;  // the picture's version once it was presented
    } drawn;
};

// Start-up: the window, the media and sounds, the world seeded, the intro ready. A
// missing display is one line on stderr and false. The settings (p.settings, already
// read) give the volumes, the pilots and the 3D mode.
bool start_program(Program& p, int seed);
// Puts the chosen pilots in their seats: the computer pilots made anew.
void seat_pilots(Program& p);
// Runs frames of the modes from `first` on until the program ends; then the end hooks.
// Returns the exit code.
int run_program(Program& p, std::unique_ptr<Mode> first);
// One frame of `mode`, which a hand-over replaces: true while the program goes on (the
// loop of run_program, for tests and benchmarks that drive the program frame by frame).
bool run_frame(Program& p, std::unique_ptr<Mode>& mode);

// For modes. The devices read once for the frame: one event pump, one reading of each
// pad. The pump is the runner's alone.
void read_devices();
// The local pilots' input for a frame of the rules: the devices read, each helicopter's
// port as its pilot gives it, the pointer, the keys the rules read, the last flush.
FrameInput read_input(Program& p);
// Each helicopter's port as its pilot gives it, from the devices as last read.
PortInput pilot_port(Program& p, int side);
// While the window is inactive: nothing drawn, nothing advances, the music waits.
void freeze(Program& p);
// Which of a frame's events a mode carries out: all of them (local play), or those a
// replay has (sounds, if asked; the music; the waits, if asked): the rest belongs to the
// devices of the run that recorded it.
struct EventsCarried {
    bool sounds = true, waits = true, devices = true;
};
void carry_out(Program& p, const FrameEvents& events, EventsCarried carried = {});
// Steps the program's game one frame through advance with `in`, lets the recorder (if
// the frame is one of this machine's games) and the listeners hear it, and carries out
// its events.
void step_frame(Program& p, const FrameInput& in, EventsCarried carried, bool recorded);
// Once the title shows: every sound file the game could not use is named, once.
void report_sounds_once(Program& p);
// Stops the music (with a half-second wait if it was playing) and ends the program.
void shut_down(Program& p);
