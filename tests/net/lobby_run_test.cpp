// The meeting server as its own program on 127.0.0.1: codes given and joined, wrong
// and expired codes refused, garbage survived, a clean stop on SIGTERM, a code life
// shorter than the hosts' refresh refused.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

#include "net/lobby_protocol.h"

namespace {

class Lobby {
public:
    explicit Lobby(int port, const std::string& life = "600") : port_(port) {
        pid_ = fork();
        if (pid_ == 0) {
            std::string p = std::to_string(port);
            execl(WHIRLBAT_LOBBY_BINARY, WHIRLBAT_LOBBY_BINARY, "--port", p.c_str(), "--bind", "127.0.0.1",
                  "--code-life", life.c_str(), nullptr);
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~Lobby() { stop(); }
    int stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
    }
    bool running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    int port() const { return port_; }

private:
    int port_;
    pid_t pid_ = -1;
    int status_ = -1;
};

class Socket {
public:
    explicit Socket(const char* ip = "127.0.0.1") {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, ip, &a.sin_addr);
        bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Socket() { close(fd_); }
    void send(int port, const std::vector<uint8_t>& b) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    bool receive(LobbyMessage* m, int wait_ms = 1000) {
        pollfd p{fd_, POLLIN, 0};
        uint8_t buf[256];
        if (poll(&p, 1, wait_ms) <= 0) return false;
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        return n > 0 && decode_lobby(buf, size_t(n), m);
    }
    bool bound_ = false;
    uint16_t port_ = 0;

private:
    int fd_;
};

int test_port() { return 33000 + int(getpid() % 8000) * 4; }

// Sends a request and takes its answer, asking again with the cookie when the server
// gives one, as a player's side does.
bool ask(Socket& s, int port, LobbyMessage m, LobbyMessage* answer) {
    s.send(port, encode_lobby(m));
    if (!s.receive(answer)) return false;
    if (answer->kind != LobbyMessage::Kind::cookie) return true;
    m.cookie = answer->cookie;
    s.send(port, encode_lobby(m));
    return s.receive(answer);
}

LobbyMessage request(LobbyMessage::Kind kind, uint32_t nonce, const std::string& code = "") {
    LobbyMessage m;
    m.kind = kind;
    m.nonce = nonce;
    m.code = code;
    m.local = {0xc0a80002u, 7171};
    return m;
}

TEST(LobbyRun, AHostGetsACodeAndAGuestFindsItsHost) {
    Lobby lobby(test_port());
    ASSERT_TRUE(lobby.running()) << "the meeting server did not start";
    Socket host, guest("127.0.0.2");
    ASSERT_TRUE(host.bound_ && guest.bound_);
    LobbyMessage code;
    ASSERT_TRUE(ask(host, lobby.port(), request(LobbyMessage::Kind::host, 1), &code)) << "no code";
    ASSERT_EQ(code.kind, LobbyMessage::Kind::code);
    EXPECT_EQ(code.nonce, 1u);
    EXPECT_EQ(code.mine_public, (LobbyAddress{0x7f000001u, host.port_}));
    EXPECT_EQ(normal_code(code.code), code.code);

    LobbyMessage meet, coming;
    ASSERT_TRUE(ask(guest, lobby.port(), request(LobbyMessage::Kind::join, 2, code.code), &meet));
    ASSERT_EQ(meet.kind, LobbyMessage::Kind::meet);
    EXPECT_EQ(meet.host_public, (LobbyAddress{0x7f000001u, host.port_}));
    EXPECT_EQ(meet.host_local, (LobbyAddress{0xc0a80002u, 7171}));
    EXPECT_EQ(meet.mine_public, (LobbyAddress{0x7f000002u, guest.port_}));
    ASSERT_TRUE(host.receive(&coming));
    ASSERT_EQ(coming.kind, LobbyMessage::Kind::coming);
    EXPECT_EQ(coming.code, code.code);
    EXPECT_EQ(coming.guest_public, (LobbyAddress{0x7f000002u, guest.port_}));

    // A wrong code is refused as unknown; the host's leaving makes its code "expired".
    std::string wrong = code.code == "222222" ? "333333" : "222222";
    LobbyMessage refused;
    ASSERT_TRUE(ask(guest, lobby.port(), request(LobbyMessage::Kind::join, 3, wrong), &refused));
    EXPECT_EQ(refused.kind, LobbyMessage::Kind::refused);
    EXPECT_EQ(refused.refusal, LobbyRefusal::unknown);
    LobbyMessage leave;
    leave.kind = LobbyMessage::Kind::leave;
    leave.code = code.code;
    host.send(lobby.port(), encode_lobby(leave));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(ask(guest, lobby.port(), request(LobbyMessage::Kind::join, 4, code.code), &refused));
    EXPECT_EQ(refused.refusal, LobbyRefusal::expired);
    EXPECT_EQ(lobby.stop(), 0) << "SIGTERM is a clean stop";
}

// The shortest code life there is: 25 s, the hosts' 20 s refresh and time to ask again.
TEST(LobbyRun, ACodeWhoseHostStopsAskingExpires) {
    Lobby lobby(test_port() + 1, "25");
    ASSERT_TRUE(lobby.running()) << "the meeting server did not start";
    Socket host, guest("127.0.0.3");
    LobbyMessage code, refused;
    ASSERT_TRUE(ask(host, lobby.port(), request(LobbyMessage::Kind::host, 1), &code));
    ASSERT_EQ(code.kind, LobbyMessage::Kind::code);
    // A guest trying it now and then does not keep it alive.
    for (int i = 0; i < 13; ++i) {
        ASSERT_TRUE(ask(guest, lobby.port(), request(LobbyMessage::Kind::join, uint32_t(10 + i), code.code), &refused));
        if (i < 12) {
            EXPECT_EQ(refused.kind, LobbyMessage::Kind::meet) << "at " << 2 * i << " s";
        }
        if (i < 12) std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ASSERT_TRUE(ask(guest, lobby.port(), request(LobbyMessage::Kind::join, 2, code.code), &refused));
    EXPECT_EQ(refused.kind, LobbyMessage::Kind::refused);
    EXPECT_EQ(refused.refusal, LobbyRefusal::expired);
}

TEST(LobbyRun, GarbageAndFloodsLeaveItServing) {
    Lobby lobby(test_port() + 2);
    ASSERT_TRUE(lobby.running()) << "the meeting server did not start";
    Socket flood("127.0.0.4");
    std::mt19937 random(5);
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> junk(random() % 80);
        for (uint8_t& b : junk) b = uint8_t(random());
        if (i % 2 && junk.size() >= 6) std::copy(LOBBY_MAGIC, LOBBY_MAGIC + 4, junk.begin()), junk[4] = LOBBY_PROTOCOL;
        flood.send(lobby.port(), junk);
    }
    // Requests past the flooder's limit go unanswered; another address is served.
    LobbyMessage m;
    while (flood.receive(&m, 300)) {
    }
    // With the cookie the flooder was given, as a flooder that can receive has.
    LobbyMessage flooding = request(LobbyMessage::Kind::host, 1000);
    flood.send(lobby.port(), encode_lobby(request(LobbyMessage::Kind::host, 1001)));
    ASSERT_TRUE(flood.receive(&m));
    ASSERT_EQ(m.kind, LobbyMessage::Kind::cookie);
    flooding.cookie = m.cookie;
    for (int i = 0; i < 100; ++i) {
        flooding.nonce = uint32_t(i);
        flood.send(lobby.port(), encode_lobby(flooding));
    }
    int answers = 0;
    while (flood.receive(&m, 300)) ++answers;
    EXPECT_LE(answers, 20);
    Socket other("127.0.0.5");
    ASSERT_TRUE(ask(other, lobby.port(), request(LobbyMessage::Kind::host, 7), &m));
    EXPECT_EQ(m.kind, LobbyMessage::Kind::code);
    EXPECT_TRUE(lobby.running());
    EXPECT_EQ(lobby.stop(), 0);
}

TEST(LobbyRun, ABadCommandLineIsOneLine) {
    for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
             {"--port"}, {"--port=7"}, {"--frobnicate"}, {"--code-life", "24"},
             // A relay without its secret, or with a secret that cannot be read: said
             // before any port is taken.
             {"--bind", "127.0.0.1", "--relay", "127.0.0.1"},
             {"--bind", "127.0.0.1", "--relay", "127.0.0.1", "--relay-secret-file", "/nonexistent/secret"}}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 2);
            bad.insert(bad.begin(), WHIRLBAT_LOBBY_BINARY);
            bad.push_back(nullptr);
            execv(WHIRLBAT_LOBBY_BINARY, const_cast<char* const*>(bad.data()));
            _exit(127);
        }
        close(fds[1]);
        std::string err;
        char buf[256];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) err.append(buf, size_t(n));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 2) << bad[1];
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

}  // namespace
