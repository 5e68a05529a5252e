// The meeting server while 200,000 forged requests a second arrive: how long real hosts
// and guests wait for their answers (the cookie round included), how many are answered,
// and the server's memory and processor time. The server, the flood and the players are
// all on the loopback of a network namespace of the benchmark's own (root), so the
// server's answers to the forged addresses go nowhere.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "net/lobby_protocol.h"
#include "net_world.h"
#include "support.h"

using namespace test_support;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 200000;       // forged requests a second
constexpr double kFloodSeconds = 12;
constexpr int kPlayers = 400;       // real requests, one every 20 ms from 2 s on

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

long status_kb(pid_t pid, const char* field) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

double cpu_seconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (text.empty()) return 0;
    std::istringstream words(text.substr(text.rfind(')') + 2));
    std::string w;
    long ticks = 0;
    for (int field = 3; words >> w && field <= 15; ++field)
        if (field >= 14) ticks += std::stol(w);
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

// The program inside the namespace: `ip netns exec` runs it as its child or in its place.
pid_t server_pid(pid_t started) {
    for (int i = 0; i < 100; ++i) {
        std::ifstream c("/proc/" + std::to_string(started) + "/task/" + std::to_string(started) + "/children");
        pid_t child = 0;
        if (c >> child && child > 0) return child;
        std::ifstream cmd("/proc/" + std::to_string(started) + "/cmdline");
        std::string line;
        std::getline(cmd, line, '\0');
        if (line.find("rc-whirlbat-lobby") != std::string::npos) return started;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return started;
}

// Forged host and join requests through a raw socket, from random loopback addresses,
// in batches, at kRate for kFloodSeconds. The datagrams are made once; only their
// sources change.
void flood(int raw, uint16_t port, int rate, uint32_t seed, std::atomic<long>* sent) {
    std::mt19937 rng(seed);
    constexpr int kBatch = 256;
    std::vector<std::vector<uint8_t>> datagrams(kBatch);
    std::vector<iovec> io(kBatch);
    std::vector<mmsghdr> msgs(kBatch);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < kBatch; ++i) {
        LobbyMessage m;
        m.kind = i % 2 ? LobbyMessage::Kind::host : LobbyMessage::Kind::join;
        m.nonce = uint32_t(rng());
        m.code = "ABC234";
        m.cookie = i % 4 == 1 ? (uint64_t(rng()) << 32 | rng()) : 0;  // none, or made up
        std::vector<uint8_t> payload = encode_lobby(m);
        std::vector<uint8_t>& d = datagrams[size_t(i)];
        d.assign(sizeof(iphdr) + sizeof(udphdr) + payload.size(), 0);
        auto* ip = reinterpret_cast<iphdr*>(d.data());
        ip->version = 4;
        ip->ihl = 5;
        ip->ttl = 8;
        ip->protocol = IPPROTO_UDP;
        ip->daddr = htonl(INADDR_LOOPBACK);
        auto* udp = reinterpret_cast<udphdr*>(d.data() + sizeof(iphdr));
        udp->dest = htons(port);
        udp->len = htons(uint16_t(sizeof(udphdr) + payload.size()));
        std::memcpy(d.data() + sizeof(iphdr) + sizeof(udphdr), payload.data(), payload.size());
        io[size_t(i)] = {d.data(), d.size()};
        msgs[size_t(i)].msg_hdr.msg_name = &to;
        msgs[size_t(i)].msg_hdr.msg_namelen = sizeof to;
        msgs[size_t(i)].msg_hdr.msg_iov = &io[size_t(i)];
        msgs[size_t(i)].msg_hdr.msg_iovlen = 1;
    }
    auto start = Clock::now();
    for (long n = 0; seconds_since(start) < kFloodSeconds;) {
        for (auto& d : datagrams) {
            uint32_t r = uint32_t(rng());
            reinterpret_cast<iphdr*>(d.data())->saddr = htonl(0x7f010000u | (r & 0x00feffffu));  // 127.1-255.*.*
            reinterpret_cast<udphdr*>(d.data() + sizeof(iphdr))->source = htons(uint16_t(1024 + (r >> 16) % 60000));
        }
        int done = sendmmsg(raw, msgs.data(), kBatch, 0);
        if (done > 0) n += done, *sent += done;
        std::this_thread::sleep_until(start + std::chrono::microseconds(n * 1000000 / rate));
    }
}

// A real player's request from its own socket, as its side sends it: again every 250 ms
// until answered, with the cookie once given. The time to the answer, or -1 after 3 s.
double ask(int fd, uint16_t port, LobbyMessage m, LobbyMessage* answer) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto start = Clock::now();
    auto sent = start - std::chrono::seconds(1);
    while (seconds_since(start) < 3) {
        if (Clock::now() - sent >= std::chrono::milliseconds(250)) {
            std::vector<uint8_t> b = encode_lobby(m);
            sendto(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            sent = Clock::now();
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        uint8_t buf[256];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0 || !decode_lobby(buf, size_t(n), answer) || answer->nonce != m.nonce) continue;
        if (answer->kind != LobbyMessage::Kind::cookie) return seconds_since(start) * 1000;
        m.cookie = answer->cookie;
        sent = start - std::chrono::seconds(1);
    }
    return -1;
}

}  // namespace

