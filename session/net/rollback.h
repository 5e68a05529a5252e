#pragma once
// Rollback: two machines run the same game from the same state, each with its own
// player's input at once and the other player's as last heard. When the other's input
// for a frame already run turns out different from the guess, the state of that frame
// is restored and the frames since are run again with what is now known, without
// drawing. This module knows nothing of networks: inputs come in by frame number.
//
// Frames are numbered from 1; frame 0 is the state the session starts from. A player's
// input read at the local frame n is the input of frame n + delay, so the first `delay`
// frames have none (rest for both). Beyond `window` frames past the last frame both
// inputs are known, the game waits instead of guessing further.
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/frame_input.h"
#include "sim/game_state.h"
#include "net/net_packets.h"
#include "sim/snapshot.h"
#include "session/advance.h"
#include "sim/world.h"

constexpr int ROLLBACK_WINDOW = 8;

// The shared frame's input: Blue's port from Blue's player, Red's from Red's, and the
// players' commands turned into what the rules read (a click on "Start Game", Space to
// pause and resume, Escape to leave the pause menu), as fits the screen the game is
// on. The pointer and the pads do not drive the shared menus: each machine's menu is
// its own, and only its commands travel.
FrameInput compose_input(const Game& g, const NetInput& blue, const NetInput& red);

class Rollback {
public:
    // Re-run frames report their events here, so that sounds can be put right.
    using RerunFn = std::function<void(long frame, const FrameEvents& events)>;
    // A frame whose both inputs are known, with the state after it.
    using ConfirmFn = std::function<void(long frame, const World& w, const Game& g, const NetInput inputs[2])>;

    Rollback(int local_side, int delay, int window = ROLLBACK_WINDOW, StepFn step_fn = ::advance);

    int local_side() const { return local_; }
    int delay() const { return delay_; }
    long frame() const { return frame_; }  // the last frame run
    long confirmed() const { return confirmed_; }
    // The last frame of a side's input known, with every frame before it.
    long known(int side) const { return known_[side]; }

    // The local player's input for the next frame that has none (frame() + delay + 1
    // at most). False if it would run too far ahead.
    bool add_local(const NetInput& in);
    // Whether the local input of the next frame to run is still needed.
    bool needs_local() const { return known_[local_] < frame_ + 1 + delay_; }
    // The other player's input for a frame. Inputs of frames already known, or too far
    // ahead to keep, are ignored (false).
    bool add_remote(long frame, const NetInput& in);
    // The local inputs from `first` on, as sent.
    std::vector<NetInput> local_inputs(long first) const;
    NetInput input(int side, long frame) const { return slot(side, frame).in; }

    // Runs again from the first frame whose guess was wrong, if any, without drawing
    // (the last re-run frame is drawn into `shown`), and reports newly confirmed
    // frames. Returns the number of frames run again.
    int settle(World& w, Game& g, FrameResult& shown, const RerunFn& rerun, const ConfirmFn& confirm);
    // Whether the next frame may run: its local input is known and it stays within
    // the window past the last confirmed frame.
    bool can_advance() const;
    // Runs the next frame with the other side's input guessed, drawing into `out`.
    void advance(World& w, Game& g, FrameResult& out);

    // Statistics.
    long rollbacks = 0, rerun_frames = 0;
    int max_rollback = 0;

private:
    struct Slot {
        long frame = -1;
        NetInput in;
        bool known = false;
    };
    static constexpr int kRing = 256;  // frames of input kept per side

    Slot& slot(int side, long frame) { return inputs_[side][size_t(frame % kRing)]; }
    const Slot& slot(int side, long frame) const { return inputs_[side][size_t(frame % kRing)]; }
    NetInput guess(int side, long frame) const;
    void run(World& w, Game& g, long frame, FrameResult& out);
    void check_guesses(long from, long to);

    int local_, remote_, delay_, window_;
    StepFn step_;
    long frame_ = 0, confirmed_ = 0;
    long known_[2] = {0, 0};
    long first_wrong_ = 0;  // 0: every guess run so far still stands
    long rerun_through_ = 0;  // during a re-run, the frame just run again
    std::vector<Slot> inputs_[2];
    std::vector<NetInput> used_;        // the other side's input each frame was run with
    std::vector<Snapshot> snapshots_;  // the state before each frame of the window
};
