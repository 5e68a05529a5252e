#include "net/net_link.h"

#include <enet/enet.h>
#include <sodium.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <random>
#include <utility>

#include "base/bytes.h"
#include "net/lobby_protocol.h"
#include "net/sockets.h"

namespace {

constexpr int kChannels = 1;
// The guest, its new connection when it comes back, and room for strangers to be refused
// politely (each address holds few of them).
constexpr int kHostPeers = 64;
constexpr int kHandshakeMs = 10000;
constexpr size_t kMostSources = 64;

void start_enet() {
    static bool started = false;
    if (started) return;
    started = enet_initialize() == 0 && sodium_init() >= 0;
    if (started) std::atexit(enet_deinitialize);
}

// What a returning guest answers a challenge with: HMAC-SHA-256 under the session's
// secret of the session number and the challenge.
std::array<uint8_t, NET_TOKEN_BYTES> proof_of(const std::array<uint8_t, NET_TOKEN_BYTES>& secret, uint32_t session,
                                              const std::array<uint8_t, NET_TOKEN_BYTES>& challenge) {
    static_assert(NET_TOKEN_BYTES == crypto_auth_hmacsha256_BYTES && NET_TOKEN_BYTES == crypto_auth_hmacsha256_KEYBYTES);
    std::vector<uint8_t> message;
    ByteWriter<ByteOrder::little> w(message);
    w.bytes("WBAT back", 9);
    w.u32(session);
    w.bytes(challenge.data(), challenge.size());
    std::array<uint8_t, NET_TOKEN_BYTES> out{};
    crypto_auth_hmacsha256(out.data(), message.data(), message.size(), secret.data());
    return out;
}

const char* other_side(bool hosting) { return hosting ? "Red" : "Blue"; }

int ms_since(std::chrono::steady_clock::time_point t) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}

std::string build_name(const std::string& version, uint64_t rules) {
    return "version " + version + " (rules " + fingerprint_text(rules) + ")";
}

// The links by their ENet host, for the datagram hook (which ENet gives no pointer of ours).
std::vector<std::pair<ENetHost*, NetLink*>>& links() {
    static std::vector<std::pair<ENetHost*, NetLink*>> all;
    return all;
}

// ENet's own headers are in network order; callers have checked the bytes are there.
uint16_t read16(const uint8_t* p) {
    uint16_t v = 0;
    ByteReader<ByteOrder::big>(p, 2).u16(v);
    return v;
}

uint32_t read32(const uint8_t* p) {
    uint32_t v = 0;
    ByteReader<ByteOrder::big>(p, 4).u32(v);
    return v;
}

// The size of the packet a command carries (the whole packet for a fragment), and the
// bytes of data that follow the command in the datagram; false for a command that
// carries none.
bool carried(const uint8_t* c, size_t left, size_t* packet, size_t* data) {
    switch (c[0] & ENET_PROTOCOL_COMMAND_MASK) {
        case ENET_PROTOCOL_COMMAND_SEND_RELIABLE:
            if (left < 6) return false;
            *packet = *data = read16(c + 4);
            return true;
        case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE:
        case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED:
            if (left < 8) return false;
            *packet = *data = read16(c + 6);
            return true;
        case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
        case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT:
            if (left < 24) return false;
            *data = read16(c + 6);
            *packet = std::max<size_t>(*data, read32(c + 16));
            return true;
        default: return false;
    }
}

void limit(ENetHost* host) {
    host->maximumPacketSize = NET_MAX_PACKET;
    host->maximumWaitingData = NET_MAX_WAITING;
}

}  // namespace

NetLink::NetLink(uint64_t rules) : rules_(rules) {}

NetLink::~NetLink() {
    auto& all = links();
    all.erase(std::remove_if(all.begin(), all.end(), [this](const auto& l) { return l.second == this; }), all.end());
    if (host_) enet_host_destroy(host_);
}

