#pragma once
// The connection between the two machines, over ENet (UDP with its own acknowledgements,
// resending and round-trip times). The host listens and takes one guest: the first that
// says hello with the same protocol and game version; anyone else is refused or
// ignored. Both then exchange packets (net/net_packets.h) with the one peer.
//
// Nothing here blocks: service() does what is due and returns, so the program can draw
// its waiting screen and read the devices in between.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "net/net_packets.h"

struct _ENetHost;
struct _ENetPeer;
struct _ENetEvent;

// Watchers a host takes at once, and the packets a watcher may send before it is dropped.
constexpr int NET_MOST_WATCHERS = 8;
constexpr int NET_WATCHER_PACKETS = 8;
// A peer that sends but lets the game make no progress for this long counts as gone.
constexpr int NET_SILENCE_MS = 5000;
// Silence from the other machine (a dropped network) is waited out this long: the
// connection stands, and when packets come again the match goes on where it was.
constexpr int NET_RECONNECT_MS = 20000;
// After this much silence the guest also connects to the host afresh, saying which
// session it comes back to (its address may have changed with the network), and again
// each time the attempt fails.
constexpr int NET_REJOIN_AFTER_MS = 2000;
// A connection that has not said hello by then is dropped (host); no younger one is
// ever dropped to make room for another.
constexpr int NET_HELLO_MS = 2000;
// The host takes a guest back over a new connection only with the proof of the
// session's secret, and only once the connection it has has been silent this long: a
// stranger who learns the session number can neither take the match nor reset it.
constexpr int NET_TAKE_BACK_SILENCE_MS = 2000;
// Connection requests from one IPv4 address (host): a burst of this many, then this
// many a second, and at most this many connections without a hello at once.
constexpr int NET_REQUEST_BURST = 4;
constexpr int NET_REQUESTS_PER_SECOND = 2;
constexpr int NET_STRANGERS_PER_ADDRESS = 2;
// The largest packet either side takes, and the most a peer may have waiting in
// pieces; the game's largest packet is under 200 bytes.
constexpr int NET_MAX_PACKET = 4096;
constexpr int NET_MAX_WAITING = 16384;

class NetLink {
public:
    enum class State { idle, listening, connecting, ready, closed };

    // `rules`: the fingerprint of this build's rules, compared at the handshake (two
    // builds whose rules differ cannot play together).
    explicit NetLink(uint64_t rules);
    ~NetLink();
    NetLink(const NetLink&) = delete;
    NetLink& operator=(const NetLink&) = delete;

    // Host: listens on the port for a guest, playing with this seed; a guest's input
    // delay raises `delay` if it asks for more. A negative delay (either side's) is
    // chosen from the round trip measured during the handshake (delay_for_round_trip).
    // A guest whose version or rules differ is refused. False with a message if the
    // port cannot be had.
    bool listen(int port, const std::string& version, int seed, int delay, std::string* why);
    // Guest: connects to HOST:PORT and says hello. False with a message if the name
    // cannot be resolved.
    bool join(const std::string& host, int port, const std::string& version, int delay, std::string* why);

    uint64_t rules() const { return rules_; }
    // The game's version this side plays with (given to listen, join or open).
    const std::string& version() const { return version_; }

    // Guest, in two steps: opens the UDP socket (so that the meeting service and the
    // routers see the port the game will use), then connects over a path found through
    // it (IPv4 address and port in host byte order). False with a message on failure.
    bool open(const std::string& version, int delay, std::string* why);
    bool connect_to(uint32_t ip, uint16_t port, std::string* why);
    // Datagrams on the game's socket that are not ENet's (the meeting service's, the
    // punches through the routers, the local network's questions) go to `side` instead
    // of ENet: the bytes and the sender's IPv4 address and port in host byte order.
    using SideChannel = std::function<void(const uint8_t*, size_t, uint32_t, uint16_t)>;
    void set_side_channel(SideChannel side) { side_ = std::move(side); }
    // Sends one datagram from the game's socket, outside ENet.
    void send_raw(uint32_t ip, uint16_t port, const std::vector<uint8_t>& bytes);
    // The socket's own UDP port (0 before it is open).
    uint16_t local_port() const;
    // The other machine's address once ready, in host byte order (0 before).
    uint32_t peer_ip() const;
    uint16_t peer_port() const;
    // How the two machines reached each other: LAN, direct, mapped, punched or relayed.
    const std::string& path() const { return path_; }
    void set_path(std::string p) { path_ = std::move(p); }

