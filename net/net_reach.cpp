#include "net/net_reach.h"

#include <cstdio>
#include <random>

#include "net/lobby_protocol.h"
#include "net/sockets.h"

namespace {

LobbyAddress first_local_address(uint16_t port) {
    for (const std::string& a : local_addresses()) {
        in_addr in{};
        if (inet_pton(AF_INET, a.c_str(), &in) == 1) return {ntohl(in.s_addr), port};
    }
    return {};
}

// This machine's own IPv4 networks (not the loopback's).
std::vector<LobbyNetwork> own_networks() {
    std::vector<LobbyNetwork> out;
    for (const LocalInterface& a : local_interfaces()) {
        if ((a.address >> 24) != 127 && a.netmask != 0) out.push_back({a.address, a.netmask});
    }
    return out;
}

// Whether an address lies on one of this machine's own networks.
bool on_local_network(uint32_t ip) {
    for (const LobbyNetwork& n : own_networks())
        if (n.holds(ip)) return true;
    return false;
}

}  // namespace

bool is_join_code(const std::string& text) {
    return text.find_first_of(".:") == std::string::npos && !normal_code(text).empty();
}

NetReach::NetReach(NetLink& link) : link_(link) {
    link_.set_side_channel([this](const uint8_t* d, size_t n, uint32_t ip, uint16_t port) { on_datagram(d, n, ip, port); });
}

NetReach::~NetReach() {
    leave();
    link_.set_side_channel(nullptr);
}

void NetReach::fail(const std::string& why) {
    failed_ = true;
    failure_ = why;
}

void NetReach::set_relay(const IceRelay& relay) {
    relay_ = relay;
    if (relay.ip == 0) relay_name_ = std::make_unique<NameLookup>(relay.host);
}

// The meeting server's HOST[:PORT] (port 7170 unless given), its name looked up.
bool NetReach::start(const std::string& lobby, std::string* why) {
    std::string host;
    int port = 0;
    if (!split_host_port(lobby, &host, &port)) {
        *why = "the meeting server needs HOST or HOST:PORT with a port from 1 to 65535, not '" + lobby + "'";
        return false;
    }
    lobby_port_ = uint16_t(lobby.find(':') == std::string::npos ? LOBBY_DEFAULT_PORT : port);
    lobby_name_ = std::make_unique<NameLookup>(host);
    return true;
}

void NetReach::found_lobby() {
    LobbyAddress server{lobby_name_->ip(), lobby_port_};
    std::string name = lobby_name_->host();
    lobby_name_.reset();
    if (server.ip == 0) return fail("cannot find the meeting server " + name);
    auto send = [this](const LobbyAddress& to, const std::vector<uint8_t>& bytes) { link_.send_raw(to.ip, to.port, bytes); };
    client_ = std::make_unique<LobbyClient>(server, first_local_address(link_.local_port()), send, std::random_device{}());
    client_->set_own_networks(own_networks());
    // With a relay to fall back on, punching has longer before it counts as failed.
    if (relay_) client_->set_punch_ms(LOBBY_RELAY_PUNCH_MS);
    if (hosting_) {
        client_->host(LobbyClient::Clock::now());
        if (port_mapping_) mapping_.start(uint16_t(link_.port()));
    } else {
        client_->join(code_, LobbyClient::Clock::now());
    }
}

bool NetReach::host(const std::string& lobby, std::string* why) {
    hosting_ = true;
    if (lobby.empty()) return true;
    return start(lobby, why);
}

bool NetReach::join_code(const std::string& lobby, const std::string& code, const std::string& version, int delay,
                         std::string* why) {
    if (lobby.empty()) {
        *why = "joining by code needs a meeting server: --lobby HOST[:PORT] or lobby = HOST in the settings";
        return false;
    }
    code_ = normal_code(code);
    return link_.open(version, delay, why) && start(lobby, why);
}

bool NetReach::join_host(const std::string& host, int port, const std::string& version, int delay, std::string* why) {
    if (!link_.open(version, delay, why)) return false;
    host_port_ = uint16_t(port);
    host_name_ = std::make_unique<NameLookup>(host);
    return true;
}

void NetReach::update() {
    if (failed_) return;
    if (lobby_name_ && lobby_name_->done()) found_lobby();
    if (host_name_ && host_name_->done()) {
        uint32_t ip = host_name_->ip();
        std::string name = host_name_->host(), why;
        host_name_.reset();
        if (ip == 0) return fail("cannot find the host " + name);
        connected_ = true;
        if (!link_.connect_to(ip, host_port_, &why)) return fail(why);
    }
    if (!client_ || failed_) return;
    auto now = LobbyClient::Clock::now();
    client_->update(now);
    if (client_->phase() == LobbyClient::Phase::failed) return fail(client_->failure());
    if (hosting_ && !mapping_told_ && !mapping_.external().empty()) {
        mapping_told_ = true;
        client_->set_mapped(mapping_.external(), now);
        std::fprintf(stderr, "rc-whirlbat: the router forwards %s to this machine (%s)\n",
                     address_text(mapping_.external()).c_str(), mapping_.how().c_str());
    }
    update_relay(now);
    if (failed_) return;
    if (!hosting_ && !connected_ && client_->phase() == LobbyClient::Phase::met) {
        bridge_.reset();
        connected_ = true;
        std::string why;
        if (!link_.connect_to(client_->target().ip, client_->target().port, &why)) fail(why);
    }
}