int NetLink::intercept(ENetHost* host, ENetEvent*) {
    auto& all = links();
    auto it = std::find_if(all.begin(), all.end(), [host](const auto& l) { return l.first == host; });
    if (it == all.end()) return 0;
    NetLink& self = *it->second;
    const uint8_t* d = host->receivedData;
    size_t size = host->receivedDataLength;
    if (self.side_ && looks_like_lobby(d, size)) {
        self.side_(d, size, ntohl(host->receivedAddress.host), host->receivedAddress.port);
        return 1;
    }
    if (size < 2) return 0;
    uint16_t head = read16(d);
    if (head & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) return 0;  // ENet drops it: we set no compressor
    size_t at = (head & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
    uint16_t id = head & ENET_PROTOCOL_MAXIMUM_PEER_ID;
    ENetPeer* from = nullptr;
    if (id < host->peerCount) {
        ENetPeer* p = &host->peers[id];
        if (p->state != ENET_PEER_STATE_DISCONNECTED && p->address.host == host->receivedAddress.host &&
            p->address.port == host->receivedAddress.port)
            from = p;
    }
    if (from && std::find(self.marked_.begin(), self.marked_.end(), from) != self.marked_.end()) return 1;
    while (at + 4 <= size) {
        uint8_t command = d[at] & ENET_PROTOCOL_COMMAND_MASK;
        // ENet's table of sizes has an entry for each command it knows, and no more.
        if (command >= ENET_PROTOCOL_COMMAND_COUNT) break;
        size_t length = enet_protocol_command_size(command);
        if (length == 0 || at + length > size) break;
        if (command == ENET_PROTOCOL_COMMAND_CONNECT && id == ENET_PROTOCOL_MAXIMUM_PEER_ID) {
            // ENet keeps the connection's number as it came, unconverted.
            uint32_t connect_id = 0;
            std::memcpy(&connect_id, d + at + offsetof(ENetProtocolConnect, connectID), sizeof connect_id);
            if (!self.admit_request(connect_id)) {
                ++self.turned_away;
                return 1;
            }
            self.note_request();
            self.make_room();
        }
        size_t packet = 0, data = 0;
        if (carried(d + at, size - at, &packet, &data)) {
            if (packet > size_t(NET_MAX_PACKET) && from) {
                ++self.oversized;
                self.marked_.push_back(from);
                return 1;
            }
        }
        at += length + data;
    }
    return 0;
}

// The first time a connection request from an address and port came: the round trip
// runs from there to its hello.
void NetLink::note_request() {
    if (!hosting_) return;
    const ENetAddress& from = host_->receivedAddress;
    for (const Request& r : requests_) {
        if (r.address == from.host && r.port == from.port) return;
    }
    if (requests_.size() >= 16) requests_.erase(requests_.begin());
    requests_.push_back(Request{from.host, from.port, Clock::now()});
}

// Host: whether a connection request may go to ENet. The same request again (ENet
// resends it) always may; otherwise its address must be within its rate and hold fewer
// than NET_STRANGERS_PER_ADDRESS connections that have not said hello.
bool NetLink::admit_request(uint32_t connect_id) {
    if (!hosting_) return true;
    const ENetAddress& from = host_->receivedAddress;
    int held = 0;
    for (size_t i = 0; i < host_->peerCount; ++i) {
        ENetPeer* p = &host_->peers[i];
        if (p->state != ENET_PEER_STATE_DISCONNECTED && p->address.host == from.host && p->address.port == from.port &&
            p->connectID == connect_id)
            return true;
        // The guest and the watchers said who they are: they are no strangers.
        if (p->state == ENET_PEER_STATE_DISCONNECTED || p == peer_ || is_watcher(p) || p->address.host != from.host)
            continue;
        ++held;
    }
    if (held >= NET_STRANGERS_PER_ADDRESS) return false;
    auto now = Clock::now();
    auto it = std::find_if(sources_.begin(), sources_.end(), [&](const Source& s) { return s.address == from.host; });
    if (it == sources_.end()) {
        if (sources_.size() >= kMostSources) {
            sources_.erase(std::min_element(sources_.begin(), sources_.end(),
                                            [](const Source& a, const Source& b) { return a.at < b.at; }));
        }
        sources_.push_back(Source{from.host, double(NET_REQUEST_BURST), now});
        it = sources_.end() - 1;
    } else {
        double refill = std::chrono::duration<double>(now - it->at).count() * NET_REQUESTS_PER_SECOND;
        it->tokens = std::min(double(NET_REQUEST_BURST), it->tokens + refill);
        it->at = now;
    }
    if (it->tokens < 1) return false;
    it->tokens -= 1;
    return true;
}

// A connection request while every slot is taken: a connection that has had its time
// to say hello and not yet been dropped makes room. A younger one never does: a guest
// may take a frame or two between connecting and its hello.
void NetLink::make_room() {
    if (!hosting_) return;
    const ENetAddress& from = host_->receivedAddress;
    auto now = Clock::now();
    ENetPeer* oldest = nullptr;
    Clock::time_point oldest_since = now;
    for (size_t i = 0; i < host_->peerCount; ++i) {
        ENetPeer* p = &host_->peers[i];
        if (p->state == ENET_PEER_STATE_DISCONNECTED) return;
        if (p->address.host == from.host && p->address.port == from.port) return;  // asked again
        if (p == peer_ || i >= strangers_.size() || !strangers_[i].known) continue;
        if (strangers_[i].since < oldest_since) {
            oldest = p;
            oldest_since = strangers_[i].since;
        }
    }
    if (!oldest || now - oldest_since < std::chrono::milliseconds(NET_HELLO_MS)) return;
    if (oldest == pending_) pending_ = nullptr;
    strangers_[size_t(oldest - host_->peers)].known = false;
    enet_peer_reset(oldest);
}

void NetLink::drop_marked() {
    for (ENetPeer* p : marked_) {
        if (p == peer_) {
            peer_ = nullptr;
            close_with(std::string(other_side(hosting_)) + " has left");
        }
        if (p == pending_) {
            pending_ = nullptr;
            if (!hosting_ && state_ != State::ready) close_with("no answer from the host");
        }
        if (size_t(p - host_->peers) < strangers_.size()) strangers_[size_t(p - host_->peers)].known = false;
        enet_peer_disconnect_now(p, 0);
    }
    marked_.clear();
}

// Every connection but the guest's is dropped once it has been there NET_HELLO_MS.
void NetLink::drop_strangers() {
    if (!hosting_) return;
    strangers_.resize(host_->peerCount);
    auto now = Clock::now();
    for (size_t i = 0; i < host_->peerCount; ++i) {
        ENetPeer* p = &host_->peers[i];
        Stranger& s = strangers_[i];
        if (p->state == ENET_PEER_STATE_DISCONNECTED || p == peer_ || is_watcher(p)) {
            s.known = false;
            continue;
        }
        if (!s.known || s.connect_id != p->connectID || s.address != p->address.host || s.port != p->address.port) {
            s = Stranger{true, p->connectID, p->address.host, p->address.port, now};
        } else if (now - s.since > std::chrono::milliseconds(NET_HELLO_MS)) {
            s.known = false;
            if (p == pending_) pending_ = nullptr;
            enet_peer_disconnect_now(p, 0);
        }
    }
}

bool NetLink::listen(int port, const std::string& version, int seed, int delay, std::string* why) {
    start_enet();
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = uint16_t(port);
    host_ = enet_host_create(&address, kHostPeers, kChannels, 0, 0);
    if (!host_) {
        *why = "cannot listen on UDP port " + std::to_string(port) + " (is another game using it?)";
        return false;
    }
    limit(host_);
    host_->intercept = &NetLink::intercept;
    links().emplace_back(host_, this);
    hosting_ = true;
    version_ = version;
    seed_ = seed;
    auto_delay_ = delay < 0;
    delay_ = auto_delay_ ? 0 : delay;
    std::random_device entropy;
    while (session_ == 0) session_ = entropy();
    port_ = port;
    state_ = State::listening;
    return true;
}

bool NetLink::join(const std::string& host, int port, const std::string& version, int delay, std::string* why) {
    start_enet();
    ENetAddress address{};
    if (enet_address_set_host(&address, host.c_str()) != 0) {
        *why = "cannot find the host " + host;
        return false;
    }
    return open(version, delay, why) && connect_to(ntohl(address.host), uint16_t(port), why);
}

bool NetLink::open(const std::string& version, int delay, std::string* why) {
    start_enet();
    // Two peers: the host, and the host again over a new connection after a drop.
    host_ = enet_host_create(nullptr, 2, kChannels, 0, 0);
    if (!host_) {
        *why = "cannot open a UDP socket";
        return false;
    }
    limit(host_);
    host_->intercept = &NetLink::intercept;
    links().emplace_back(host_, this);
    version_ = version;
    auto_delay_ = delay < 0;
    delay_ = auto_delay_ ? 0 : delay;
    state_ = State::connecting;
    last_heard_ = Clock::now();
    join_started_ = last_heard_;
    return true;
}

bool NetLink::connect_to(uint32_t ip, uint16_t port, std::string* why) {
    ENetAddress address{};
    address.host = htonl(ip);
    address.port = port;
    host_address_ = address.host;
    host_port_ = address.port;
    pending_ = host_ ? enet_host_connect(host_, &address, kChannels, 0) : nullptr;
    // ENet gives up no sooner than the handshake's own limit.
    if (pending_) enet_peer_timeout(pending_, 0, kHandshakeMs, kHandshakeMs);
    if (!pending_) {
        *why = "cannot connect to " + address_text({ip, port});
        return false;
    }
    port_ = port;
    last_heard_ = Clock::now();
    return true;
}

void NetLink::send_raw(uint32_t ip, uint16_t port, const std::vector<uint8_t>& bytes) {
    if (!host_) return;
    ENetAddress to{};
    to.host = htonl(ip);
    to.port = port;
    ENetBuffer buffer;
    buffer.data = const_cast<uint8_t*>(bytes.data());
    buffer.dataLength = bytes.size();
    enet_socket_send(host_->socket, &to, &buffer, 1);
}

uint16_t NetLink::local_port() const {
    ENetAddress a{};
    if (!host_ || enet_socket_get_address(host_->socket, &a) != 0) return 0;
    return a.port;
}

uint32_t NetLink::peer_ip() const { return peer_ ? ntohl(peer_->address.host) : 0; }
uint16_t NetLink::peer_port() const { return peer_ ? peer_->address.port : 0; }

void NetLink::send_to(ENetPeer* to, const Packet& p, bool reliable) {
    std::vector<uint8_t> bytes = encode_packet(p);
    ENetPacket* packet =
        enet_packet_create(bytes.data(), bytes.size(), reliable ? ENET_PACKET_FLAG_RELIABLE : ENET_PACKET_FLAG_UNSEQUENCED);
    if (packet && enet_peer_send(to, 0, packet) != 0) enet_packet_destroy(packet);
}

void NetLink::send(const Packet& p, bool reliable) {
    if (state_ == State::ready && peer_) send_to(peer_, p, reliable);
}

void NetLink::flush() {
    if (host_) enet_host_flush(host_);
}

void NetLink::refuse(ENetPeer* to, RefuseReason why) {
    Packet p;
    p.kind = Packet::Kind::refuse;
    p.refuse = why;
    p.version = version_;
    p.rules = rules_;
    send_to(to, p, true);
    enet_peer_disconnect_later(to, 0);
}

void NetLink::close_with(const std::string& message) {
    if (state_ == State::closed) return;
    state_ = State::closed;
    message_ = message;
}

void NetLink::close(ByeReason reason) {
    if (!host_ || state_ == State::closed) return;
    if (peer_) {
        Packet bye;
        bye.kind = Packet::Kind::bye;
        bye.bye = reason;
        send_to(peer_, bye, true);
        enet_peer_disconnect_later(peer_, 0);
        // A moment for the goodbye to leave; the other side notices silence otherwise.
        ENetEvent event;
        auto until = Clock::now() + std::chrono::milliseconds(200);
        while (Clock::now() < until && enet_host_service(host_, &event, 10) >= 0) {
            if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
            if (event.type == ENET_EVENT_TYPE_DISCONNECT && event.peer == peer_) break;
        }
        enet_peer_reset(peer_);
        peer_ = nullptr;
    }
    close_with("");
}

void NetLink::on_hello(ENetPeer* from, const Packet& p) {
    if (p.protocol != NET_PROTOCOL || p.version != version_) {
        notes_.push_back("a guest with version " + p.version + " tried to join; this is version " + version_ +
                         ": both need the same version");
        refuse(from, p.protocol != NET_PROTOCOL ? RefuseReason::protocol : RefuseReason::version);
        pending_ = nullptr;
        return;
    }
    if (p.rules != rules_) {
        notes_.push_back("a guest with " + build_name(p.version, p.rules) + " tried to join; this is " +
                         build_name(version_, rules_) + ": both need the same rules");
        refuse(from, RefuseReason::rules);
        pending_ = nullptr;
        return;
    }
    // The round trip: from the guest's connection to its hello here, and the guest's own
    // from its request to our answer; a lost packet only lengthens one, so the shorter.
    int rtt = -1;
    for (const Request& r : requests_) {
        if (r.address == from->address.host && r.port == from->address.port) rtt = ms_since(r.at);
    }
    if (p.round_trip > 0 && (rtt < 0 || p.round_trip < rtt)) rtt = p.round_trip;
    handshake_rtt_ = rtt;
    int chosen = delay_for_round_trip(rtt < 0 ? 0 : rtt);
    int mine = auto_delay_ ? chosen : delay_, theirs = p.auto_delay ? chosen : p.delay;
    delay_ = std::max(mine, theirs);
    delay_chosen_ = auto_delay_ || p.auto_delay;
    requests_.clear();
    peer_ = from;
    pending_ = nullptr;
    state_ = State::ready;
    last_heard_ = Clock::now();
    sent_before_ = host_->totalSentData;
    received_before_ = host_->totalReceivedData;
    send_welcome(from);
    randombytes_buf(secret_.data(), secret_.size());
    have_secret_ = true;
    send_token(from, int(Packet::Kind::secret), secret_.data());
}

void NetLink::send_token(ENetPeer* to, int kind, const uint8_t* token) {
    Packet p;
    p.kind = Packet::Kind(kind);
    std::copy(token, token + NET_TOKEN_BYTES, p.token.begin());
    send_to(to, p, true);
}

// Host: a new connection's hello names the session: it may be the guest coming back, or
// anyone who learnt the number. It hears a challenge only the session's secret answers.
void NetLink::on_claim(ENetPeer* from, const Packet&) {
    if (!have_secret_) {
        refuse(from, RefuseReason::busy);
        ++false_claims;
        return;
    }
    auto claim = std::find_if(claims_.begin(), claims_.end(), [&](const Claim& c) { return c.peer == from; });
    if (claim == claims_.end()) {
        if (claims_.size() >= size_t(kHostPeers)) claims_.erase(claims_.begin());
        claims_.push_back(Claim{from, {}});
        claim = claims_.end() - 1;
    }
    randombytes_buf(claim->challenge.data(), claim->challenge.size());
    send_token(from, int(Packet::Kind::challenge), claim->challenge.data());
}

// Host: the answer to a challenge. A good proof takes the session back once the
// connection the host has now has been silent NET_TAKE_BACK_SILENCE_MS (the guest asks
// again while it is not); a wrong one, or one never asked for, is refused.
void NetLink::on_proof(ENetPeer* from, const Packet& p) {
    auto claim = std::find_if(claims_.begin(), claims_.end(), [&](const Claim& c) { return c.peer == from; });
    bool good = claim != claims_.end() &&
                sodium_memcmp(proof_of(secret_, session_, claim->challenge).data(), p.token.data(), NET_TOKEN_BYTES) == 0;
    if (claim != claims_.end()) claims_.erase(claim);
    if (!good) {
        ++false_claims;
        refuse(from, RefuseReason::busy);
        return;
    }
    if (ms_since(last_heard_) >= NET_TAKE_BACK_SILENCE_MS) take_back(from);
}

// Host: the guest of this session is back over a new connection (after a drop, perhaps
// from another address), and proved it: the game goes on with it there.
void NetLink::take_back(ENetPeer* from) {
    ENetPeer* old = peer_;
    peer_ = from;
    claims_.clear();
    if (old && old != from) enet_peer_reset(old);
    last_heard_ = Clock::now();
    ++rejoins;
    send_welcome(from);
}

void NetLink::send_welcome(ENetPeer* to) {
    Packet welcome;
    welcome.kind = Packet::Kind::welcome;
    welcome.version = version_;
    welcome.seed = seed_;
    welcome.rules = rules_;
    welcome.session = session_;
    welcome.delay = delay_;
    send_to(to, welcome, true);
}

void NetLink::send_hello(ENetPeer* to) {
    if (watcher_) {
        Packet watch;
        watch.kind = Packet::Kind::watch;
        watch.version = version_;
        watch.rules = rules_;
        watch.session = session_;
        watch.first = watch_first_;
        send_to(to, watch, true);
        return;
    }
    Packet hello;
    hello.kind = Packet::Kind::hello;
    hello.version = version_;
    hello.rules = rules_;
    hello.session = session_;
    if (state_ != State::ready) handshake_rtt_ = ms_since(join_started_);
    hello.round_trip = uint16_t(std::clamp(handshake_rtt_, 1, 65535));
    hello.auto_delay = auto_delay_;
    hello.delay = delay_;
    send_to(to, hello, true);
}

// Guest: a new connection to the host while the old one is silent.
void NetLink::rejoin() {
    if (hosting_ || state_ != State::ready || pending_ || session_ == 0) return;
    if (ms_since(last_heard_) < NET_REJOIN_AFTER_MS || ms_since(rejoin_tried_) < NET_REJOIN_AFTER_MS) return;
    rejoin_tried_ = Clock::now();
    ENetAddress address{};
    address.host = host_address_;
    address.port = host_port_;
    pending_ = enet_host_connect(host_, &address, kChannels, 0);
}

// Once the link is ready: a packet from anyone but the other machine (a guest coming
// back over a new connection, a second guest, the host taking us back, a stranger).
void NetLink::on_stranger(ENetPeer* from, bool ok, const Packet& p) {
    bool same_session =
        ok && p.session == session_ && p.protocol == NET_PROTOCOL && p.version == version_ && p.rules == rules_;
    if (hosting_ && ok && p.kind == Packet::Kind::hello && same_session) {
        on_claim(from, p);
    } else if (hosting_ && ok && p.kind == Packet::Kind::proof) {
        on_proof(from, p);
    } else if (!hosting_ && from == pending_ && ok && p.kind == Packet::Kind::challenge) {
        // The host asks the returning guest to prove it is the one it played with.
        if (have_secret_) send_token(from, int(Packet::Kind::proof), proof_of(secret_, session_, p.token).data());
    } else if (hosting_ && ok && p.kind == Packet::Kind::hello) {
        // A second guest that got in before the first said hello hears it too late.
        refuse(from, RefuseReason::busy);
        ++foreign;
    } else if (!hosting_ && from == pending_ && ok && p.kind == Packet::Kind::welcome && same_session) {
        // Back with the host over the new connection.
        ENetPeer* old = peer_;
        peer_ = from;
        pending_ = nullptr;
        if (old) enet_peer_reset(old);
        last_heard_ = Clock::now();
        ++rejoins;
    } else if (!hosting_ && watcher_ && from == pending_ && ok && p.kind == Packet::Kind::watching && same_session) {
        // A watcher back with the host over a new connection: no proof needed, it
        // touches nothing of the match.
        ENetPeer* old = peer_;
        peer_ = from;
        pending_ = nullptr;
        if (old) enet_peer_reset(old);
        last_heard_ = Clock::now();
        ++rejoins;
    } else if (!hosting_ && from == pending_) {
        // The host would not take us back: the old connection may still come back.
        enet_peer_reset(pending_);
        pending_ = nullptr;
    } else {
        ++foreign;
    }
}

// The guest's handshake: the host's welcome or refusal.
void NetLink::on_host_answer(ENetPeer* from, const Packet& p) {
    if (p.kind == Packet::Kind::refuse) {
        if (p.refuse == RefuseReason::busy) close_with("the host already has a guest");
        else if (p.refuse == RefuseReason::watchers) close_with("the host takes no watchers now");
        else if (p.refuse == RefuseReason::rules)
            close_with("the host runs " + build_name(p.version, p.rules) + ", this is " + build_name(version_, rules_) +
                       ": both need the same rules");
        else close_with("the host runs version " + p.version + ", this is version " + version_ + ": both need the same version");
        return;
    }
    if (p.protocol != NET_PROTOCOL || p.version != version_) {
        close_with("the host runs version " + p.version + ", this is version " + version_ + ": both need the same version");
        return;
    }
    if (p.rules != rules_) {
        close_with("the host runs " + build_name(p.version, p.rules) + ", this is " + build_name(version_, rules_) +
                   ": both need the same rules");
        return;
    }
    if (p.kind == Packet::Kind::watching) watching_ = p;
    delay_chosen_ = auto_delay_;
    peer_ = from;
    pending_ = nullptr;
    seed_ = p.seed;
    session_ = p.session;
    delay_ = p.delay;
    state_ = State::ready;
    last_heard_ = Clock::now();
    sent_before_ = host_->totalSentData;
    received_before_ = host_->totalReceivedData;
}

bool NetLink::is_watcher(const ENetPeer* peer) const {
    return std::any_of(watchers_.begin(), watchers_.end(), [peer](const Watcher& w) { return w.peer == peer; });
}

// Host: a packet from a watcher, or a connection asking to watch. True if it was either.
bool NetLink::on_watcher(ENetPeer* from, bool ok, const Packet& p) {
    auto w = std::find_if(watchers_.begin(), watchers_.end(), [from](const Watcher& v) { return v.peer == from; });
    if (w != watchers_.end()) {
        // A watcher sends nothing into the match; one that keeps talking is dropped.
        if (++w->packets > NET_WATCHER_PACKETS) {
            ++foreign;
            watcher_gone(from);
            enet_peer_disconnect_now(from, 0);
        }
        return true;
    }
    if (!ok || p.kind != Packet::Kind::watch || from == peer_) return false;
    if (p.protocol != NET_PROTOCOL || p.version != version_ || p.rules != rules_) {
        notes_.push_back("a watcher with " + build_name(p.version, p.rules) + " tried to watch; this is " +
                         build_name(version_, rules_) + ": both need the same version and rules");
        refuse(from, p.rules != rules_ && p.version == version_ ? RefuseReason::rules : RefuseReason::version);
        return true;
    }
    if (!watchers_allowed_ || watchers_.size() >= size_t(NET_MOST_WATCHERS)) {
        refuse(from, RefuseReason::watchers);
        return true;
    }
    if (from == pending_) pending_ = nullptr;
    watchers_.push_back(Watcher{from, next_watcher_++, 0});
    watcher_events_.push_back(WatcherEvent{watchers_.back().id, p.first, false});
    return true;
}

void NetLink::watcher_gone(ENetPeer* peer) {
    auto w = std::find_if(watchers_.begin(), watchers_.end(), [peer](const Watcher& v) { return v.peer == peer; });
    if (w == watchers_.end()) return;
    watcher_events_.push_back(WatcherEvent{w->id, 0, true});
    watchers_.erase(w);
}

void NetLink::send_to_watcher(uint32_t id, const Packet& p) {
    for (const Watcher& w : watchers_) {
        if (w.id == id) send_to(w.peer, p, true);
    }
}

// Host: a hello (or a watch) of another protocol than this one's gets a refusal it can
// read, naming this side's version, and a line here naming both.
bool NetLink::other_protocol(ENetPeer* from, const uint8_t* data, size_t size) {
    uint16_t protocol = 0;
    std::string version;
    if (!read_hello_head(data, size, &protocol, &version) || protocol == NET_PROTOCOL) return false;
    notes_.push_back("a guest with version " + version + " (protocol " + std::to_string(protocol) +
                     ") tried to join; this is version " + version_ + " (protocol " + std::to_string(NET_PROTOCOL) +
                     "): both need the same version");
    std::vector<uint8_t> bytes = encode_refusal_for(protocol, RefuseReason::protocol, version_, rules_);
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    if (enet_peer_send(from, 0, packet) != 0) enet_packet_destroy(packet);
    enet_peer_disconnect_later(from, 0);
    ++malformed;
    return true;
}

void NetLink::on_receive(ENetPeer* from, const uint8_t* data, size_t size, std::vector<Packet>& got) {
    Packet p;
    bool ok = decode_packet(data, size, &p);
    if (hosting_ && (on_watcher(from, ok, p) || (!ok && other_protocol(from, data, size)))) return;
    if (state_ == State::ready) {
        if (from != peer_) return on_stranger(from, ok, p);
        if (ok && !hosting_ && p.kind == Packet::Kind::secret && !have_secret_) {
            secret_ = p.token;
            have_secret_ = true;
            return;
        }
        if (!ok || p.kind == Packet::Kind::hello || p.kind == Packet::Kind::welcome || p.kind == Packet::Kind::refuse ||
            p.kind == Packet::Kind::secret || p.kind == Packet::Kind::challenge || p.kind == Packet::Kind::proof) {
            ++malformed;
            return;
        }
        last_heard_ = Clock::now();
        if (p.kind == Packet::Kind::bye) {
            parted_on_desync_ = p.bye == ByeReason::desync;
            close_with(parted_on_desync_ ? "the two games went apart: online play stopped"
                                         : std::string(other_side(hosting_)) + " has left");
            return;
        }
        got.push_back(std::move(p));
        return;
    }
    // The host hears every connection until one says hello; the guest only the host.
    if (!hosting_ && from != pending_) {
        ++foreign;
        return;
    }
    if (!ok) {
        ++malformed;
        return;
    }
    if (hosting_ && p.kind == Packet::Kind::hello) on_hello(from, p);
    else if (!hosting_ && (p.kind == (watcher_ ? Packet::Kind::watching : Packet::Kind::welcome) ||
                           p.kind == Packet::Kind::refuse))
        on_host_answer(from, p);
    else ++malformed;
}

void NetLink::service(int wait_ms, std::vector<Packet>& got) {
    if (!host_ || state_ == State::closed || state_ == State::idle) return;
    ENetEvent event;
    int wait = wait_ms;
    while (state_ != State::closed && enet_host_service(host_, &event, enet_uint32(wait)) > 0) {
        wait = 0;
        drop_marked();
        switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT:
                // The host, with a guest already, waits for the hello: its own guest may
                // be coming back over a new connection; anyone else is refused then.
                if (!hosting_) send_hello(event.peer);
                enet_peer_timeout(event.peer, 0, NET_RECONNECT_MS, NET_RECONNECT_MS);
                break;
            case ENET_EVENT_TYPE_RECEIVE:
                on_receive(event.peer, event.packet->data, event.packet->dataLength, got);
                enet_packet_destroy(event.packet);
                break;
            case ENET_EVENT_TYPE_DISCONNECT:
                watcher_gone(event.peer);
                if (event.peer == peer_) {
                    peer_ = nullptr;
                    close_with(std::string(other_side(hosting_)) + " has left");
                } else if (event.peer == pending_) {
                    pending_ = nullptr;
                    if (!hosting_ && state_ != State::ready) close_with("no answer from the host");
                }
                break;
            case ENET_EVENT_TYPE_NONE: break;
        }
    }
    drop_marked();
    drop_strangers();
    rejoin();
    auto quiet = Clock::now() - last_heard_;
    bool silent = quiet > std::chrono::milliseconds(state_ == State::ready ? NET_RECONNECT_MS : kHandshakeMs);
    if (state_ == State::ready && silent) {
        close_with(std::string(other_side(hosting_)) + " has left (no word for " +
                   std::to_string(NET_RECONNECT_MS / 1000) + " seconds)");
    } else if (state_ == State::connecting && pending_ && silent) {
        close_with("no answer from the host after " + std::to_string(kHandshakeMs / 1000) + " s");
    }
}

