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

// Whether an address lies on one of this machine's own networks (not the loopback's).
bool on_local_network(uint32_t ip) {
    for (const LocalInterface& a : local_interfaces()) {
        if ((a.address >> 24) != 127 && a.netmask != 0 && (a.address & a.netmask) == (ip & a.netmask)) return true;
    }
    return false;
}

}  // namespace

bool resolve_lobby(const std::string& text, LobbyAddress* out, std::string* why) {
    std::string host;
    int port = 0;
    if (!split_host_port(text, &host, &port)) {
        *why = "the meeting server needs HOST or HOST:PORT with a port from 1 to 65535, not '" + text + "'";
        return false;
    }
    if (text.find(':') == std::string::npos) port = LOBBY_DEFAULT_PORT;
    start_sockets();
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        *why = "cannot find the meeting server " + host;
        return false;
    }
    out->ip = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    out->port = uint16_t(port);
    freeaddrinfo(found);
    return true;
}

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

bool NetReach::start(const std::string& lobby, std::string* why) {
    LobbyAddress server;
    if (!resolve_lobby(lobby, &server, why)) return false;
    auto send = [this](const LobbyAddress& to, const std::vector<uint8_t>& bytes) { link_.send_raw(to.ip, to.port, bytes); };
    client_ = std::make_unique<LobbyClient>(server, first_local_address(link_.local_port()), send, std::random_device{}());
    return true;
}

bool NetReach::host(const std::string& lobby, std::string* why) {
    hosting_ = true;
    if (lobby.empty()) return true;
    if (!start(lobby, why)) return false;
    client_->host(LobbyClient::Clock::now());
    mapping_.start(uint16_t(link_.port()));
    return true;
}

bool NetReach::join_code(const std::string& lobby, const std::string& code, const std::string& version, int delay,
                         std::string* why) {
    if (lobby.empty()) {
        *why = "joining by code needs a meeting server: --lobby HOST[:PORT] or lobby = HOST in the settings";
        return false;
    }
    if (!link_.open(version, delay, why) || !start(lobby, why)) return false;
    // With a relay to fall back on, punching has longer before it counts as failed.
    if (relay_) client_->set_punch_ms(20000);
    client_->join(normal_code(code), LobbyClient::Clock::now());
    return true;
}

void NetReach::update() {
    if (!client_ || failed_) return;
    auto now = LobbyClient::Clock::now();
    client_->update(now);
    if (client_->phase() == LobbyClient::Phase::failed) {
        failed_ = true;
        failure_ = client_->failure();
        return;
    }
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
        if (!link_.connect_to(client_->target().ip, client_->target().port, &why)) {
            failed_ = true;
            failure_ = why;
        }
    }
}

void NetReach::update_relay(LobbyClient::Clock::time_point now) {
    using namespace std::chrono_literals;
    if (!relay_ || connected_ || link_.ready()) return;
    std::string why;
    if (!hosting_ && client_->phase() == LobbyClient::Phase::punching) {
        if (punching_since_ == LobbyClient::Clock::time_point{}) punching_since_ = now;
        if (!bridge_ && now - punching_since_ >= 1s) {
            bridge_ = std::make_unique<IceBridge>(true, *relay_, link_.local_port());
            if (!bridge_->start(&why)) failed_ = true, failure_ = why;
        }
    }
    if (hosting_ && !bridge_ && !client_->remote_signal().empty()) {
        bridge_ = std::make_unique<IceBridge>(false, *relay_, uint16_t(link_.port()));
        if (!bridge_->start(&why)) failed_ = true, failure_ = why;
    }
    if (!bridge_ || failed_) return;
    // Said again until connected: the meeting server passes signals on by UDP.
    std::string mine = bridge_->local_description();
    if (!mine.empty() && now - signalled_ >= 500ms) {
        client_->send_signal(mine);
        signalled_ = now;
    }
    if (!client_->remote_signal().empty()) bridge_->set_remote_description(client_->remote_signal());
    if (!hosting_ && bridge_->ready()) {
        connected_ = bridged_ = true;
        if (!link_.connect_to(0x7f000001u, bridge_->port(), &why)) failed_ = true, failure_ = why;
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
    if (!hosting_ || !client_) return "";
    if (!mapping_.external().empty())
        return "Path: mapped (the router forwards " + address_text(mapping_.external()) + " by " + mapping_.how() + ")";
    if (!mapping_.settled()) return "Asking the router to forward the port...";
    return "Path: punched through the routers (no port forwarded)";
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
