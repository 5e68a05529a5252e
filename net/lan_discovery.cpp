#include "net/lan_discovery.h"

#include <enet/enet.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "net/lobby_protocol.h"
#include "net/sockets.h"

namespace {

// Where to ask: every interface's broadcast address (not the loopback's).
std::vector<uint32_t> broadcast_addresses() {
    std::vector<uint32_t> out;
    for (const LocalInterface& a : local_interfaces()) {
        if (!a.broadcasts || a.loopback || !a.up) continue;
        uint32_t b = a.broadcast;
        // An address given without its broadcast address (the system then names the
        // address itself): the network's highest.
        if ((b == 0 || b == a.address) && a.netmask) {
            b = 0;
            if (~a.netmask > 1) b = a.address | ~a.netmask;
        }
        if (b && std::find(out.begin(), out.end(), b) == out.end()) out.push_back(b);
    }
    return out;
}

}  // namespace

std::vector<LanGame> find_lan_games(int wait_ms, int port) {
    using Clock = std::chrono::steady_clock;
    std::vector<LanGame> games;
    std::vector<uint32_t> targets = broadcast_addresses();
    if (targets.empty()) return games;
    start_sockets();
    // ENet's sockets: the same calls on every system.
    ENetSocket sock = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (sock == ENET_SOCKET_NULL) return games;
    enet_socket_set_option(sock, ENET_SOCKOPT_BROADCAST, 1);
    LobbyMessage ask;
    ask.kind = LobbyMessage::Kind::lan_ask;
    ask.nonce = std::random_device{}();
    std::vector<uint8_t> bytes = encode_lobby(ask);
    auto start = Clock::now(), until = start + std::chrono::milliseconds(wait_ms);
    Clock::time_point asked{};
    int asks = 0;
    while (Clock::now() < until) {
        // Three asks, 300 ms apart: one lost broadcast loses no game.
        if (asks < 3 && Clock::now() - asked >= std::chrono::milliseconds(300)) {
            for (uint32_t b : targets) {
                ENetAddress to{};
                to.host = htonl(b);
                to.port = uint16_t(port);
                ENetBuffer out;
                out.data = bytes.data();
                out.dataLength = bytes.size();
                enet_socket_send(sock, &to, &out, 1);
            }
            asked = Clock::now();
            ++asks;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        enet_uint32 wait = ENET_SOCKET_WAIT_RECEIVE;
        if (enet_socket_wait(sock, &wait, enet_uint32(std::clamp<long long>(left, 0, 100))) != 0 ||
            !(wait & ENET_SOCKET_WAIT_RECEIVE))
            continue;
        uint8_t buf[LOBBY_MAX_MESSAGE + 1];
        ENetAddress from{};
        ENetBuffer in;
        in.data = buf;
        in.dataLength = sizeof buf;
        int n = enet_socket_receive(sock, &from, &in, 1);
        LobbyMessage m;
        if (n <= 0 || !decode_lobby(buf, size_t(n), &m) || m.kind != LobbyMessage::Kind::lan_here || m.nonce != ask.nonce)
            continue;
        LanGame g{ipv4_text(ntohl(from.host)), m.game_port, m.version};
        bool known = std::any_of(games.begin(), games.end(),
                                 [&](const LanGame& x) { return x.address == g.address && x.port == g.port; });
        if (!known) games.push_back(g);
    }
    enet_socket_destroy(sock);
    return games;
}