std::optional<IceRelay> NetReach::chosen_relay() const {
    if (relay_) return relay_;
    const LobbyRelayOffer& offer = client_->relay();
    if (offer.empty()) return std::nullopt;
    IceRelay r;
    r.ip = offer.address.ip;
    r.port = offer.address.port;
    r.host = address_text({offer.address.ip, 0});
    r.host.resize(r.host.rfind(':'));
    r.user = offer.user;
    r.password = offer.password;
    return r;
}

bool NetReach::start_bridge(bool controlling, uint16_t port, LobbyClient::Clock::time_point now) {
    std::optional<IceRelay> relay = chosen_relay();
    if (!relay) return false;
    bridge_relay_ = *relay;
    bridge_started_ = now;
    allocation_said_ = false;
    bridge_ = std::make_unique<IceBridge>(controlling, *relay, port);
    std::string why;
    if (!bridge_->start(&why)) fail(why);
    return true;
}

// A relay that refused the credentials or does not answer is said at once, not after
// the punches' 20 s: the guest's reach ends with the line, the host says it and waits on.
void NetReach::check_allocation(LobbyClient::Clock::time_point now) {
    if (!bridge_ || bridge_->allocated() || allocation_said_) return;
    std::string relay = "the relay at " + bridge_relay_.host + ":" + std::to_string(bridge_relay_.port);
    std::string line;
    if (bridge_->gathered()) line = relay + " refused the credentials";
    else if (now - bridge_started_ >= std::chrono::milliseconds(NET_RELAY_ANSWER_MS)) line = relay + " does not answer";
    if (line.empty()) return;
    allocation_said_ = true;
    if (!hosting_) return fail(line);
    std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str());
}

void NetReach::update_relay(LobbyClient::Clock::time_point now) {
    using namespace std::chrono_literals;
    if (connected_ || link_.ready()) return;
    if (relay_name_) {
        if (!relay_name_->done()) return;
        relay_->ip = relay_name_->ip();
        std::string name = relay_name_->host();
        relay_name_.reset();
        if (relay_->ip == 0) return fail("cannot find the relay " + name);
    }
    if (!hosting_ && client_->phase() == LobbyClient::Phase::punching) {
        if (punching_since_ == LobbyClient::Clock::time_point{}) punching_since_ = now;
        if (!bridge_ && now - punching_since_ >= 1s) start_bridge(true, link_.local_port(), now);
    }
    // The host's bridge answers one guest's description; a later guest's gets a new one.
    const std::string& theirs = client_->remote_signal();
    if (hosting_ && !theirs.empty() && (!bridge_ || theirs != bridged_for_) &&
        start_bridge(false, uint16_t(link_.port()), now))
        bridged_for_ = theirs;
    if (!bridge_ || failed_) return;
    check_allocation(now);
    if (failed_) return;
    // Said again until connected: the meeting server passes signals on by UDP.
    std::string mine = bridge_->local_description();
    if (!mine.empty() && now - signalled_ >= 500ms) {
        if (!client_->send_signal(mine)) {
            return fail("this machine's description for the relay is " + std::to_string(mine.size()) +
                        " bytes, more than the meeting server passes on (" +
                        std::to_string(LOBBY_SIGNAL_PART * LOBBY_SIGNAL_PARTS) + ")");
        }
        signalled_ = now;
    }
    if (!theirs.empty()) bridge_->set_remote_description(theirs);
    if (!hosting_ && bridge_->ready()) {
        connected_ = bridged_ = true;
        std::string why;
        if (!link_.connect_to(0x7f000001u, bridge_->port(), &why)) fail(why);
    }
}

void NetReach::on_datagram(const uint8_t* data, size_t size, uint32_t ip, uint16_t port) {
    LobbyMessage m;
    if (hosting_ && link_.state() == NetLink::State::listening && decode_lobby(data, size, &m) &&
        m.kind == LobbyMessage::Kind::lan_ask) {
        LobbyMessage here;
        here.kind = LobbyMessage::Kind::lan_here;
        here.nonce = m.nonce;
        here.game_port = uint16_t(link_.port());
        here.version = link_.version();
        link_.send_raw(ip, port, encode_lobby(here));
        return;
    }
    if (client_) client_->receive(data, size, {ip, port}, LobbyClient::Clock::now());
}

std::string NetReach::way_in() const {
    if (!hosting_ || !client_ || !port_mapping_) return "";
    if (!mapping_.external().empty())
        return "The router forwards " + address_text(mapping_.external()) + " to this machine (" + mapping_.how() + ")";
    if (!mapping_.settled()) return "Asking the router to forward the port...";
    return "";
}

void NetReach::name_path() {
    if (bridge_ && (bridged_ || link_.peer_ip() == 0x7f000001u))
        return link_.set_path(bridge_->relayed() ? "relayed" : "punched");
    if (on_local_network(link_.peer_ip())) return link_.set_path("LAN");
    if (!client_) return;
    if (!hosting_) {
        if (connected_) link_.set_path(client_->target_is_local() ? "LAN" : client_->target_is_mapped() ? "mapped" : "punched");
        return;
    }
    uint32_t ip = link_.peer_ip();
    for (const LobbyAddress& a : client_->guests_local())
        if (a.ip == ip) return link_.set_path("LAN");
    // A guest tries the forwarded port first: with one, that is the way it came.
    for (const LobbyAddress& a : client_->guests_public())
        if (a.ip == ip) return link_.set_path(mapping_told_ ? "mapped" : "punched");
}

void NetReach::leave() {
    if (client_) client_->leave();
}
