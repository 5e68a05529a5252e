#include "session/net/watch_feed.h"

#include <chrono>
#include <cstdio>

#include "net/net_link.h"
#include "net/net_reach.h"

NetWatchFeed::NetWatchFeed(OnlineStart start) : start_(std::move(start)) {
    start_.reach->name_path();
    long connect_ms = long(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_.asked).count());
    std::fprintf(stderr, "rc-whirlbat: connected by the %s path in %ld ms\n", start_.link->path().c_str(), connect_ms);
    for (const Packet& p : start_.early) take(p);
    start_.early.clear();
}

NetWatchFeed::~NetWatchFeed() { leave(); }

// What came: the frames in order; the host's packets cannot make a watcher skip or
// repeat one (a feed that does not follow on is left out, one that overlaps is taken
// from where it follows on).
void NetWatchFeed::take(const Packet& p) {
    if (p.kind != Packet::Kind::feed || p.first > frames_.size() + 1) return;
    size_t skip = frames_.size() + 1 - p.first;
    for (size_t i = skip; i < p.played.size(); ++i) frames_.push_back(p.played[i]);
    for (const auto& [frame, hash] : p.frame_hashes) hashes_[long(frame)] = hash;
}

void NetWatchFeed::service(int until_ms) {
    if (left_) return;
    NetLink& link = *start_.link;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(until_ms);
    do {
        std::vector<Packet> got;
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count());
        link.service(std::max(0, left), got);
        for (const Packet& p : got) take(p);
        // Coming back after a drop, the host is asked from the frame after the last one here.
        link.watch_from(uint32_t(frames_.size() + 1));
    } while (link.state() != NetLink::State::closed && std::chrono::steady_clock::now() < until);
}

bool NetWatchFeed::started() const { return start_.link->ready() || !start_.link->watching().version.empty(); }

int NetWatchFeed::seed() const { return start_.link->watching().seed; }

std::string NetWatchFeed::pilots() const { return start_.link->watching().pilots; }

std::optional<uint64_t> NetWatchFeed::hash(long frame) const {
    auto it = hashes_.find(frame);
    if (it == hashes_.end()) return std::nullopt;
    return it->second;
}

bool NetWatchFeed::over() const { return left_ || start_.link->state() == NetLink::State::closed; }

std::string NetWatchFeed::message() const {
    std::string why = start_.link->message();
    return why.empty() ? "the match is over" : why;
}

void NetWatchFeed::leave() {
    if (left_) return;
    left_ = true;
    start_.link->close(ByeReason::quit);
}
