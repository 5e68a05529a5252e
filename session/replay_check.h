#pragma once
// Playing a replay back without a picture: checking it against its state hashes, and
// the headless run that goes as fast as the machine allows (with the trace the original
// run would have written).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "session/replay.h"
#include "session/advance.h"

struct Program;

struct ReplayCheck {
    long frames_run = 0;  // frames stepped
    // Frames that can be trusted: up to the last state hash that matched, or all of them
    // once the final hash has.
    long trusted = 0;
    bool ok = false;          // whole, and every hash matched
    std::string problem;      // what is wrong, in one line ("" when ok)
    uint64_t final_hash = 0;  // after the last frame run
};


// Runs a replay from its starting state without drawing and compares every state hash
// it holds (the step can be another, to show what a changed rule does).
ReplayCheck check_replay(const Replay& replay, StepFn step_fn = advance);

// A frame count as play time: "1:23.45".
std::string replay_time(long frames);

// --verify FILE: checks a replay and says so in one line. The exit status: 0 if the
// replay is whole and every hash matched, 1 otherwise.
int verify_replay_file(const std::string& path);

// The events of a replayed frame that the replay carries out: sounds and music, and the
// waits unless told not to. The rest belongs to the devices of the run that recorded it.
void carry_out_replayed(Program& p, const FrameEvents& events, bool sounds, bool waits);

struct HeadlessReplay {
    std::string trace;                                // a trace as the recording run wrote it
    std::vector<std::pair<int, std::string>> shots;  // pictures by the recording run's frame numbers
    int frames = 0;                                   // stop after this many frames of the replay
};

// --replay FILE --headless: the program plays the replay without a window or a clock,
// drawing nothing unless pictures are asked for, and ends with status 0 if every state
// hash matched, 1 if not (one line says where). The trace's lines match the recording
// run's, frame numbers included; only "ms", the clock, differs.
[[noreturn]] void run_replay_headless(Program& p, const Replay& replay, const std::string& name, int seed,
                                      const HeadlessReplay& options);