    // Sends what is queued and takes in what arrived, waiting up to wait_ms for the
    // first event. The other machine's well-formed packets after the handshake are
    // appended to `got`.
    void service(int wait_ms, std::vector<Packet>& got);
    // To the other machine, once ready; reliable packets are resent until acknowledged,
    // the others may be lost or come in any order.
    void send(const Packet& p, bool reliable);
    // Sends what is queued now.
    void flush();
    // Says goodbye (best effort) and closes.
    void close(ByeReason reason);

    // Watchers of the host's match: connections that said `watch` instead of hello. They
    // hear what the game sends them and are heard saying nothing: a watcher that sends
    // more than a few packets is dropped. At most NET_MOST_WATCHERS at once.
    struct WatcherEvent {
        uint32_t id = 0;
        uint32_t first = 1;  // the first frame it wants
        bool left = false;   // it came (false) or went (true)
    };
    void allow_watchers(bool on) { watchers_allowed_ = on; }
    int watchers() const { return int(watchers_.size()); }
    std::vector<WatcherEvent> take_watcher_events() { return std::exchange(watcher_events_, {}); }
    void send_to_watcher(uint32_t id, const Packet& p);
    // Guest: this link watches the host's match from frame `first` on (before join or
    // open; a link that comes back after a drop asks from the frame set_watch_from says).
    void watch_from(uint32_t first) {
        watcher_ = true;
        watch_first_ = first;
    }
    bool watcher() const { return watcher_; }
    // Guest watching: what the host said when it took the watcher.
    const Packet& watching() const { return watching_; }

    State state() const { return state_; }
    bool ready() const { return state_ == State::ready; }
    // Why the link closed, or what went wrong in the handshake, as one line for the
    // player ("Red has left", "the host runs version 1.2 ...").
    const std::string& message() const { return message_; }
    // Lines to show the player while waiting (refused guests), taken once each.
    std::vector<std::string> take_notes();
    // Why the other machine said goodbye, if it did.
    bool parted_on_desync() const { return parted_on_desync_; }
    int seed() const { return seed_; }
    int delay() const { return delay_; }
    int round_trip_ms() const;
    // Milliseconds since the other machine was last heard.
    int silent_ms() const;
    // The round trip measured during the handshake (ms, -1 unknown), and whether the
    // input delay was chosen from it.
    int handshake_round_trip_ms() const { return handshake_rtt_; }
    bool delay_chosen() const { return delay_chosen_; }
    int port() const { return port_; }
    bool hosting() const { return hosting_; }

    // Statistics: bytes of UDP payload each way, packets refused as malformed, and
    // packets from anyone but the one guest, and peers dropped for a packet larger than
    // any game packet, connection requests turned away (over their address's limit),
    // and claims to the session without a good proof.
    uint64_t bytes_sent() const;
    uint64_t bytes_received() const;
    long malformed = 0, foreign = 0, oversized = 0, turned_away = 0, false_claims = 0;
    // Times the guest came back to the session over a new connection.
    long rejoins = 0;
    uint32_t session() const { return session_; }

private:
    using Clock = std::chrono::steady_clock;
    void on_receive(_ENetPeer* from, const uint8_t* data, size_t size, std::vector<Packet>& got);
    void on_stranger(_ENetPeer* from, bool ok, const Packet& p);
    void on_host_answer(_ENetPeer* from, const Packet& p);
    bool on_watcher(_ENetPeer* from, bool ok, const Packet& p);
    bool other_protocol(_ENetPeer* from, const uint8_t* data, size_t size);
    void watcher_gone(_ENetPeer* peer);
    bool is_watcher(const _ENetPeer* peer) const;
    void on_hello(_ENetPeer* from, const Packet& p);
    void send_hello(_ENetPeer* to);
    void send_welcome(_ENetPeer* to);
    void send_token(_ENetPeer* to, int kind, const uint8_t* token);
    void on_claim(_ENetPeer* from, const Packet& p);
    void on_proof(_ENetPeer* from, const Packet& p);
    void take_back(_ENetPeer* from);
    void rejoin();
    void refuse(_ENetPeer* to, RefuseReason why);
    void close_with(const std::string& message);
    void send_to(_ENetPeer* to, const Packet& p, bool reliable);
    // Sees each datagram before ENet does: oversized packets, and room for a new
    // connection when strangers hold every slot.
    static int intercept(_ENetHost* host, _ENetEvent* event);
    bool admit_request(uint32_t connect_id);
    void make_room();
    void note_request();
    void drop_marked();
    void drop_strangers();

