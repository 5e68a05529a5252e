#pragma once
// Playing a replay back without a picture: its frames one by one from its starting
// state, each state hash it holds compared on the way (ReplayPlayer), and the check of a
// whole replay that the viewer, the recovery of partial games and --verify rest on.
#include <cstdint>
#include <string>

#include "session/advance.h"
#include "session/replay.h"

struct ReplayCheck {
    long frames_run = 0;  // frames stepped
    // Frames that can be trusted: up to the last state hash that matched, or all of them
    // once the final hash has.
    long trusted = 0;
    bool ok = false;          // whole, and every hash matched
    std::string problem;      // what is wrong, in one line ("" when ok)
    uint64_t final_hash = 0;  // after the last frame run
};

// A replay's frames, played into a state the caller keeps (the program's game, or one of
// its own), with every state hash checked as its frame comes.
class ReplayPlayer {
public:
    explicit ReplayPlayer(const Replay& r) : replay_(r), cursor_(r) {}

    // Steps the next frame into (w, g) with `step`; false when there is none, or when the
    // frames went another way than the recording (problem() says how).
    bool next(World& w, Game& g, FrameResult& out, StepFn step = advance);
    // After the last frame: the end's own checks (the file is whole, the final hash
    // matches). The result, once it is known.
    const ReplayCheck& finish(const World& w, const Game& g);
    const ReplayCheck& check() const { return check_; }
    bool failed() const { return !check_.problem.empty(); }
    long frame() const { return check_.frames_run; }
    // The input of the frame last stepped.
    const FrameInput& input() const { return in_; }

private:
    const Replay& replay_;
    ReplayCursor cursor_;
    FrameInput in_;
    ReplayCheck check_;
};

// Runs a replay from its starting state without drawing and compares every state hash
// it holds (the step can be another, to show what a changed rule does).
ReplayCheck check_replay(const Replay& replay, StepFn step_fn = advance);

// A frame count as play time: "1:23.45".
std::string replay_time(long frames);
// The one line --verify prints for a replay that checked out.
std::string replay_good_line(const std::string& path, const Replay& r);
