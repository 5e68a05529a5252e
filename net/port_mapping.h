#pragma once
// Asks the home router to forward a UDP port to this machine, so a guest can come in
// through it: UPnP IGD (miniupnpc) and NAT-PMP (libnatpmp) at once, each on a thread
// of its own. Whatever has not answered within 2 s is given up on; a mapping is removed
// when the PortMapping goes (a mapping made late is removed too).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "net/lobby_protocol.h"

constexpr int PORT_MAPPING_MS = 2000;

class PortMapping {
public:
    PortMapping() = default;
    // Removes the mapping, if one was made.
    ~PortMapping();
    PortMapping(const PortMapping&) = delete;
    PortMapping& operator=(const PortMapping&) = delete;

    // Starts asking the router to forward UDP `port` (the same port outside).
    void start(uint16_t port);
    // The router's answer is in, or 2 s have passed.
    bool settled() const;
    // The router forwards: its public address and port, and how it was asked ("UPnP",
    // "NAT-PMP"); empty before or without.
    LobbyAddress external() const;
    std::string how() const;

private:
    void upnp();
    void natpmp();
    void found(const LobbyAddress& a, const char* how);

    uint16_t port_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::atomic<int> answered_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    LobbyAddress external_;
    std::string how_;
    // What to remove at the end.
    std::string upnp_control_, upnp_service_;
    bool natpmp_mapped_ = false;
    std::thread upnp_thread_, natpmp_thread_;
};
