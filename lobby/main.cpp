// rc-whirlbat-lobby: the meeting server. Hosts get a join code, guests give one and
// hear where the host is; then the two machines talk to each other directly. One plain
// UDP socket: every exchange is a single request and its answer, which the players
// repeat until answered, so nothing here needs ENet's connections or resending.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "net/lobby_server.h"

namespace {

volatile std::sig_atomic_t stop = 0;
void on_signal(int) { stop = 1; }

bool number(const char* s, long lo, long hi, long* out) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || errno || v < lo || v > hi) return false;
    *out = v;
    return true;
}

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Datagrams in and out by the batch, a system call for each way: under a flood the
// server keeps up with far more than one call a datagram would.
constexpr int kBatch = 64;
struct Batch {
    uint8_t in[kBatch][512];
    sockaddr_in from[kBatch];
    iovec in_io[kBatch];
    mmsghdr in_msgs[kBatch];
    std::vector<LobbyDatagram> out;
    std::vector<sockaddr_in> to;
    std::vector<iovec> out_io;
    std::vector<mmsghdr> out_msgs;
};

// Takes what is waiting (a batch at most) and sends the answers; false if nothing was.
bool serve(int fd, LobbyServer& server, int64_t now, Batch& b) {
    for (int i = 0; i < kBatch; ++i) {
        b.in_io[i] = {b.in[i], sizeof b.in[i]};
        b.in_msgs[i] = {};
        b.in_msgs[i].msg_hdr.msg_name = &b.from[i];
        b.in_msgs[i].msg_hdr.msg_namelen = sizeof b.from[i];
        b.in_msgs[i].msg_hdr.msg_iov = &b.in_io[i];
        b.in_msgs[i].msg_hdr.msg_iovlen = 1;
    }
    int got = recvmmsg(fd, b.in_msgs, kBatch, MSG_DONTWAIT, nullptr);
    if (got <= 0) return false;
    b.out.clear();
    for (int i = 0; i < got; ++i) {
        // A datagram cut to the buffer is larger than any message: refused as such.
        size_t size = (b.in_msgs[i].msg_hdr.msg_flags & MSG_TRUNC) ? LOBBY_MAX_MESSAGE + 1 : b.in_msgs[i].msg_len;
        server.handle(b.in[i], size, {ntohl(b.from[i].sin_addr.s_addr), ntohs(b.from[i].sin_port)}, now, b.out);
    }
    size_t n = b.out.size();
    b.to.assign(n, sockaddr_in{});
    b.out_io.resize(n);
    b.out_msgs.assign(n, mmsghdr{});
    for (size_t i = 0; i < n; ++i) {
        b.to[i].sin_family = AF_INET;
        b.to[i].sin_addr.s_addr = htonl(b.out[i].to.ip);
        b.to[i].sin_port = htons(b.out[i].to.port);
        b.out_io[i] = {b.out[i].bytes.data(), b.out[i].bytes.size()};
        b.out_msgs[i].msg_hdr.msg_name = &b.to[i];
        b.out_msgs[i].msg_hdr.msg_namelen = sizeof b.to[i];
        b.out_msgs[i].msg_hdr.msg_iov = &b.out_io[i];
        b.out_msgs[i].msg_hdr.msg_iovlen = 1;
    }
    // An answer the system cannot send now (its buffer full) is dropped: the player asks again.
    for (size_t at = 0; at < n;) {
        int sent = sendmmsg(fd, b.out_msgs.data() + at, unsigned(n - at), MSG_DONTWAIT);
        at += sent > 0 ? size_t(sent) : 1;
    }
    return true;
}

// Room for a burst of requests while a batch is handled: 4 MB asked for (the system may
// give less without the right to more).
void widen_receive_buffer(int fd) {
    int size = 4 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

// The relay's HOST[:PORT] (port 3478 unless given) as an IPv4 address, looked up once.
bool relay_address(const std::string& text, LobbyAddress* out) {
    std::string host = text;
    long port = 3478;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        if (!number(text.c_str() + colon + 1, 1, 65535, &port)) return false;
    }
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    out->ip = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    out->port = uint16_t(port);
    freeaddrinfo(found);
    return true;
}

// The secret shared with the relay: the file's first line, which must not be empty.
bool read_secret(const std::string& path, std::string* secret) {
    std::ifstream in(path);
    if (!in || !std::getline(in, *secret)) return false;
    if (!secret->empty() && secret->back() == '\r') secret->pop_back();
    return !secret->empty();
}

