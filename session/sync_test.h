#pragma once
// The re-run check of the step: after every frame, restore the snapshot of N frames
// back, run those N frames again with the same inputs and compare state hashes. A step
// that reads anything outside the state, or is not repeatable, shows at once.
#include <cstdint>
#include <vector>

#include "sim/snapshot.h"
#include "session/advance.h"
#include "session/runner.h"

class SyncTest {
public:
    explicit SyncTest(int frames, StepFn step_fn = advance);

    // Call after every step with the state it left and the input it had. False once a
    // re-run gives another state; frame(), want() and got() then say where and how.
    bool check(const World& w, const Game& g, const FrameInput& in);

    long frame() const { return steps_; }
    int frames() const { return frames_; }
    uint64_t want() const { return want_; }
    uint64_t got() const { return got_; }

private:
    struct Entry {
        Snapshot state;
        FrameInput input;
    };
    int frames_;
    StepFn step_;
    long steps_ = 0;
    std::vector<Entry> ring_;
    World world_;
    Game game_;
    FrameResult rerun_;
    uint64_t want_ = 0, got_ = 0;
};

// --sync-test N: the check after every frame of the game whatever the mode (each frame
// of local play, each frame an online match confirmed); a failure is one line and
// status 4.
class SyncTestListener : public FrameListener {
public:
    explicit SyncTestListener(int frames) : test_(frames) {}
    void heard(Program& p, const World& w, const Game& g, const FrameInput& in) override;

private:
    SyncTest test_;
};