    struct Stranger {
        bool known = false;
        uint32_t connect_id = 0, address = 0;
        uint16_t port = 0;
        Clock::time_point since;
    };
    std::vector<Stranger> strangers_;  // host: by ENet peer, those without a hello
    std::vector<_ENetPeer*> marked_;   // to be dropped after this round of ENet's

    SideChannel side_;
    std::string path_ = "direct";
    _ENetHost* host_ = nullptr;
    _ENetPeer* peer_ = nullptr;     // the other machine, once the handshake is done
    _ENetPeer* pending_ = nullptr;  // guest: the host, until it welcomes us
    bool hosting_ = false;
    bool parted_on_desync_ = false;
    State state_ = State::idle;
    std::string version_, message_;
    std::vector<std::string> notes_;
    int seed_ = 0, delay_ = 1, port_ = 0;
    bool auto_delay_ = false, delay_chosen_ = false;
    int handshake_rtt_ = -1;
    uint64_t rules_ = 0;
    Clock::time_point join_started_;
    uint32_t session_ = 0;
    uint32_t host_address_ = 0;  // guest: the host's, to come back to
    uint16_t host_port_ = 0;
    Clock::time_point rejoin_tried_;
    // Host: when each of the last few connection requests came, by address and port.
    struct Request {
        uint32_t address = 0;
        uint16_t port = 0;
        Clock::time_point at;
    };
    std::vector<Request> requests_;
    // Host: connection requests lately, by address (a few dozen addresses at most).
    struct Source {
        uint32_t address = 0;
        double tokens = 0;
        Clock::time_point at;
    };
    std::vector<Source> sources_;
    // The session's secret (host: made at the first hello; guest: from the host), and
    // the challenges sent to connections that claimed the session, by ENet peer.
    std::array<uint8_t, NET_TOKEN_BYTES> secret_{};
    bool have_secret_ = false;
    struct Claim {
        _ENetPeer* peer = nullptr;
        std::array<uint8_t, NET_TOKEN_BYTES> challenge{};
    };
    std::vector<Claim> claims_;
    Clock::time_point last_heard_;
    uint64_t sent_before_ = 0, received_before_ = 0;
    // Host: its match's watchers.
    struct Watcher {
        _ENetPeer* peer = nullptr;
        uint32_t id = 0;
        int packets = 0;  // heard from it since it came
    };
    std::vector<Watcher> watchers_;
    std::vector<WatcherEvent> watcher_events_;
    bool watchers_allowed_ = true;
    uint32_t next_watcher_ = 1;
    // Guest: a watcher, and from which frame.
    bool watcher_ = false;
    uint32_t watch_first_ = 1;
    Packet watching_;
};

// A build's rules fingerprint as players see it beside a version: 8 hex digits.
std::string fingerprint_text(uint64_t fingerprint);

// The input delay for a round trip: the frames that hide it (1 under 40 ms, 2 under
// 100, 3 under 160, 4 beyond).
int delay_for_round_trip(int round_trip_ms);

// "1.2.3.4", or "[::1]" ... : the machine's own IPv4 addresses, for the waiting screen.
std::vector<std::string> local_addresses();
// HOST or HOST:PORT; false if the port is not a number from 1 to 65535.
bool split_host_port(const std::string& text, std::string* host, int* port);
