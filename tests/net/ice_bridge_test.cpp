// The relay as the command line names it: USER:PASSWORD@HOST[:PORT], or USER@HOST[:PORT]
// with the password from the environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "net/ice_bridge.h"

namespace {

TEST(IceRelay, ReadsUserPasswordHostAndPort) {
    IceRelay r;
    std::string why;
    ASSERT_TRUE(parse_ice_relay("whirlbat:s3cret:x@127.0.0.1:3479", &r, &why)) << why;
    EXPECT_EQ(r.user, "whirlbat");
    EXPECT_EQ(r.password, "s3cret:x");
    EXPECT_EQ(r.ip, 0x7f000001u);
    EXPECT_EQ(r.port, 3479);
}

TEST(IceRelay, PortIs3478UnlessGiven) {
    IceRelay r;
    std::string why;
    ASSERT_TRUE(parse_ice_relay("a:b@127.0.0.2", &r, &why)) << why;
    EXPECT_EQ(r.ip, 0x7f000002u);
    EXPECT_EQ(r.port, 3478);
}

TEST(IceRelay, ANameIsLeftToBeLookedUp) {
    IceRelay r;
    std::string why;
    ASSERT_TRUE(parse_ice_relay("a:b@relay.example:3480", &r, &why)) << why;
    EXPECT_EQ(r.host, "relay.example");
    EXPECT_EQ(r.ip, 0u);
    EXPECT_EQ(r.port, 3480);
}

// Off the command line, where every user of the machine can read it in /proc.
TEST(IceRelay, ThePasswordMayComeFromAFileOrTheEnvironment) {
    std::string file = "/tmp/whirlbat-relay-password-" + std::to_string(getpid());
    std::ofstream(file) << "from-the-file\r\nsecond line\n";
    IceRelay r;
    std::string why;
    ASSERT_EQ(setenv(RELAY_PASSWORD_VARIABLE, "from-the-variable", 1), 0);
    ASSERT_TRUE(parse_ice_relay("whirlbat@127.0.0.1", &r, &why)) << why;
    EXPECT_EQ(r.user, "whirlbat");
    EXPECT_EQ(r.password, "from-the-variable");
    // The file, when named, comes first.
    ASSERT_EQ(setenv(RELAY_PASSWORD_FILE_VARIABLE, file.c_str(), 1), 0);
    ASSERT_TRUE(parse_ice_relay("whirlbat@127.0.0.1", &r, &why)) << why;
    EXPECT_EQ(r.password, "from-the-file");
    // A password on the command line still counts.
    ASSERT_TRUE(parse_ice_relay("whirlbat:typed@127.0.0.1", &r, &why)) << why;
    EXPECT_EQ(r.password, "typed");
    // A file that cannot be read is one line, not an empty password.
    std::remove(file.c_str());
    EXPECT_FALSE(parse_ice_relay("whirlbat@127.0.0.1", &r, &why));
    EXPECT_NE(why.find(file), std::string::npos) << why;
    unsetenv(RELAY_PASSWORD_FILE_VARIABLE);
    unsetenv(RELAY_PASSWORD_VARIABLE);
    EXPECT_FALSE(parse_ice_relay("whirlbat@127.0.0.1", &r, &why));
    EXPECT_NE(why.find(RELAY_PASSWORD_FILE_VARIABLE), std::string::npos) << why;
}

TEST(IceRelay, BadTextIsOneLine) {
    for (const char* bad : {"", "relay.example", "user@127.0.0.1", ":pass@127.0.0.1", "a:b@", "a:b@127.0.0.1:0",
                            "a:b@127.0.0.1:70000", "a:b@127.0.0.1:x"}) {
        IceRelay r;
        std::string why;
        EXPECT_FALSE(parse_ice_relay(bad, &r, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
        EXPECT_EQ(why.find('\n'), std::string::npos) << bad;
    }
}

}  // namespace

#ifdef WHIRLBAT_RELAY_MODULE_BUILT
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool mapped(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream all;
    all << maps.rdbuf();
    return all.str().find(name) != std::string::npos;
}

// A UDP socket on 127.0.0.1 that plays the relay: it only listens.
struct FakeRelay {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    FakeRelay() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~FakeRelay() { close(fd); }
};

// libnice and the thirty libraries it brings cost every game about 7 MB; they come in
// with the relay module, when a bridge starts, and not before. (A game through a real
// relay is NetReachRun's.)
TEST(IceBridge, LibniceIsLoadedOnlyWhenABridgeStarts) {
    EXPECT_FALSE(mapped("libnice")) << "the game links libnice itself";
    FakeRelay relay_socket;
    ASSERT_NE(relay_socket.port, 0);
    IceRelay relay;
    relay.ip = 0x7f000001u;
    relay.port = relay_socket.port;
    relay.user = "whirlbat";
    relay.password = "s3cret";

    ASSERT_EQ(setenv("WHIRLBAT_RELAY_MODULE", "/nonexistent/rc-whirlbat-relay.so", 1), 0);
    {
        IceBridge missing(true, relay, 40000);
        std::string why;
        EXPECT_FALSE(missing.start(&why));
        EXPECT_EQ(why, "the relay module is missing (looked for /nonexistent/rc-whirlbat-relay.so)");
        EXPECT_FALSE(missing.ready());
        EXPECT_EQ(missing.port(), 0);
    }
    EXPECT_FALSE(mapped("libnice"));

    ASSERT_EQ(setenv("WHIRLBAT_RELAY_MODULE", WHIRLBAT_RELAY_MODULE_BUILT, 1), 0);
    {
        IceBridge bridge(true, relay, 40000);
        std::string why;
        ASSERT_TRUE(bridge.start(&why)) << why;
        EXPECT_TRUE(mapped("libnice"));
        EXPECT_NE(bridge.port(), 0);
        // The bridge holds its port on 127.0.0.1 for ENet to send to.
        int other = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(bridge.port());
        EXPECT_NE(bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << "the bridge's port is not held";
        close(other);
        EXPECT_FALSE(bridge.ready());
    }
    unsetenv("WHIRLBAT_RELAY_MODULE");
}

}  // namespace
#endif
