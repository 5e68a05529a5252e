#pragma once
// Waiting for the other machine, a mode of the frame runner: the host's screen (its
// port, this machine's addresses, the join code once the meeting server gave one, how a
// guest from outside comes in) or the guest's ("Joining ..."), until the link is ready;
// then the match. Escape or a pad's East button gives up.
#include <chrono>
#include <memory>
#include <vector>

#include "session/net/netplay.h"
#include "session/net/watch_hub.h"

class NetLink;
class NetReach;


// What the wait hands over to the match.
struct OnlineStart {
    std::unique_ptr<NetLink> link;
    std::unique_ptr<NetReach> reach;
    std::unique_ptr<WatchHub> hub;  // host: the match's watchers
    NetOptions opts;
    std::unique_ptr<LocalPlay> back;
    std::shared_ptr<OnlineOutcome> outcome;
    std::chrono::steady_clock::time_point asked;  // when the player asked to play
    // What came in the same breath as the host's answer, for the mode that follows: a
    // watcher's first frames come with it and are not sent again.
    std::vector<Packet> early;
};

// Ends online play before or after a match: back to the local play it came from, with
// `why` for the title's screen, or (from the command line) the program's end: status 1
// with the line, or 0 when the player gave up.
void leave_online(Program& p, OnlineStart& s, const std::string& why, bool gave_up);
