#pragma once
// Players' networks built with a NetWorld, and online games across them: a "public"
// network with the meeting server (and the relay, coturn, when asked), two homes each
// behind its own NAT router (cone or symmetric, one running miniupnpd when asked), and
// the two copies of the program that play each other from inside them. Every address
// lives in the test's own namespaces.
#include <string>
#include <vector>

#include "net_log.h"
#include "net_world.h"

namespace test_support {

// Namespaces "pub" (the meeting server at lobby()), routers "rA" and "rB", and the
// players behind them, "pA" (the host's home, 192.168.1.2) and "pB" (192.168.2.2).
struct Homes {
    std::string net = "10.200.0";  // the public network's first three numbers
    bool host_symmetric = false, guest_symmetric = false, host_upnp = false;
    bool lobby_running = true, relay_running = false;
    // The relay knows no user of its own but the secret it shares with the meeting
    // server, which hands the players credentials: they name no relay themselves.
    bool relay_from_lobby = false;
    // What the meeting server is told of the relay: its address ("" the relay's own)
    // and the secret ("" the relay's own).
    std::string lobby_relay, lobby_relay_secret;
    // A third home (router rC, a cone, and pC behind it) for one who watches.
    bool watcher_home = false;
    std::vector<std::string> lobby_args;
    std::string lobby() const { return net + ".1"; }
    // The relay's user and address, as --relay takes them.
    std::string relay() const { return "whirlbat:relaysecret@" + lobby(); }
};

// Builds the homes; `lobby_program` is the meeting server's executable. What failed is
// in w.why().
void BuildHomes(NetWorld& w, const Homes& h, const std::string& lobby_program);

// The join code the host prints on its stderr (in err_file), once it does; "" if none
// within 5 seconds.
std::string JoinCodeFrom(const std::string& err_file);

// One machine's side of a game across the networks.
struct PlayedSide {
    int code = -1;
    std::string err;
    NetLog log;
};

struct Across {
    std::string name;                 // names the output files
    std::string host_ns, guest_ns;
    std::string lobby;                // the meeting server's address; "" for a LAN game
    std::vector<std::string> join;    // the guest's arguments from --join on (a code goes after it)
    std::vector<std::string> host_extra;
    int frames = 600;
    std::string watcher_ns;           // where one watches the game by its code; "" for none
};

// A game from the host's home to the guest's by a join code from the meeting server,
// through the relay when the homes have one.
Across BetweenHomes(const std::string& name, const Homes& h);

// The host and the guest, two computer pilots, play `frames` frames (the host starts
// the game from its title at frame 150). "" once both have ended, else why they did not
// start; side[0] is the host's.
std::string PlayAcross(NetWorld& w, const Across& game, PlayedSide side[2], PlayedSide* watcher = nullptr);

}  // namespace test_support
