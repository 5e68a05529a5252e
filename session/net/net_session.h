#pragma once
// An online game in progress: the rollback of the shared game over the link to the
// other machine. Each tick of the frame clock takes in what arrived, puts wrong
// guesses right, reads the local player's input, sends it (with every input the other
// side has not acknowledged yet, so one lost packet costs nothing) and runs the next
// frame unless the other side is too far behind. It also tells how long the tick
// should last (the machine that runs ahead slows down a little), compares state
// hashes every 30 frames and keeps what a desync report needs.
//
// It draws nothing and reads no device: the online match (session/net/online_match.h)
// does, and tests run two sessions in one process.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "net/net_link.h"
#include "session/net/rollback.h"
#include "session/net/sound_ledger.h"

constexpr int NET_HASH_EVERY = 30;     // frames between state hashes
constexpr double NET_FRAME_MS = 1000.0 / 60.0;
constexpr double NET_SLOW_MS = 1.0;    // added to a frame while this side runs ahead

struct NetStats {
    long ticks = 0, frames = 0, stalls = 0;
    long late_stalls = 0;  // stalls after the first two seconds
    long rollbacks = 0, rerun_frames = 0;
    int max_rollback = 0;
    // Ticks from reading a local input to showing its frame, after the first two seconds.
    int min_response = 0, max_response = 0;
    long confirmed = 0;
    long slowed_ticks = 0;
    uint64_t bytes_sent = 0, bytes_received = 0;
    long malformed = 0, foreign = 0;
    long rejoins = 0;  // the guest came back over a new connection
};

class NetSession {
public:
    enum class End { none, left, desync };

    NetSession(NetLink& link, int local_side, StepFn step_fn = advance);

    struct Tick {
        bool stepped = false;  // a new frame ran (drawn into `shown`)
        int rerun = 0;         // frames run again
    };
    // One tick. read_local gives the local player's input when one is needed.
    Tick tick(World& w, Game& g, FrameResult& shown, const std::function<NetInput()>& read_local, SoundLedger* ledger);
    // Takes in what arrives until the time comes (between ticks, and during the
    // game's own waits), so that nothing waits in the socket.
    void idle_until(std::chrono::steady_clock::time_point until);
    // How long this tick should last, in milliseconds.
    double frame_ms() const { return ahead_ > 1.0 ? NET_FRAME_MS + NET_SLOW_MS : NET_FRAME_MS; }
    // Frames this machine is ahead of the other (negative: behind), smoothed.
    double ahead() const { return ahead_; }

    End ended() const { return end_; }
    // One line for the player when the session is over.
    const std::string& message() const { return message_; }
    // The local player leaves: a goodbye to the other machine.
    void leave();

    const Rollback& rollback() const { return rb_; }
    NetStats stats() const;
    // Every confirmed frame's state hash goes to this file, one line each (tests).
    void log_hashes(FILE* f) { log_ = f; }
    // Both players' inputs of every confirmed frame, frame 1 on.
    const std::vector<std::pair<NetInput, NetInput>>& history() const { return history_; }
    // After a desync: the first frame whose state differs on the two machines, as their
    // hashes of every frame of the block tell (0 if the other side's did not come).
    long first_split() const { return first_split_; }
    // The screen of the last confirmed frame: what both machines agree the game shows.
    GameState confirmed_state() const { return confirmed_state_; }
    // Whether the game as it now stands here may be drawn: a game over that only a guess
    // of the other side's input brought is not (the picture before it stays until the
    // other side's inputs confirm it, rather than flash the over screen).
    bool showable(const Game& g) const { return g.game_state != GameState::over || confirmed_state_ == GameState::over; }
    // When the session began (seconds since 1970).
    std::time_t started() const { return started_; }

private:
    bool take_arrivals();
    bool wait_for_remote();
    void count_stepped();
    bool count_stall();
    void measure_ahead();
    void take_in(const Packet& p);
    void confirmed(long frame, const World& w, const Game& g, const NetInput in[2]);
    void compare_hash(long frame);
    void send_inputs();
    // Hashes that differ: each side sends the hash of every frame of the block, and the
    // session ends once the other's have come (or a moment has passed).
    void split_found(long block_end);
    void end_split();
    void find_first_split();

    NetLink& link_;
    Rollback rb_;
    End end_ = End::none;
    std::string message_;
    long acked_ = 0;        // the last of our inputs the other side has
    long remote_frame_ = 0;  // the other side's frame, as last heard
    std::chrono::steady_clock::time_point remote_heard_;  // when it was heard
    // The last time the game moved on here or the other side's inputs did: whatever
    // else a peer sends, it cannot hold the game still for longer than the silence.
    std::chrono::steady_clock::time_point progress_ = std::chrono::steady_clock::now();
    long remote_known_ = 0;
    double ahead_ = 0;
    NetStats stats_;
    bool responded_ = false;
    std::vector<long> read_at_;  // the tick each local input was read at, by frame
    std::map<long, uint64_t> mine_, theirs_;
    std::vector<std::pair<NetInput, NetInput>> history_;  // confirmed inputs, frame 1 on
    FILE* log_ = nullptr;
    std::map<long, uint64_t> recent_;  // every confirmed frame's hash, the last blocks
    long split_block_ = 0;             // the block whose hashes differ, while theirs come
    std::chrono::steady_clock::time_point split_until_;
    long their_block_end_ = 0;
    std::vector<uint64_t> their_block_;
    long first_split_ = 0;
    std::time_t started_ = std::time(nullptr);
    GameState confirmed_state_ = GameState::intro;
};
