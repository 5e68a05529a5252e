#pragma once
// The host's side of watching: each watcher that came (net/net_link.h) hears the match's
// seed and who flies, then every frame both players confirmed, in order, a few at a
// time, with the state hash of every 30th, from the frame it asked for on: the whole
// match so far for one that comes late, the rest as the match goes on. A watcher that
// comes back after a drop asks from where it was. What the watchers send is nothing the
// match hears.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/net_packets.h"

class NetLink;

class WatchHub {
public:
    WatchHub(NetLink& link, int seed) : link_(link), seed_(seed) {}

    // Who flies each side, as the watchers' screens name them.
    void set_pilots(std::string pilots) { pilots_ = std::move(pilots); }
    // The next confirmed frame (frame 1 first), with its state hash when it has one.
    void confirmed(const std::pair<NetInput, NetInput>& inputs, std::optional<uint64_t> hash);
    // Takes in the watchers that came and went, and sends each what it has not had.
    void service();
    // The watchers now.
    int watching() const { return int(seats_.size()); }
    long frames() const { return long(frames_.size()); }
    // The match is over: every watcher hears a goodbye after what it had not had yet.
    void close();
    // Bytes of feed sent so far, for the figures.
    uint64_t fed_bytes() const { return fed_bytes_; }

private:
    struct Seat {
        uint32_t id = 0;
        uint32_t next = 1;  // the next frame it is to hear
        bool welcomed = false;
    };
    void feed(Seat& seat, bool all);

    NetLink& link_;
    int seed_;
    std::string pilots_;
    std::vector<std::pair<NetInput, NetInput>> frames_;
    std::map<uint32_t, uint64_t> hashes_;
    std::vector<Seat> seats_;
    uint64_t fed_bytes_ = 0;
};
