#include "session/sync_test.h"

#include <cinttypes>
#include <cstdio>


SyncTest::SyncTest(int frames, StepFn step_fn) : frames_(frames), step_(step_fn), ring_(size_t(frames) + 1) {
    rerun_.draw = false;
}

bool SyncTest::check(const World& w, const Game& g, const FrameInput& in) {
    ++steps_;
    const long size = long(ring_.size());
    Entry& e = ring_[size_t(steps_ % size)];
    e.state.save(w, g);
    e.input = in;
    if (steps_ <= frames_) return true;
    ring_[size_t((steps_ - frames_) % size)].state.restore(world_, game_);
    for (long k = steps_ - frames_ + 1; k <= steps_; ++k) step_(world_, game_, ring_[size_t(k % size)].input, rerun_);
    want_ = state_hash(w, g);
    got_ = state_hash(world_, game_);
    return want_ == got_;
}

void SyncTestListener::heard(Program& p, const World& w, const Game& g, const FrameInput& in) {
    if (test_.check(w, g, in)) return;
    std::fprintf(stderr,
                 "rc-whirlbat: sync test failed at frame %ld: re-running its last %d frames gives "
                 "state hash %016" PRIx64 " instead of %016" PRIx64 "\n",
                 test_.frame(), test_.frames(), test_.got(), test_.want());
    p.end(4);
}
