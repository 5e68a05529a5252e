#include "net/lan_discovery.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "net/lobby_protocol.h"

namespace {

// Where to ask: every interface's broadcast address (not the loopback's).
std::vector<uint32_t> broadcast_addresses() {
    std::vector<uint32_t> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_BROADCAST) ||
            (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP))
            continue;
        uint32_t b = a->ifa_broadaddr ? ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_broadaddr)->sin_addr.s_addr) : 0;
        uint32_t mine = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        // An address given without its broadcast address (the system then names the
        // address itself): the network's highest.
        if ((b == 0 || b == mine) && a->ifa_netmask) {
            b = 0;
            uint32_t mask = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr);
            if (mask && ~mask > 1) b = mine | ~mask;
        }
        if (b && std::find(out.begin(), out.end(), b) == out.end()) out.push_back(b);
    }
    freeifaddrs(list);
    return out;
}

}  // namespace

std::vector<LanGame> find_lan_games(int wait_ms, int port) {
    using Clock = std::chrono::steady_clock;
    std::vector<LanGame> games;
    std::vector<uint32_t> targets = broadcast_addresses();
    if (targets.empty()) return games;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return games;
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
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
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = htonl(b);
                to.sin_port = htons(uint16_t(port));
                sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            asked = Clock::now();
            ++asks;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(std::clamp<long long>(left, 0, 100))) <= 0) continue;
        uint8_t buf[LOBBY_MAX_MESSAGE + 1];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        LobbyMessage m;
        if (n <= 0 || !decode_lobby(buf, size_t(n), &m) || m.kind != LobbyMessage::Kind::lan_here || m.nonce != ask.nonce)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        LanGame g{text, m.game_port, m.version};
        bool known = std::any_of(games.begin(), games.end(),
                                 [&](const LanGame& x) { return x.address == g.address && x.port == g.port; });
        if (!known) games.push_back(g);
    }
    close(fd);
    return games;
}
