#include "session/net/watch_hub.h"

#include <algorithm>
#include <cstdio>

#include "net/net_link.h"

namespace {

// Frames gathered before a packet goes to a watcher that is up to date: ten packets a
// second, each some sixty bytes.
constexpr size_t kGathered = 6;
// Packets a watcher catching up is sent in one service, to keep the host's frame short.
constexpr int kMostPacketsAService = 32;

}  // namespace

void WatchHub::confirmed(const std::pair<NetInput, NetInput>& inputs, std::optional<uint64_t> hash) {
    frames_.push_back(inputs);
    if (hash) hashes_[uint32_t(frames_.size())] = *hash;
}

// Sends the frames from the seat's next on, NET_MAX_FED a packet: all there are when
// `all`, else only once a few have gathered.
void WatchHub::feed(Seat& seat, bool all) {
    for (int sent = 0; sent < kMostPacketsAService; ++sent) {
        size_t have = frames_.size() + 1 - seat.next;
        if (seat.next > frames_.size() || (!all && have < kGathered)) return;
        Packet p;
        p.kind = Packet::Kind::feed;
        p.first = seat.next;
        size_t count = std::min(have, size_t(NET_MAX_FED));
        p.played.assign(frames_.begin() + long(seat.next - 1), frames_.begin() + long(seat.next - 1 + count));
        for (auto it = hashes_.lower_bound(seat.next); it != hashes_.end() && it->first < seat.next + count; ++it)
            p.frame_hashes.push_back(*it);
        fed_bytes_ += encode_packet(p).size();
        link_.send_to_watcher(seat.id, p);
        seat.next += uint32_t(count);
        all = all || count == size_t(NET_MAX_FED);
    }
}

void WatchHub::close() {
    service();
    for (Seat& seat : seats_) {
        feed(seat, true);
        Packet bye;
        bye.kind = Packet::Kind::bye;
        link_.send_to_watcher(seat.id, bye);
    }
    seats_.clear();
    link_.flush();
}

void WatchHub::service() {
    for (const NetLink::WatcherEvent& e : link_.take_watcher_events()) {
        if (e.left) {
            seats_.erase(std::remove_if(seats_.begin(), seats_.end(), [&](const Seat& s) { return s.id == e.id; }),
                         seats_.end());
        } else {
            seats_.push_back(Seat{e.id, std::max<uint32_t>(1, e.first), false});
        }
        std::fprintf(stderr, "rc-whirlbat: a watcher %s (%zu watching)\n", e.left ? "left" : "came", seats_.size());
    }
    for (Seat& seat : seats_) {
        if (!seat.welcomed) {
            Packet hi;
            hi.kind = Packet::Kind::watching;
            hi.version = link_.version();
            hi.rules = link_.rules();
            hi.seed = seed_;
            hi.pilots = pilots_;
            hi.session = link_.session();
            hi.frame = uint32_t(frames_.size());
            link_.send_to_watcher(seat.id, hi);
            seat.welcomed = true;
        }
        // A watcher behind by more than a packet's worth hears what there is at once.
        feed(seat, frames_.size() + 1 - seat.next >= size_t(NET_MAX_FED));
    }
}