std::vector<std::string> NetLink::take_notes() { return std::exchange(notes_, {}); }

int NetLink::silent_ms() const { return state_ == State::ready ? ms_since(last_heard_) : 0; }

int NetLink::round_trip_ms() const { return peer_ ? int(peer_->roundTripTime) : 0; }

uint64_t NetLink::bytes_sent() const { return host_ ? host_->totalSentData - sent_before_ : 0; }
uint64_t NetLink::bytes_received() const { return host_ ? host_->totalReceivedData - received_before_ : 0; }

std::string fingerprint_text(uint64_t fingerprint) {
    char text[17];
    std::snprintf(text, sizeof text, "%08" PRIx32, uint32_t(fingerprint >> 32));
    return text;
}

int delay_for_round_trip(int round_trip_ms) {
    if (round_trip_ms < 40) return 1;
    if (round_trip_ms < 100) return 2;
    if (round_trip_ms < 160) return 3;
    return 4;
}

std::vector<std::string> local_addresses() {
    std::vector<std::string> out;
    for (const LocalInterface& i : local_interfaces()) {
        if ((i.address >> 24) != 127) out.push_back(ipv4_text(i.address));
    }
    return out;
}

bool split_host_port(const std::string& text, std::string* host, int* port) {
    size_t colon = text.rfind(':');
    *host = text.substr(0, colon);
    *port = NET_DEFAULT_PORT;
    if (host->empty()) return false;
    if (colon == std::string::npos) return true;
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 65535) return false;
    *port = int(n);
    return true;
}
