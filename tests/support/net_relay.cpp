#include "net_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <queue>
#include <random>
#include <vector>

namespace test_support {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

struct Datagram {
    Clock::time_point due;
    long order;
    bool to_host;
    std::vector<uint8_t> bytes;
    bool operator>(const Datagram& o) const { return due > o.due; }
};

}  // namespace

NetRelay::~NetRelay() { stop(); }

bool NetRelay::start(int listen_port, int host_port, const RelaySettings& settings) {
    settings_ = settings;
    host_port_ = host_port;
    guest_side_ = socket(AF_INET, SOCK_DGRAM, 0);
    host_side_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = loopback(listen_port);
    if (guest_side_ < 0 || host_side_ < 0 || bind(guest_side_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        stop();
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void NetRelay::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (guest_side_ >= 0) close(guest_side_);
    if (host_side_ >= 0) close(host_side_);
    guest_side_ = host_side_ = -1;
}

void NetRelay::run() {
    std::mt19937 rng(settings_.seed);
    std::uniform_int_distribution<int> percent(0, 99), delay(settings_.min_ms, settings_.max_ms),
        jitter(-settings_.jitter_ms, settings_.jitter_ms);
    std::priority_queue<Datagram, std::vector<Datagram>, std::greater<Datagram>> queue;
    sockaddr_in guest{}, host = loopback(host_port_);
    bool guest_known = false;
    long order = 0, last_sent[2] = {-1, -1};
    Clock::time_point end = Clock::now() + std::chrono::seconds(settings_.max_seconds);
    uint8_t buffer[2048];
    while (!stopping_ && Clock::now() < end) {
        if (rebind.exchange(false)) {
            int fresh = socket(AF_INET, SOCK_DGRAM, 0);
            if (fresh >= 0) {
                close(host_side_);
                host_side_ = fresh;
            }
        }
        int wait = 5;
        if (!queue.empty()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(queue.top().due - Clock::now()).count();
            wait = int(std::max<long>(0, std::min<long>(wait, left)));
        }
        pollfd fds[2] = {{guest_side_, POLLIN, 0}, {host_side_, POLLIN, 0}};
        poll(fds, 2, wait);
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = recvfrom(fds[i].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) continue;
            bool to_host = i == 0;
            if (to_host) {
                guest = from;
                guest_known = true;
                bytes_to_host += uint64_t(n);
                ++datagrams_to_host;
            } else {
                bytes_to_guest += uint64_t(n);
                ++datagrams_to_guest;
            }
            if (cut) {
                ++cut_off;
                continue;
            }
            if (percent(rng) < settings_.loss_percent) {
                ++dropped;
                continue;
            }
            int ms = std::max(0, delay(rng) + jitter(rng));
            queue.push(Datagram{Clock::now() + std::chrono::milliseconds(ms), order++, to_host,
                                std::vector<uint8_t>(buffer, buffer + n)});
        }
        while (!queue.empty() && queue.top().due <= Clock::now()) {
            const Datagram& d = queue.top();
            if (d.order < last_sent[d.to_host]) ++reordered;
            last_sent[d.to_host] = std::max(last_sent[d.to_host], d.order);
            if (d.to_host) {
                sendto(host_side_, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&host), sizeof host);
            } else if (guest_known) {
                sendto(guest_side_, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&guest), sizeof guest);
            }
            queue.pop();
        }
    }
}

}  // namespace test_support
