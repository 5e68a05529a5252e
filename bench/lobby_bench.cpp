// The meeting server under load: 10,000 codes waiting and a thousand joins a second.
// First the table and messages alone on this core, then the real program on 127.0.0.1,
// with hosts and guests on many loopback addresses (each address has its own rate
// limit), its processor time read from /proc.
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
    for (int i = 0; i < kCodes; ++i) {
        m.kind = LobbyMessage::Kind::host;
        m.nonce = uint32_t(i);
        std::vector<uint8_t> b = encode_lobby(m);
        out.clear();
        server.handle(b.data(), b.size(), {0x0a000000u + uint32_t(i), 7171}, 0, out);
        LobbyMessage code;
        if (out.size() == 1 && decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &code)) codes.push_back(code.code);
    }
    long joins = 0;
    auto start = Clock::now();
    for (int round = 0; round < 100; ++round) {
        for (int i = 0; i < kCodes; ++i) {
            m.kind = LobbyMessage::Kind::join;
            m.code = codes[size_t(i)];
            std::vector<uint8_t> b = encode_lobby(m);
            out.clear();
            server.handle(b.data(), b.size(), {0x0b000000u + uint32_t(round * kCodes + i), 9000}, 1000 + round, out);
            joins += out.size() == 2;
        }
    }
    double s = seconds_since(start);
    std::printf("in process: %zu codes waiting, %ld joins in %.3f s: %.0f joins a second on one core\n",
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

bool ask(int fd, int port, const LobbyMessage& m, LobbyMessage* answer, double* ms) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::vector<uint8_t> b = encode_lobby(m);
    auto start = Clock::now();
    sendto(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    uint8_t buf[128];
    while (poll(&p, 1, 500) > 0) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n > 0 && decode_lobby(buf, size_t(n), answer) && answer->nonce == m.nonce) {
            *ms = seconds_since(start) * 1000;
            return true;
        }
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
    // Hosts: 500 loopback addresses holding 20 codes each, each code its own port.
    std::vector<std::string> codes;
    LobbyMessage m, answer;
    double ms = 0;
    for (int i = 0; i < kCodes; ++i) {
        int fd = udp_on("127.1." + std::to_string(i / 20 / 250) + "." + std::to_string(1 + i / 20 % 250));
        if (fd < 0) break;
        m.kind = LobbyMessage::Kind::host;
        m.nonce = uint32_t(i);
        if (ask(fd, port, m, &answer, &ms) && answer.kind == LobbyMessage::Kind::code) codes.push_back(answer.code);
        close(fd);
    }
    std::printf("real program: %zu codes waiting\n", codes.size());
    // Guests: a thousand joins in one second, each from its own address.
    double cpu_before = cpu_seconds(pid);
    std::vector<double> times;
    auto start = Clock::now();
    for (int i = 0; i < kJoins && !codes.empty(); ++i) {
        auto due = start + std::chrono::microseconds(i * 1000000 / kJoins);
        std::this_thread::sleep_until(due);
        int fd = udp_on("127.2." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250));
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
