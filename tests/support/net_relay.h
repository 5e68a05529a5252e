#pragma once
// A bad network on 127.0.0.1 for online-play tests: a UDP relay between a guest and a
// host that delays every datagram by its own time (so datagrams overtake each other),
// with jitter, and drops some. The guest joins the relay's port; the relay passes its
// datagrams on to the host's port and the host's answers back. It runs on a thread of
// its own and stops by itself after max_seconds at the latest.
#include <atomic>
#include <cstdint>
#include <thread>

namespace test_support {

struct RelaySettings {
    int min_ms = 50, max_ms = 100;  // the delay each way, drawn for every datagram
    int jitter_ms = 20;             // added, from -jitter to +jitter
    int loss_percent = 5;
    int max_seconds = 300;
    uint32_t seed = 1;
};

class NetRelay {
public:
    NetRelay() = default;
    ~NetRelay();
    // Listens on 127.0.0.1:listen_port and forwards to 127.0.0.1:host_port. False if
    // the port cannot be had.
    bool start(int listen_port, int host_port, const RelaySettings& settings);
    void stop();

    // While set, every datagram is lost both ways (a network that dropped), counted in
    // `cut_off`.
    std::atomic<bool> cut{false};
    std::atomic<long> cut_off{0};
    // Set: the relay moves to a new port towards the host (as a home router may after a
    // drop), so the host sees the guest come from another address.
    std::atomic<bool> rebind{false};

    // Payload bytes and datagrams that came in each way, and those dropped.
    std::atomic<uint64_t> bytes_to_host{0}, bytes_to_guest{0};
    std::atomic<long> datagrams_to_host{0}, datagrams_to_guest{0}, dropped{0}, reordered{0};

private:
    void run();
    RelaySettings settings_;
    int guest_side_ = -1, host_side_ = -1, host_port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace test_support
