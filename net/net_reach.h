#pragma once
// How the two machines find each other beyond a typed address, all on the game's own
// UDP socket (so the meeting server and the routers see the port the game uses):
//   - a waiting host answers the local network's "who hosts here?" (lan_discovery);
//   - with a meeting server, the host gets a join code and the guest gives it; both hear
//     the other's public and local addresses and punch through their routers at once;
//     the guest's ENet connection then follows the first path a punch came back on;
//   - with a meeting server, the host also asks its router to forward its port (UPnP,
//     NAT-PMP: port_mapping) and tells the meeting server, so a guest can come in even
//     where punching cannot (a router that gives every destination a new port);
//   - with a relay (a TURN server: the player's own, or else the one the meeting server
//     offers with credentials of the player's own), a guest whose punches get no answer
//     within a second starts ICE through it (ice_bridge), the two descriptions passing
//     through the meeting server, and ENet connects over the bridge once ICE has a pair.
//     A relay that refuses the credentials, or gives no allocation within
//     NET_RELAY_ANSWER_MS, ends the guest's reach with one line saying so (the host's
//     says so on stderr and waits on).
// It names the path the link took: LAN (the other machine is on a network of this one's,
// or was reached at its local address), mapped, punched, relayed, or direct.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "net/ice_bridge.h"
#include "net/lobby_client.h"
#include "net/name_lookup.h"
#include "net/net_link.h"
#include "net/port_mapping.h"

// How long a relay has to give a bridge its allocation (one exchange with it, each way
// retried) before it counts as not answering.
constexpr int NET_RELAY_ANSWER_MS = 5000;

class NetReach {
public:
    explicit NetReach(NetLink& link);
    // Ends a host's code at the meeting server.
    ~NetReach();
    NetReach(const NetReach&) = delete;
    NetReach& operator=(const NetReach&) = delete;

    // Names are looked up on threads of their own (name_lookup) while the waiting screen
    // runs; one that cannot be found fails the reach with one line.
    // The player's own TURN server to fall back on (before host or join_code); without
    // one, the meeting server's, if it offers one.
    void set_relay(const IceRelay& relay);
    // Whether a host with a meeting server asks its router to forward its port (before
    // host); on unless the player said no.
    void set_port_mapping(bool on) { port_mapping_ = on; }
    // Host, after NetLink::listen: answers the local network, and with a meeting server
    // (HOST[:PORT], "" for none) asks it for a code. False with one line if the meeting
    // server's HOST[:PORT] is malformed.
    bool host(const std::string& lobby, std::string* why);
    // Guest: opens the link and asks the meeting server for the host with this code.
    bool join_code(const std::string& lobby, const std::string& code, const std::string& version, int delay,
                   std::string* why);
    // Guest by a typed address: opens the link and connects to HOST:PORT once found.
    bool join_host(const std::string& host, int port, const std::string& version, int delay, std::string* why);
    // Every frame while waiting: sends what is due; connects the guest once a way through
    // is found.
    void update();
    // Lost contact with the meeting server, a refused code, no way through.
    bool failed() const { return failed_; }
    const std::string& failure() const { return failure_; }
    // Host: the code, once the meeting server gave it ("" before, or without one).
    std::string code() const { return client_ && hosting_ ? client_->code() : std::string(); }
    // Whether the router has said if it forwards the port (or was not asked): a code
    // given out before would send a quick guest to a port that lets nothing in.
    bool way_in_settled() const { return !hosting_ || !port_mapping_ || mapping_.settled(); }
    // Once the link is ready: names its path on the link.
    void name_path();
    // Host with a meeting server: what the router said of the way in, for the waiting
    // screen ("" without a meeting server, or when the router forwards nothing).
    std::string way_in() const;
    // Host: ends the code now.
    void leave();

private:
    void on_datagram(const uint8_t* data, size_t size, uint32_t ip, uint16_t port);
    bool start(const std::string& lobby, std::string* why);
    void found_lobby();
    void fail(const std::string& why);

    NetLink& link_;
    std::unique_ptr<LobbyClient> client_;
    std::unique_ptr<NameLookup> lobby_name_, host_name_, relay_name_;
    uint16_t lobby_port_ = 0, host_port_ = 0;
    std::string code_;  // guest: the code to give once the meeting server is found
    PortMapping mapping_;
    std::optional<IceRelay> relay_;
    std::unique_ptr<IceBridge> bridge_;
    LobbyClient::Clock::time_point punching_since_{}, signalled_{};
    bool hosting_ = false, connected_ = false, failed_ = false, mapping_told_ = false, bridged_ = false;
    bool port_mapping_ = true;
    void update_relay(LobbyClient::Clock::time_point now);
    // The relay to use now: the player's own, or the meeting server's offer (none yet).
    std::optional<IceRelay> chosen_relay() const;
    bool start_bridge(bool controlling, uint16_t port, LobbyClient::Clock::time_point now);
    void check_allocation(LobbyClient::Clock::time_point now);
    IceRelay bridge_relay_;  // the relay the bridge uses
    LobbyClient::Clock::time_point bridge_started_{};
    bool allocation_said_ = false;  // host: a relay's silence or refusal said once
    std::string failure_;
    std::string bridged_for_;  // host: the guest's description its bridge answers
};

// Whether --join's text is a join code rather than a host's name or address.
bool is_join_code(const std::string& text);
