#pragma once
// The frame runner: the program that owns the game's state and runs it. It reads a
// frame's input (from the devices unless another source plays the game), steps the
// rules, lets its hooks see the result, carries out what the step asks for (sounds,
// music, waits, the pointer), draws the frame's picture and presents it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame_input.h"
#include "sim/game_state.h"
#include "pilots/computer_pilot.h"
#include "platform/draw.h"
#include "present/media.h"
#include "present/owdraw.h"
#include "session/pilots.h"
#include "session/player_settings.h"
#include "present/sound.h"
#include "sim/step.h"
#include "sim/world.h"

struct Program;

// Where a frame's input comes from when not from the player's devices (a test's pilots,
// a recording).
class InputSource {
public:
    virtual ~InputSource() = default;
    virtual FrameInput read(Program& p) = 0;
};

// Something that plugs into the frame loop: the pilot panel, the recorder, the sync test,
// the title's replay key, online notices, the settings keeper. Each call does nothing
// unless the hook says otherwise; hooks are called in the order they were added.
class FrameHook {
public:
    virtual ~FrameHook() = default;
    // The devices were just read into `in`, before the rules see it: the player's own
    // keys that are not the game's. True if the pilots changed.
    virtual bool take_devices(Program&, FrameInput&) { return false; }
    // The rules ran the frame with `in`; its events are not carried out yet.
    virtual void stepped(Program&, const FrameInput&) {}
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

struct Program {
    World world;
    Game game;
    Media media;
    SoundPlayer sound;
    FrameResult result;
    // Where a frame's input comes from: the devices, unless a source is set.
    std::shared_ptr<InputSource> input;
    std::vector<std::shared_ptr<FrameHook>> hooks;
    // What the last input flush found of pad 0, for the next frame's input.
    bool flushed = false;
    uint32_t flush_buttons = 0;
    uint8_t flush_presses[PAD_BUTTONS] = {};
    bool sounds_reported = false;

    // Who flies each helicopter, the keyboard halves, and the computer pilots at work.
    Pilots pilots;
    KeyLayout keys[2] = {default_layout(0), default_layout(1)};
    std::unique_ptr<ComputerPilot> computer[2];
    int seed = 0;
    bool pilots_changed = false;  // since the last frame's input
    // The player's choices (volumes, pilots, keys, 3D mode) the game starts from and
    // keeps up to date as they change.
    Settings settings;
    // Pilots and 3D mode set for this run only (the command line), over the settings.
    std::optional<PilotChoice> run_pilot[2];
    std::optional<int> run_stereo;

    // The frame last drawn, when drawing it again would give the very same picture: its
    // scene, its hooks' keys and the drawing state it began and ended with.
    struct Drawn {
        bool repeatable = false;
        Scene scene;
        std::string hooks;
        int pilots_without_pads = 0;
        DrawMark mark;
        owdraw_tag stereo;
        uint64_t picture = 0;  // the picture's version once it was presented
    } drawn;
};

// Start-up: the window, the media and sounds, the world seeded, the intro ready. A
// missing display is one line on stderr and exit status 1. The settings (p.settings,
// already read) give the volumes, the pilots and the 3D mode.
void start_program(Program& p, int seed);
// Puts the chosen pilots in their seats: the computer pilots made anew.
void seat_pilots(Program& p);
// The devices as a frame's input: one event pump, one reading of each pad.
FrameInput read_input(Program& p);
// One frame: input, step, events, picture, present. False once the loop has ended.
bool run_frame(Program& p);
// Carries out a frame's events in order.
void carry_out(Program& p, const FrameEvents& events);
// Stops the music (with a half-second wait if it was playing) and ends the program.
[[noreturn]] void shut_down(Program& p);
// Start-up, the frame loop and shut-down.
[[noreturn]] void run_game(Program& p, int seed);
