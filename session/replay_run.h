#pragma once
// Playing a replay back headless, as fast as the machine allows: --replay FILE
// --headless (drawing nothing unless pictures are asked for, writing the trace the
// recording run wrote, frame numbers included; only "ms", the clock, differs) and
// --verify FILE (nothing drawn, heard or written but one line). Either ends the program
// with status 0 if every state hash matched and 1 if not, with one line saying where.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "session/mode.h"
#include "session/replay.h"

struct ReplayRunOptions {
    bool verify = false;                              // --verify: the good line, nothing else
    std::string trace;                                // a trace as the recording run wrote it
    std::vector<std::pair<int, std::string>> shots;  // pictures by the recording run's frame numbers
    int frames = 0;                                   // stop after this many frames of the replay
};

// The mode; the trace file is opened by replay_run_open before the program starts, so
// that a trace that cannot be written is a bad command line.
std::unique_ptr<Mode> replay_run(Program& p, const Replay& replay, const std::string& name,
                                 const ReplayRunOptions& options, std::string* why);