int main() {
    NetWorld w;
    w.space("lobby");
    uint16_t port = 7170;
    std::string err = OutputPath("lobby_flood_server.err");
    pid_t started = w.start("lobby", {WHIRLBAT_LOBBY_BINARY, "--bind", "127.0.0.1"}, err);
    int raw = w.socket_in("lobby", SOCK_RAW, IPPROTO_RAW);
    if (!w.ok() || started <= 0 || raw < 0) {
        std::fprintf(stderr, "lobby_flood_bench: cannot set up: %s (needs root)\n", w.why().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pid_t server = server_pid(started);
    long rss_before = status_kb(server, "VmRSS:");
    double cpu_before = cpu_seconds(server);
    std::atomic<long> sent{0};
    auto start = Clock::now();
    // Two flooders, each with a raw socket of its own: one thread alone cannot make
    // 200,000 a second here.
    int raw2 = w.socket_in("lobby", SOCK_RAW, IPPROTO_RAW);
    std::thread flooder([&] { flood(raw, port, kRate / 2, 3, &sent); });
    std::thread flooder2([&] { flood(raw2, port, kRate / 2, 4, &sent); });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::vector<double> host_ms, join_ms;
    std::vector<std::string> codes;
    long unanswered = 0;
    for (int i = 0; i < kPlayers; ++i) {
        std::this_thread::sleep_until(start + std::chrono::seconds(2) + std::chrono::milliseconds(20 * i));
        int fd = w.socket_in("lobby", SOCK_DGRAM);
        sockaddr_in own{};
        own.sin_family = AF_INET;
        // 127.0.N.M: a network of its own for each, as players at home have.
        own.sin_addr.s_addr = htonl(0x7f000000u | uint32_t(1 + i % 200) << 8 | uint32_t(2 + i / 200));
        bind(fd, reinterpret_cast<sockaddr*>(&own), sizeof own);
        LobbyMessage m, answer;
        m.nonce = uint32_t(1000 + i);
        bool hosting = i % 2 == 0 || codes.empty();
        m.kind = hosting ? LobbyMessage::Kind::host : LobbyMessage::Kind::join;
        if (!hosting) m.code = codes[size_t(i) % codes.size()];
        double ms = ask(fd, port, m, &answer);
        close(fd);
        if (ms < 0) {
            ++unanswered;
            continue;
        }
        (hosting ? host_ms : join_ms).push_back(ms);
        if (hosting && answer.kind == LobbyMessage::Kind::code) codes.push_back(answer.code);
    }
    flooder.join();
    flooder2.join();
    close(raw2);
    double wall = seconds_since(start);
    long rss_after = status_kb(server, "VmRSS:"), rss_peak = status_kb(server, "VmHWM:");
    double cpu = cpu_seconds(server) - cpu_before;
    close(raw);
    // What the namespace's UDP saw: datagrams delivered, and dropped for want of room.
    std::string snmp;
    w.call("lobby", {"/bin/cat", "/proc/net/snmp"}, nullptr, &snmp);
    std::string udp_names, udp_values;
    for (size_t at = snmp.find("Udp:"); at != std::string::npos; at = snmp.find("Udp:", at + 1)) {
        std::string line = snmp.substr(at, snmp.find('\n', at) - at);
        (udp_names.empty() ? udp_names : udp_values) = line;
    }
    w.stop(started);
    auto report = [](const char* what, std::vector<double> v) {
        std::sort(v.begin(), v.end());
        auto at = [&](double q) { return v.empty() ? 0.0 : v[size_t(q * double(v.size() - 1))]; };
        std::printf("  %s: %zu answered; median %.2f ms, 90th %.2f ms, 99th %.2f ms, most %.2f ms\n", what, v.size(),
                    at(0.5), at(0.9), at(0.99), at(1.0));
    };
    std::printf("meeting server under %.0f forged requests a second (%ld in %.1f s):\n", double(sent) / kFloodSeconds,
                long(sent), kFloodSeconds);
    report("real hosts (cookie, then code)", host_ms);
    report("real guests (cookie, then meet)", join_ms);
    std::printf("  %ld of %d real requests unanswered within 3 s; %zu codes given to real hosts\n", unanswered, kPlayers,
                codes.size());
    std::printf("  server: resident %ld kB before, %ld kB after (peak %ld kB); processor %.1f s in %.1f s (%.0f %% of "
                "one core)\n", rss_before, rss_after, rss_peak, cpu, wall, 100 * cpu / wall);
    std::printf("  the namespace's UDP:\n    %s\n    %s\n", udp_names.c_str(), udp_values.c_str());
    std::printf("  server's own account: %s", [&] {
        std::string e;
        std::ifstream f(err);
        for (std::string line; std::getline(f, line);) e = line + "\n";
        return e;
    }().c_str());
    return 0;
}