const char* kUsage =
    "usage: rc-whirlbat-lobby [--port PORT] [--bind ADDRESS] [--code-life SECONDS]\n"
    "                         [--relay HOST[:PORT] --relay-secret-file FILE]\n"
    "  --port PORT          the UDP port to serve (7170)\n"
    "  --bind ADDRESS       the IPv4 address to serve on (all of this machine's)\n"
    "  --code-life SECONDS  how long a code lives after its host last asked for it (600,\n"
    "                       at least 25: hosts ask every 20)\n"
    "  --relay HOST[:PORT]  a TURN relay (coturn, port 3478) to hand both players of a code,\n"
    "                       with credentials of their own good for 6 hours; \"\" for none\n"
    "  --relay-secret-file FILE  the relay's shared secret (coturn's static-auth-secret),\n"
    "                       the file's first line; never sent to anyone\n";

// --relay and --relay-secret-file, taken together (an empty relay, as a unit file may
// give, is none, its secret not read); false with one line.
bool relay_from_options(const std::string& relay, const std::string& secret_file, LobbyRelay* out) {
    if (relay.empty()) return true;
    if (secret_file.empty()) {
        std::fprintf(stderr, "rc-whirlbat-lobby: --relay needs --relay-secret-file FILE, the secret it shares with the relay\n");
        return false;
    }
    if (!read_secret(secret_file, &out->secret)) {
        std::fprintf(stderr, "rc-whirlbat-lobby: the relay's secret file %s cannot be read or is empty\n", secret_file.c_str());
        return false;
    }
    if (!relay_address(relay, &out->address)) {
        std::fprintf(stderr, "rc-whirlbat-lobby: cannot find the relay %s (--relay HOST or HOST:PORT)\n", relay.c_str());
        return false;
    }
    return true;
}

struct Options {
    long port = LOBBY_DEFAULT_PORT, life = 600;
    std::string bind_to = "0.0.0.0", relay, secret_file;
};

// The command line into `o`: -1 to serve, else the status to end with (0 after --help).
int read_options(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--port" && v && number(v, 1, 65535, &o->port)) {
            ++i;
        } else if (arg == "--code-life" && v && number(v, 1, 86400, &o->life)) {
            ++i;
            if (o->life * 1000 < LOBBY_SHORTEST_CODE_LIFE_MS) {
                std::fprintf(stderr, "rc-whirlbat-lobby: --code-life must be at least %d seconds: hosts ask for their "
                             "codes again every %d\n", LOBBY_SHORTEST_CODE_LIFE_MS / 1000, LOBBY_REFRESH_MS / 1000);
                return 2;
            }
        } else if (arg == "--relay" && v) {
            o->relay = v;
            ++i;
        } else if (arg == "--relay-secret-file" && v) {
            o->secret_file = v;
            ++i;
        } else if (arg == "--bind" && v) {
            o->bind_to = v;
            ++i;
        } else {
            std::fprintf(stderr, "rc-whirlbat-lobby: bad option %s; see --help\n", arg.c_str());
            return 2;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int status = read_options(argc, argv, &o); status >= 0) return status;
    const long port = o.port, life = o.life;
    const std::string& bind_to = o.bind_to;
    LobbyRelay relay_to_hand;
    if (!relay_from_options(o.relay, o.secret_file, &relay_to_hand)) return 2;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, bind_to.c_str(), &addr.sin_addr) != 1) {
        std::fprintf(stderr, "rc-whirlbat-lobby: --bind needs an IPv4 address, not %s\n", bind_to.c_str());
        return 2;
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "rc-whirlbat-lobby: cannot serve UDP port %ld on %s: %s\n", port, bind_to.c_str(),
                     std::strerror(errno));
        return 1;
    }
    widen_receive_buffer(fd);
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    LobbyLimits limits;
    limits.code_life_ms = life * 1000;
    LobbyServer server(std::random_device{}() ^ uint64_t(now_ms()), limits);
    if (!relay_to_hand.address.empty()) {
        std::fprintf(stderr, "rc-whirlbat-lobby: handing players the relay at %s\n", address_text(relay_to_hand.address).c_str());
        server.set_relay(std::move(relay_to_hand));
    }
    std::fprintf(stderr, "rc-whirlbat-lobby: serving UDP port %ld on %s\n", port, bind_to.c_str());
    int64_t last_sweep = now_ms();
    Batch batch;
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, 1000);
        if (ready < 0 && errno != EINTR) break;
        int64_t now = now_ms();
        // A few batches, then the clock again: a flood cannot stop the sweep.
        for (int n = 0; ready > 0 && n < 16 && serve(fd, server, now, batch); ++n) {
        }
        if (now - last_sweep >= 1000) {
            server.sweep(now);
            last_sweep = now;
        }
    }
    std::fprintf(stderr, "rc-whirlbat-lobby: stopping: %ld codes given, %ld joins, %ld refused, %ld malformed, %ld over the limit, "
                 "%ld cookies, %ld relay credentials\n", server.hosted, server.joined, server.refused, server.malformed,
                 server.limited, server.cookies, server.relays);
    close(fd);
    return 0;
}
