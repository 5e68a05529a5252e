// The meeting server under load: 10,000 codes waiting and a thousand joins a second.
// First the table and messages alone on this core, then the real program on 127.0.0.1,
// with hosts and guests on many loopback addresses (each address and /24 network has its
// own rate limit), its processor time read from /proc. Every request goes as a player's
// side sends it: first for the cookie, then with it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/lobby_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCodes = 10000, kJoins = 1000;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void in_process() {
    LobbyServer server(1);
    std::vector<LobbyDatagram> out;
    std::vector<std::string> codes;
    LobbyMessage m;
    // Each request as a player's side makes it: once for the cookie, again with it.
    auto answered = [&](LobbyMessage q, const LobbyAddress& from, int64_t now, LobbyMessage* a) {
        for (int round = 0; round < 2; ++round) {
            std::vector<uint8_t> b = encode_lobby(q);
            out.clear();
            server.handle(b.data(), b.size(), from, now, out);
            if (out.empty() || !decode_lobby(out[0].bytes.data(), out[0].bytes.size(), a)) return false;
            if (a->kind != LobbyMessage::Kind::cookie) return true;
            q.cookie = a->cookie;
        }
        return false;
    };
    for (int i = 0; i < kCodes; ++i) {
        m.kind = LobbyMessage::Kind::host;
        m.nonce = uint32_t(i);
        LobbyMessage code;
        if (answered(m, {0x0a000000u + uint32_t(i) * 256, 7171}, 0, &code) && code.kind == LobbyMessage::Kind::code)
            codes.push_back(code.code);
    }
    long joins = 0;
    auto start = Clock::now();
    for (int round = 0; round < 100; ++round) {
        for (int i = 0; i < kCodes; ++i) {
            m.kind = LobbyMessage::Kind::join;
            m.code = codes[size_t(i)];
            LobbyMessage meet;
            joins += answered(m, {0x0b000000u + uint32_t(round * kCodes + i) * 256, 9000}, 1000 + round, &meet) &&
                     meet.kind == LobbyMessage::Kind::meet;
        }
    }
    double s = seconds_since(start);
    std::printf("in process: %zu codes waiting, %ld joins (each with its cookie round) in %.3f s: %.0f joins a second on one core\n",
                server.table().waiting(), joins, s, double(joins) / s);
}

int udp_on(const std::string& ip) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    return fd;
}

// One request and its answer, asked again with the cookie when the server gives one (as
// a player's side does); the time of the whole.
bool ask(int fd, int port, LobbyMessage m, LobbyMessage* answer, double* ms) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    auto start = Clock::now();
    for (int round = 0; round < 2; ++round) {
        std::vector<uint8_t> b = encode_lobby(m);
        sendto(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p{fd, POLLIN, 0};
        uint8_t buf[128];
        bool heard = false;
        while (!heard && poll(&p, 1, 500) > 0) {
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            heard = n > 0 && decode_lobby(buf, size_t(n), answer) && answer->nonce == m.nonce;
        }
        if (!heard) return false;
        if (answer->kind != LobbyMessage::Kind::cookie) {
            *ms = seconds_since(start) * 1000;
            return true;
        }
        m.cookie = answer->cookie;
    }
    return false;
}

double cpu_seconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::istringstream words(text.substr(text.rfind(')') + 2));
    std::string w;
    long utime = 0, stime = 0;
    for (int field = 3; words >> w; ++field) {
        if (field == 14) utime = std::stol(w);
        if (field == 15) {
            stime = std::stol(w);
            break;
        }
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

int real_program() {
    int port = 30000 + int(getpid() % 20000);
    pid_t pid = fork();
    if (pid == 0) {
        std::string p = std::to_string(port);
        execl(WHIRLBAT_LOBBY_BINARY, WHIRLBAT_LOBBY_BINARY, "--port", p.c_str(), "--bind", "127.0.0.1", nullptr);
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Hosts: 500 loopback addresses holding 20 codes each, each code its own port, four
    // addresses to a /24 network (a network's quota is 100 requests at once, 128 codes).
    std::vector<std::string> codes;
    LobbyMessage m, answer;
    double ms = 0;
    for (int i = 0; i < kCodes; ++i) {
        int a = i / 20;
        int fd = udp_on("127.1." + std::to_string(a / 4) + "." + std::to_string(1 + a % 4));
        if (fd < 0) break;
        m.kind = LobbyMessage::Kind::host;
        m.nonce = uint32_t(i);
        if (ask(fd, port, m, &answer, &ms) && answer.kind == LobbyMessage::Kind::code) codes.push_back(answer.code);
        close(fd);
    }
    std::printf("real program: %zu codes waiting\n", codes.size());
    // Guests: a thousand joins in one second, each from its own address and network.
    double cpu_before = cpu_seconds(pid);
    std::vector<double> times;
    auto start = Clock::now();
    for (int i = 0; i < kJoins && !codes.empty(); ++i) {
        auto due = start + std::chrono::microseconds(i * 1000000 / kJoins);
        std::this_thread::sleep_until(due);
        int fd = udp_on("127." + std::to_string(2 + i % 100) + "." + std::to_string(i / 100) + ".1");
        m.kind = LobbyMessage::Kind::join;
        m.nonce = uint32_t(100000 + i);
        m.code = codes[size_t(i * 7) % codes.size()];
        if (fd >= 0 && ask(fd, port, m, &answer, &ms) && answer.kind == LobbyMessage::Kind::meet) times.push_back(ms);
        if (fd >= 0) close(fd);
    }
    double wall = seconds_since(start);
    double cpu = cpu_seconds(pid) - cpu_before;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::sort(times.begin(), times.end());
    auto at = [&](double q) { return times.empty() ? 0.0 : times[size_t(q * double(times.size() - 1))]; };
    std::printf("real program: %zu of %d joins answered in %.2f s; answer time median %.3f ms, 99th %.3f ms, "
                "most %.3f ms; server processor time %.3f s (%.1f %% of one core)\n",
                times.size(), kJoins, wall, at(0.5), at(0.99), at(1.0), cpu, 100 * cpu / wall);
    return codes.size() == size_t(kCodes) && times.size() == size_t(kJoins) ? 0 : 1;
}

}  // namespace

int main() {
    in_process();
    return real_program();
}
