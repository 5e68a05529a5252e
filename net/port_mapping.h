#pragma once
// Asks the home router to forward a UDP port to this machine, so a guest can come in
// through it: UPnP IGD (miniupnpc) and NAT-PMP (libnatpmp) at once, each on a thread
// of its own. The waiting screen stops saying it asks after 2 s; one deadline, 10 s,
// covers both threads: a mapping made later is removed again by the thread that made it.
//
// Nothing here waits on the network on the caller's thread: the threads are never
// joined, only abandoned. When the PortMapping goes, each thread removes the mapping it
// made (if any) and ends; a thread still waiting on a slow router ends when the router
// lets it. At the program's end, removals under way are given half a second.
#include <cstdint>
#include <memory>
#include <string>

#include "net/lobby_protocol.h"

constexpr int PORT_MAPPING_MS = 2000;
constexpr int PORT_MAPPING_DEADLINE_MS = 10000;

class PortMapping {
public:
    PortMapping() = default;
    // Abandons the threads; each removes its mapping on its own.
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

    struct Shared;  // what the threads and this share

private:
    std::shared_ptr<Shared> shared_;
};
