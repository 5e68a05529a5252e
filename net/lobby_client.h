#pragma once
// A player's side of the meeting service, and the punches through the routers after it.
// Pure: datagrams go out through the `send` given and come in through receive(), the
// time comes in from the caller; net_reach puts it on the game's own socket.
//
// Host: asks for a code (again every 250 ms until answered, then every 20 s, which keeps
// the code alive and the router's mapping open); when a guest is coming, punches its
// public address as the meeting server saw it, and its local address only when that lies
// on one of this machine's own networks, every 100 ms for 3 s: at most 30 punches a
// guest, for the latest four guests, and 50 a second in all, so a stream of forged
// guests cannot make the host a loudspeaker aimed at someone else. It answers punches,
// at most 50 a second.
// Guest: gives the code (again every 250 ms until answered, then every second until met,
// so a host that missed the news hears it again); then punches the host's addresses (the
// port its router forwards first; its local address only on a network of this machine's),
// and the first address a punch comes back from is the way to the host.
// Both echo the cookie the meeting server gives them (lobby_server.h), and both pad their
// requests so that the answer has room for a relay: a meeting server with one names it,
// with credentials of this player's own. After a second of silence every other request
// goes unpadded, and a server that answers one of those (one older than the relay) is
// asked unpadded from then on.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/lobby_protocol.h"

// How long without an answer before the meeting server counts as down.
constexpr int LOBBY_ANSWER_MS = 3000;
// How long a guest punches before giving up on an answer; with a relay to fall back on.
// Five seconds: a host's router that forwards its port late (a busy router answers UPnP
// in seconds) is still found, and a way that does not exist is said soon.
constexpr int LOBBY_PUNCH_MS = 5000;
constexpr int LOBBY_RELAY_PUNCH_MS = 20000;

// One of this machine's IPv4 networks (host byte order).
struct LobbyNetwork {
    uint32_t ip = 0, mask = 0;
    bool holds(uint32_t other) const { return mask != 0 && (ip & mask) == (other & mask); }
};
class LobbyClient {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<void(const LobbyAddress&, const std::vector<uint8_t>&)>;
    enum class Phase { idle, asking, waiting, punching, met, failed };

    // `local`: this machine's own address and the game's port, as it sees them.
    LobbyClient(LobbyAddress server, LobbyAddress local, Send send, uint32_t seed);

    // This machine's own networks: a local address is punched only on one of them
    // (none unless set).
    void set_own_networks(std::vector<LobbyNetwork> networks) { networks_ = std::move(networks); }
    void host(Clock::time_point now);
    // Host: the port its router now forwards to it; the meeting server hears it at once.
    void set_mapped(const LobbyAddress& mapped, Clock::time_point now);
    void join(const std::string& code, Clock::time_point now);
    // Host: the code ends (best effort; the server ends it anyway after ten minutes).
    void leave();
    // Sends what is due.
    void update(Clock::time_point now);
    // Guest: how long to punch before giving up (LOBBY_PUNCH_MS unless set).
    void set_punch_ms(int ms) { punch_ms_ = ms; }
    // Sends a text to the other player through the meeting server, in parts; false (and
    // nothing sent) for a text longer than the parts can hold.
    bool send_signal(const std::string& text);
    // The other player's text, once all its parts have come ("" before). The host's is
    // its latest guest's: a guest that joins after another starts it afresh.
    const std::string& remote_signal() const { return remote_signal_; }
    // A datagram from the game's socket with the meeting service's framing. True if it
    // was the meeting server's or a punch.
    bool receive(const uint8_t* data, size_t size, const LobbyAddress& from, Clock::time_point now);

    Phase phase() const { return phase_; }
    // Host: the code once given, and this machine's address as the server saw it.
    const std::string& code() const { return code_; }
    const LobbyAddress& seen_as() const { return seen_as_; }
    // Guest, once met: where to connect, and whether that is the host's local address.
    const LobbyAddress& target() const { return target_; }
    bool target_is_local() const { return target_ == host_local_ && !host_local_.empty(); }
    bool target_is_mapped() const { return target_ == host_mapped_ && !host_mapped_.empty(); }
    // The relay the meeting server offers this player, with its credentials (empty for
    // none): a host's comes with its code, as fresh as its last refresh; a guest's with
    // the host's addresses, which then has LOBBY_RELAY_PUNCH_MS to punch.
    const LobbyRelayOffer& relay() const { return relay_; }
    // Guest: the host's addresses, once the server told them.
    const LobbyAddress& host_public() const { return host_public_; }
    // Host: the addresses of the latest guests the server announced.
    const std::vector<LobbyAddress>& guests_public() const { return guests_public_; }
    const std::vector<LobbyAddress>& guests_local() const { return guests_local_; }
    // Why it failed, one line for the player.
    const std::string& failure() const { return failure_; }

private:
    void send(const LobbyAddress& to, const LobbyMessage& m) { send_(to, encode_lobby(m)); }
    void ask(Clock::time_point now);
    void fail(const std::string& why);
    void punch_all(Clock::time_point now);
    void on_coming(const LobbyMessage& m, Clock::time_point now);
    void on_meet(const LobbyMessage& m, Clock::time_point now);
    void on_late_mapping(const LobbyMessage& m, Clock::time_point now);
    void on_signal(const LobbyMessage& m);
    bool own_network(const LobbyAddress& a) const;

    struct Punch {
        LobbyAddress to;
        Clock::time_point until;
        int left = -1;  // punches still allowed (-1: as many as the time allows)
    };
    LobbyAddress server_, local_;
    Send send_;
    Phase phase_ = Phase::idle;
    bool hosting_ = false;
    uint32_t nonce_;
    std::string code_, failure_;
    LobbyAddress seen_as_, host_public_, host_local_, host_mapped_, mapped_, target_;
    LobbyAddress asked_with_mapped_;  // the forwarded port the latest host request named
    std::vector<LobbyAddress> guests_public_, guests_local_;
    std::vector<LobbyNetwork> networks_;
    std::vector<Punch> punches_;
    Clock::time_point asked_, last_answer_, punched_, met_by_;
    bool answered_ = false;  // the last request had its answer
    int asked_count_ = 0;
    bool pad_ = true, last_padded_ = true;
    LobbyRelayOffer relay_;
    uint64_t cookie_ = 0;
    int answers_this_second_ = 0, punch_ms_ = LOBBY_PUNCH_MS;
    int punches_this_second_ = 0;
    std::vector<std::string> signal_parts_;
    std::string remote_signal_;
    LobbyAddress signal_guest_;  // host: whose description it takes
    Clock::time_point second_, punch_second_;
};
