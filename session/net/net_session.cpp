#include "session/net/net_session.h"

#include <algorithm>
#include <cinttypes>

#include "sim/snapshot.h"

namespace {

constexpr int kReadRing = 512;
constexpr long kStartTicks = 120;  // the first two seconds, while the clocks settle
constexpr double kAheadSmoothing = 0.1;
constexpr int kStallWaitMs = 12;  // at most, within a frame
constexpr int kSilentMs = 1000;   // no packet for this long: the network, not the peer

}  // namespace

NetSession::NetSession(NetLink& link, int local_side, StepFn step_fn)
    : link_(link), rb_(local_side, link.delay(), ROLLBACK_WINDOW, step_fn), read_at_(kReadRing, -1) {}

void NetSession::take_in(const Packet& p) {
    switch (p.kind) {
        case Packet::Kind::inputs:
            // An honest peer sends from the first input we lack, acknowledges only inputs
            // we sent, and runs no further than they let it.
            if (long(p.first) > rb_.known(1 - rb_.local_side()) + 1 || long(p.ack) > rb_.known(rb_.local_side()) ||
                long(p.frame) > rb_.known(rb_.local_side()) + ROLLBACK_WINDOW + 1) {
                ++stats_.malformed;
                return;
            }
            acked_ = std::max(acked_, std::min(long(p.ack), rb_.known(rb_.local_side())));
            if (long(p.frame) > remote_frame_) {
                remote_frame_ = long(p.frame);
                remote_heard_ = std::chrono::steady_clock::now();
            }
            for (size_t i = 0; i < p.inputs.size(); ++i) rb_.add_remote(long(p.first) + long(i), p.inputs[i]);
            break;
        case Packet::Kind::hash:
            if (p.frame % NET_HASH_EVERY != 0 || p.frame == 0) {
                ++stats_.malformed;
                return;
            }
            if (theirs_.size() < 100000) theirs_[long(p.frame)] = p.hash;
            compare_hash(long(p.frame));
            break;
        case Packet::Kind::hashes:
            if (p.frame % NET_HASH_EVERY != 0 || p.hashes.size() != size_t(NET_HASH_EVERY)) {
                ++stats_.malformed;
                return;
            }
            their_block_end_ = long(p.frame);
            their_block_ = p.hashes;
            find_first_split();
            break;
        default: break;
    }
}

void NetSession::compare_hash(long frame) {
    auto a = mine_.find(frame), b = theirs_.find(frame);
    if (a == mine_.end() || b == theirs_.end() || end_ != End::none) return;
    if (a->second != b->second) {
        split_found(frame);
        return;
    }
    // Hashes both sides agree on are no longer needed.
    theirs_.erase(theirs_.begin(), std::next(b));
}

void NetSession::split_found(long block_end) {
    if (split_block_ != 0) return;
    split_block_ = block_end;
    split_until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    Packet p;
    p.kind = Packet::Kind::hashes;
    p.frame = uint32_t(block_end);
    for (long f = block_end - NET_HASH_EVERY + 1; f <= block_end; ++f) {
        auto it = recent_.find(f);
        p.hashes.push_back(it == recent_.end() ? 0 : it->second);
    }
    link_.send(p, true);
    link_.flush();
    find_first_split();
}

void NetSession::find_first_split() {
    if (first_split_ != 0 || their_block_.empty()) return;
    for (size_t i = 0; i < their_block_.size(); ++i) {
        long f = their_block_end_ - NET_HASH_EVERY + 1 + long(i);
        auto mine = recent_.find(f);
        if (mine == recent_.end()) return;  // not confirmed here yet
        if (mine->second != their_block_[i]) {
            first_split_ = f;
            return;
        }
    }
}

void NetSession::end_split() {
    end_ = End::desync;
    long frame = first_split_ ? first_split_ : split_block_;
    message_ = std::string("the two games went apart ") + (first_split_ ? "at" : "by") + " frame " +
               std::to_string(frame) + ": online play stopped";
    link_.close(ByeReason::desync);
}

void NetSession::confirmed(long frame, const World& w, const Game& g, const NetInput in[2]) {
    history_.emplace_back(in[0], in[1]);
    confirmed_state_ = g.game_state;
    bool due = frame % NET_HASH_EVERY == 0;
    uint64_t h = state_hash(w, g);
    // Kept for a few blocks: the other side's hash of a block may come well after ours.
    recent_[frame] = h;
    while (!recent_.empty() && recent_.begin()->first <= frame - 4 * NET_HASH_EVERY) recent_.erase(recent_.begin());
    if (!due && !log_) return;
    if (log_) std::fprintf(log_, "confirmed %ld %016" PRIx64 "\n", frame, h);
    if (!due) return;
    mine_[frame] = h;
    Packet p;
    p.kind = Packet::Kind::hash;
    p.frame = uint32_t(frame);
    p.hash = h;
    link_.send(p, true);
    compare_hash(frame);
}

void NetSession::send_inputs() {
    Packet p;
    p.kind = Packet::Kind::inputs;
    p.frame = uint32_t(rb_.frame());
    p.ack = uint32_t(rb_.known(1 - rb_.local_side()));
    p.first = uint32_t(acked_ + 1);
    p.inputs = rb_.local_inputs(acked_ + 1);
    if (p.inputs.empty()) return;
    if (p.inputs.size() > size_t(NET_MAX_INPUTS)) p.inputs.resize(size_t(NET_MAX_INPUTS));
    link_.send(p, false);
}

