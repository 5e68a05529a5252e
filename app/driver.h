#pragma once
// The frame driver: the program that owns the game's state and runs it. It reads the
// devices into a frame's input, steps the game, carries out what the step asks for
// (sounds, music, waits, the pointer), draws the frame's picture and presents it.
#include <functional>

#include "app/frame_input.h"
#include "app/game_state.h"
#include "app/media.h"
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
    // What the last input flush found of pad 0, for the next frame's input.
    bool flushed = false;
    uint32_t flush_buttons = 0;
    uint8_t flush_presses[PAD_BUTTONS] = {};
    bool sounds_reported = false;
};

// Start-up: the window, the media and sounds, the world seeded, the intro ready. A
// missing display is one line on stderr and exit status 1.
void start_program(Program& p, int seed);
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
