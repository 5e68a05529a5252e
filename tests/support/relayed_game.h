#pragma once
// Two copies of the program playing each other online on 127.0.0.1, the guest joining
// through a NetRelay (a bad network, or one that drops for a while): the host starts,
// the guest joins 300 ms later, and each writes its net log (and its trace when asked).
// Tests check what both machines did; benchmarks print the figures of the same games.
#include <functional>
#include <string>
#include <vector>

#include "net_log.h"
#include "net_relay.h"

namespace test_support {

struct RelayedGame {
    std::string name;          // names the output files
    RelaySettings network;
    int host_port = 0;         // the relay listens on host_port + 1
    int frames = 600;
    // Each side's own arguments besides --headless, --host/--join, --frames and --net-log.
    std::vector<std::string> host, guest;
    bool traces = false;
};

struct RelayedSides {
    int code[2] = {-1, -1};    // the host's first
    std::string err[2];
    NetLog log[2];
    std::string trace[2];      // the trace files, when asked for
    long to_host = 0, to_guest = 0, dropped = 0, overtaken = 0, cut_off = 0;  // datagrams the relay saw
};

// Plays the game; `meanwhile` runs on this thread while both play (it may cut the relay
// for a while). False if the relay could not have its port.
bool PlayRelayed(const RelayedGame& game, RelayedSides* out, const std::function<void(NetRelay&)>& meanwhile = {});

}  // namespace test_support