// What arrived; false once the session is over (the link closed, or the other side
// left or went apart).
bool NetSession::take_arrivals() {
    std::vector<Packet> got;
    link_.service(0, got);
    for (const Packet& p : got) take_in(p);
    if (end_ == End::none && !link_.ready()) {
        end_ = link_.parted_on_desync() ? End::desync : End::left;
        message_ = link_.message();
        if (end_ == End::desync && first_split_ != 0)
            message_ = "the two games went apart at frame " + std::to_string(first_split_) + ": online play stopped";
    }
    return end_ == End::none;
}

// The other side is too far behind: wait a little for its input rather than give up the
// frame. True if its inputs moved on meanwhile.
bool NetSession::wait_for_remote() {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStallWaitMs);
    long heard = rb_.known(1 - rb_.local_side());
    std::vector<Packet> got;
    while (!rb_.can_advance() && end_ == End::none && link_.ready() && std::chrono::steady_clock::now() < until) {
        got.clear();
        link_.service(1, got);
        for (const Packet& p : got) take_in(p);
    }
    return rb_.known(1 - rb_.local_side()) != heard && end_ == End::none;
}

// A new frame ran: the figures of how quickly a local input reached the screen.
void NetSession::count_stepped() {
    ++stats_.frames;
    long read = read_at_[size_t(rb_.frame() % kReadRing)];
    if (stats_.ticks > kStartTicks && read >= 0) {
        int response = int(stats_.ticks - read);
        stats_.min_response = responded_ ? std::min(stats_.min_response, response) : response;
        stats_.max_response = responded_ ? std::max(stats_.max_response, response) : response;
        responded_ = true;
    }
    progress_ = std::chrono::steady_clock::now();
}

// No frame could run this tick. A peer that talks but sends no inputs for long enough
// has left; false then.
bool NetSession::count_stall() {
    ++stats_.stalls;
    long known = rb_.known(1 - rb_.local_side());
    auto now = std::chrono::steady_clock::now();
    if (known != remote_known_ || link_.silent_ms() > kSilentMs) {
        // A silent network is the link's to wait out; this is for a peer that talks
        // but sends no inputs.
        remote_known_ = known;
        progress_ = now;
    } else if (now - progress_ > std::chrono::milliseconds(NET_SILENCE_MS)) {
        // Ends as a disconnect does: the other side's inputs stopped coming.
        end_ = End::left;
        message_ = std::string(link_.hosting() ? "Red" : "Blue") + " has left";
        link_.close(ByeReason::quit);
        return false;
    }
    if (log_) std::fprintf(log_, "stall %ld %ld\n", stats_.ticks, rb_.frame());
    if (stats_.ticks > kStartTicks) ++stats_.late_stalls;
    return true;
}

// How far ahead of the other side: its frame as last heard, moved on by the time since
// it was sent (half a round trip, and how long ago it came).
void NetSession::measure_ahead() {
    double since_heard =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - remote_heard_).count();
    double remote_now = double(remote_frame_) + (link_.round_trip_ms() / 2.0 + since_heard) / NET_FRAME_MS;
    ahead_ += kAheadSmoothing * ((double(rb_.frame()) - remote_now) - ahead_);
    if (frame_ms() > NET_FRAME_MS) ++stats_.slowed_ticks;
}

NetSession::Tick NetSession::tick(World& w, Game& g, FrameResult& shown, const std::function<NetInput()>& read_local,
                                  SoundLedger* ledger) {
    Tick t;
    if (end_ != End::none) return t;
    ++stats_.ticks;
    if (!take_arrivals()) return t;
    // Hashes differed: nothing more is played while the other side's come.
    if (split_block_ != 0) {
        if (first_split_ != 0 || std::chrono::steady_clock::now() > split_until_) end_split();
        return t;
    }
    auto rerun = [ledger](long f, const FrameEvents& ev) {
        if (ledger) ledger->frame_events(f, ev);
    };
    auto confirm = [this](long f, const World& cw, const Game& cg, const NetInput in[2]) { confirmed(f, cw, cg, in); };
    t.rerun = rb_.settle(w, g, shown, rerun, confirm);
    if (end_ != End::none) return t;
    if (rb_.needs_local()) {
        long f = rb_.known(rb_.local_side()) + 1;
        if (rb_.add_local(read_local())) read_at_[size_t(f % kReadRing)] = stats_.ticks;
    }
    send_inputs();
    // What the other side tells after a wait for it is put right before the next frame.
    if (!rb_.can_advance() && rb_.known(rb_.local_side()) > rb_.frame() && wait_for_remote())
        t.rerun += rb_.settle(w, g, shown, rerun, confirm);
    if (end_ == End::none && rb_.can_advance()) {
        rb_.advance(w, g, shown);
        t.stepped = true;
        if (ledger) ledger->frame_events(rb_.frame(), shown.events);
        count_stepped();
    } else if (!count_stall()) {
        return t;
    }
    if (ledger) {
        ledger->update_music();
        ledger->forget_through(rb_.confirmed());
    }
    link_.flush();
    measure_ahead();
    return t;
}

void NetSession::idle_until(std::chrono::steady_clock::time_point until) {
    std::vector<Packet> got;
    while (end_ == End::none && link_.ready()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        got.clear();
        link_.service(int(left.count()), got);
        for (const Packet& p : got) take_in(p);
    }
}

void NetSession::leave() {
    if (end_ == End::none) end_ = End::left;
    link_.close(ByeReason::quit);
}

NetStats NetSession::stats() const {
    NetStats s = stats_;
    s.rollbacks = rb_.rollbacks;
    s.rerun_frames = rb_.rerun_frames;
    s.max_rollback = rb_.max_rollback;
    s.confirmed = rb_.confirmed();
    s.bytes_sent = link_.bytes_sent();
    s.bytes_received = link_.bytes_received();
    s.malformed = stats_.malformed + link_.malformed;
    s.foreign = link_.foreign;
    s.rejoins = link_.rejoins;
    return s;
}

