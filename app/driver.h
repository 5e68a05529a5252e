#pragma once
// The frame driver: the program that owns the game's state and runs it. It reads the
// devices into a frame's input, steps the game, carries out what the step asks for
// (sounds, music, waits, the pointer), draws the frame's picture and presents it.
#include <functional>
#include <memory>
#include <optional>

#include "app/frame_input.h"
#include "app/game_state.h"
#include "app/computer_pilot.h"
#include "app/media.h"
#include "app/pilots.h"
#include "app/settings.h"
#include "app/sound.h"
#include "app/step.h"
#include "world/world.h"

struct Program {
    World world;
    Game game;
    Media media;
    SoundPlayer sound;
    FrameResult result;
    // Where a frame's input comes from: the devices (read_input), unless something else
    // plays the game (a recording, a test).
    std::function<FrameInput(Program&)> input;
    // Called after every step with the frame's input, before its events are carried out
    // (the sync test and recordings listen here).
    std::function<void(const FrameInput&)> on_step;
    // Called by the frame loop after every frame it presented (the title's replay key).
    std::function<void(Program&)> between_frames;
    // Drawn over every picture before it is presented, when set (online play's notices).
    std::function<void()> overlay;
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
    // The settings remembered between runs; no path: none are read or written.
    std::string settings_path;
    Settings settings;
    Settings saved;            // as the file last had them
    int stereo_banner = 0;     // frames the 3D mode's name stays on screen
    // Pilots and 3D mode set for this run only (the command line), over the settings.
    std::optional<PilotChoice> run_pilot[2];
    std::optional<int> run_stereo;
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
