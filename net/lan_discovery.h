#pragma once
// Games hosted on the local network: a guest asks by broadcast on every interface that
// has one, and each waiting host answers from its game socket (net_reach answers).
#include <string>
#include <vector>

#include "net/net_packets.h"

struct LanGame {
    std::string address;  // the host's IPv4 address, dotted
    int port = NET_DEFAULT_PORT;
    std::string version;  // the host's game version
};

// Asks on UDP port `port` of every local network and lists the games that answer within
// wait_ms, each once, in the order they answered. Empty if none (or no network).
std::vector<LanGame> find_lan_games(int wait_ms, int port = NET_DEFAULT_PORT);
