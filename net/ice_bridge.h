#pragma once
// The last way between two machines whose routers let no punch through (both give
// every destination a new port): ICE with a TURN relay (coturn) among its candidates,
// bridged under ENet so that ENet keeps the game's reliability and ordering. ENet sends
// to a port of the bridge on 127.0.0.1, and gets what comes from the other side on its
// own port.
//
// The two sides' ICE descriptions travel through the meeting server (lobby_client's
// signals). The ICE itself is libnice's, in the relay module (relay_module.h), which is
// loaded the first time a bridge starts.
#include <cstdint>
#include <string>
#include <vector>

struct RelayAgent;
struct RelayCalls;

// A TURN server and the long-term credentials it knows this game by.
struct IceRelay {
    std::string host;  // as given
    uint32_t ip = 0;   // IPv4, host byte order; 0 until the name is looked up
    uint16_t port = 3478;
    std::string user, password;
};
// The environment variables a relay's password may come from instead of the command
// line (where every user of the machine can read it): the password itself, or a file
// whose first line it is.
constexpr const char* RELAY_PASSWORD_VARIABLE = "WHIRLBAT_RELAY_PASSWORD";
constexpr const char* RELAY_PASSWORD_FILE_VARIABLE = "WHIRLBAT_RELAY_PASSWORD_FILE";
// USER:PASSWORD@HOST[:PORT], or USER@HOST[:PORT] with the password from
// $WHIRLBAT_RELAY_PASSWORD_FILE or $WHIRLBAT_RELAY_PASSWORD (port 3478 unless given);
// false with one line otherwise. Looks up no name: an address typed as numbers is
// filled in, a name is left to the caller (name_lookup).
bool parse_ice_relay(const std::string& text, IceRelay* out, std::string* why);

class IceBridge {
public:
    // `controlling`: the side that picks the pair (the guest). `game_port`: ENet's own
    // UDP port on this machine, where what comes from the other side is delivered.
    IceBridge(bool controlling, const IceRelay& relay, uint16_t game_port);
    ~IceBridge();
    IceBridge(const IceBridge&) = delete;
    IceBridge& operator=(const IceBridge&) = delete;

    // Loads the relay module, opens the bridge's port and starts gathering candidates;
    // false with one line.
    bool start(std::string* why);
    // This side's ICE description once its candidates are gathered ("" before).
    std::string local_description() const;
    // The other side's description (taken once).
    void set_remote_description(const std::string& sdp);
    // ICE found a working pair; whether it goes through the relay.
    bool ready() const;
    bool failed() const;
    bool relayed() const;
    // The relay gave this side an allocation; this side knows all its ways (a relay
    // that refused the credentials leaves it gathered without an allocation, one that
    // does not answer leaves it neither for tens of seconds).
    bool allocated() const;
    bool gathered() const;
    // The bridge's port on 127.0.0.1, for ENet to send to.
    uint16_t port() const;

private:
    bool controlling_;
    IceRelay relay_;
    uint16_t game_port_;
    const RelayCalls* calls_ = nullptr;
    RelayAgent* agent_ = nullptr;
    int state() const;
};

// The relay module, loaded at the first call (a back end for each system:
// ice_bridge_posix.cpp loads it, ice_bridge_win32.cpp has none); null with one line.
const RelayCalls* load_relay_module(std::string* why);

// Where the relay module is looked for, in order: beside the program, then where the
// package installs it; only at WHIRLBAT_RELAY_MODULE when that is set.
std::vector<std::string> relay_module_paths();
