#include "session/net/rollback.h"

#include <algorithm>

FrameInput compose_input(const Game& g, const NetInput& blue, const NetInput& red) {
    FrameInput in;
    in.pad_count = PAD_PORTS;
    // The shared pointer stays above the menu: nothing is highlighted, nothing chosen.
    in.mouse_x = POINTER_HOME_X;
    in.mouse_y = 0;
    const NetInput* player[PAD_PORTS] = {&blue, &red};
    // Pad button 1 pauses and resumes; it travels as a command.
    for (int p = 0; p < PAD_PORTS; ++p) {
        for (int a = 0; a < 4; ++a) in.port[p].axis[a] = float(player[p]->axis[a]);
        in.port[p].buttons = player[p]->buttons & ~2u;
    }
    auto asked = [&](NetCommand c) { return blue.command == c || red.command == c; };
    switch (g.game_state) {
        case GameState::intro:
            // Online play starts at the title: the intro is cut short at once.
            in.clicks = 1;
            break;
        case GameState::title:
        case GameState::pause:
            for (PortInput& port : in.port) port.buttons = 0;
            if (g.game_state == GameState::title && asked(NetCommand::start)) {
                in.mouse_y = 245;  // "Start Game"
                in.clicks = 1;
            } else if (g.game_state == GameState::pause && asked(NetCommand::to_title)) {
                in.esc = 1;
            } else if (g.game_state == GameState::pause && asked(NetCommand::resume)) {
                in.space = 1;
            }
            break;
        case GameState::play:
            if (asked(NetCommand::pause)) in.space = 1;
            break;
        case GameState::over:
            // Either player's fire leaves the game-over screen.
            in.port[0].buttons |= red.buttons & 1u;
            break;
    }
    return in;
}

Rollback::Rollback(int local_side, int delay, int window, StepFn step_fn)
    : local_(local_side), remote_(1 - local_side), delay_(delay), window_(window), step_(step_fn) {
    for (auto& ring : inputs_) ring.resize(kRing);
    used_.resize(kRing);
    snapshots_.resize(size_t(window) + 2);
    // The frames before the first input arrives: both players at rest.
    for (int side = 0; side < 2; ++side) {
        for (long f = 1; f <= delay; ++f) slot(side, f) = Slot{f, NetInput{}, true};
        known_[side] = delay;
    }
}

bool Rollback::add_local(const NetInput& in) {
    long f = known_[local_] + 1;
    if (f > frame_ + delay_ + 1) return false;
    slot(local_, f) = Slot{f, in, true};
    known_[local_] = f;
    return true;
}

bool Rollback::add_remote(long f, const NetInput& in) {
    if (f <= known_[remote_] || f > frame_ + kRing / 2) return false;
    Slot& s = slot(remote_, f);
    if (s.known && s.frame == f) return false;
    s = Slot{f, in, true};
    long before = known_[remote_];
    while (true) {
        const Slot& next = slot(remote_, known_[remote_] + 1);
        if (!next.known || next.frame != known_[remote_] + 1) break;
        ++known_[remote_];
    }
    // In the middle of a re-run, the frames after the one just run are still to run
    // with what is known now.
    check_guesses(before + 1, std::min(known_[remote_], rerun_through_ > 0 ? rerun_through_ : frame_));
    return true;
}

void Rollback::check_guesses(long from, long to) {
    for (long f = from; f <= to; ++f) {
        if (used_[size_t(f % kRing)] == slot(remote_, f).in) continue;
        if (first_wrong_ == 0 || f < first_wrong_) first_wrong_ = f;
    }
}

std::vector<NetInput> Rollback::local_inputs(long first) const {
    std::vector<NetInput> out;
    for (long f = std::max(first, 1L); f <= known_[local_]; ++f) out.push_back(slot(local_, f).in);
    return out;
}

NetInput Rollback::guess(int side, long f) const {
    const Slot& s = slot(side, f);
    if (s.known && s.frame == f) return s.in;
    // The last input heard holds, but a command is not said twice.
    NetInput last = known_[side] > 0 ? slot(side, known_[side]).in : NetInput{};
    last.command = NetCommand::none;
    return last;
}

void Rollback::run(World& w, Game& g, long f, FrameResult& out) {
    snapshots_[size_t(f % long(snapshots_.size()))].save(w, g);
    NetInput in[2] = {guess(0, f), guess(1, f)};
    used_[size_t(f % kRing)] = in[remote_];
    step_(w, g, compose_input(g, in[0], in[1]), out);
}

bool Rollback::can_advance() const {
    return known_[local_] >= frame_ + 1 && frame_ + 1 - known_[remote_] <= window_;
}

void Rollback::advance(World& w, Game& g, FrameResult& out) {
    out.draw = true;
    run(w, g, frame_ + 1, out);
    ++frame_;
}

int Rollback::settle(World& w, Game& g, FrameResult& shown, const RerunFn& rerun, const ConfirmFn& confirm) {
    int count = 0;
    // A re-run may take in inputs on the way (the sound of a frame can make the program
    // wait, and it listens meanwhile): if one shows a guess of this very re-run wrong,
    // the frames from there run once more.
    while (first_wrong_ > 0) {
        long from = first_wrong_;
        first_wrong_ = 0;
        snapshots_[size_t(from % long(snapshots_.size()))].restore(w, g);
        FrameResult quiet;
        quiet.draw = false;
        int again = 0;
        for (long f = from; f <= frame_; ++f) {
            FrameResult& out = f == frame_ ? shown : quiet;
            out.draw = f == frame_;
            run(w, g, f, out);
            rerun_through_ = f;
            if (rerun) rerun(f, out.events);
            ++again;
        }
        rerun_through_ = 0;
        ++rollbacks;
        rerun_frames += again;
        max_rollback = std::max(max_rollback, again);
        count += again;
    }
    // Only frames run with the inputs now known are confirmed.
    long now_confirmed = std::min(known_[remote_], frame_);
    if (first_wrong_ > 0) now_confirmed = std::min(now_confirmed, first_wrong_ - 1);
    for (long c = confirmed_ + 1; c <= now_confirmed; ++c) {
        NetInput in[2] = {input(0, c), input(1, c)};
        if (!confirm) continue;
        if (c == frame_) {
            confirm(c, w, g, in);
        } else {
            const Snapshot& after = snapshots_[size_t((c + 1) % long(snapshots_.size()))];
            confirm(c, after.world, after.game, in);
        }
    }
    confirmed_ = std::max(confirmed_, now_confirmed);
    return count;
}
