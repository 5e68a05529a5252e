// A host on 127.0.0.1 against peers that mean it harm: one that completes the
// handshake and then sends everything but inputs, one that sends packets far larger
// than any game packet, and squatters that connect and never say hello. The host must
// neither freeze nor hold memory for them, and the real guest must still get in.
#include <arpa/inet.h>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "session/net/net_session.h"

namespace {

using Clock = std::chrono::steady_clock;

int test_port(int n) { return 40000 + int(getpid() % 8000) * 3 + n; }

void service_until(std::initializer_list<NetLink*> links, const std::function<bool()>& done, int ms = 3000) {
    std::vector<Packet> ignored;
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until) {
        for (NetLink* l : links) l->service(1, ignored);
    }
}

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A bare ENet client with no game on top: it connects and then does as the test says.
struct RawClient {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false, dropped = false;

    explicit RawClient(int port) {
        host = enet_host_create(nullptr, 1, 1, 0, 0);
        ENetAddress a{};
        enet_address_set_host(&a, "127.0.0.1");
        a.port = uint16_t(port);
        if (host) peer = enet_host_connect(host, &a, 1, 0);
    }
    ~RawClient() {
        if (host) enet_host_destroy(host);
    }
    void service(int ms) {
        ENetEvent e;
        while (host && enet_host_service(host, &e, enet_uint32(ms)) > 0) {
            ms = 0;
            if (e.type == ENET_EVENT_TYPE_CONNECT) connected = true;
            if (e.type == ENET_EVENT_TYPE_DISCONNECT) dropped = true;
            if (e.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(e.packet);
        }
    }
};

// A squatter at the level of datagrams: a connection request and nothing after, not
// even the acknowledgement that would complete ENet's handshake.
void send_connect_request(int sock, int port, uint32_t connect_id) {
    uint8_t d[52] = {};
    auto put16 = [&](int at, uint16_t v) { uint16_t n = htons(v); std::memcpy(d + at, &n, 2); };
    auto put32 = [&](int at, uint32_t v) { uint32_t n = htonl(v); std::memcpy(d + at, &n, 4); };
    put16(0, 0x8000 | 0x0FFF);  // no peer yet, with a sent time
    put16(2, 0);
    d[4] = 0x80 | 2;  // connect, to be acknowledged
    d[5] = 0xFF;
    put16(6, 1);
    put16(8, 0);       // outgoing peer id
    d[10] = 0xFF;      // session ids: any
    d[11] = 0xFF;
    put32(12, 1392);   // mtu
    put32(16, 32768);  // window
    put32(20, 1);      // channels
    put32(32, 5000);   // throttle interval, acceleration, deceleration
    put32(36, 2);
    put32(40, 2);
    put32(44, connect_id);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(sock, d, sizeof d, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

TEST(HostilePeer, AGuestThatSendsEverythingButInputsIsLeftAfterFiveSeconds) {
    NetLink host, guest;
    std::string why;
    ASSERT_TRUE(host.listen(test_port(0), "1.3", 4242, 1, &why)) << why;
    ASSERT_TRUE(guest.join("127.0.0.1", test_port(0), "1.3", 1, &why)) << why;
    service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
    ASSERT_TRUE(host.ready() && guest.ready());
    NetSession a(host, 0);
    World w = new_world(4242);
    Game g = new_game_state(2);
    FrameResult shown;
    auto start = Clock::now();
    long frame = 30;
    std::vector<Packet> ignored;
    while (a.ended() == NetSession::End::none && seconds_since(start) < 9) {
        a.tick(w, g, shown, [] { return NetInput{}; }, nullptr);
        // Valid hashes, never an input: every packet is well formed.
        Packet hash;
        hash.kind = Packet::Kind::hash;
        hash.frame = uint32_t(frame);
        hash.hash = 0;
        guest.send(hash, true);
        guest.service(0, ignored);
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    double took = seconds_since(start);
    EXPECT_EQ(a.ended(), NetSession::End::left) << "the host still waits after " << took << " s";
    EXPECT_EQ(a.message(), "Red has left");
    EXPECT_GE(took, 4.9);
    EXPECT_LT(took, 6.5);
    // The guest hears the goodbye.
    service_until({&guest}, [&] { return guest.state() == NetLink::State::closed; }, 2000);
    EXPECT_EQ(guest.state(), NetLink::State::closed);
    EXPECT_EQ(guest.message(), "Blue has left");
}

TEST(HostilePeer, AnOversizedPacketDropsThePeerAndIsCounted) {
    for (size_t size : {size_t(64) << 10, size_t(32) << 20}) {
        NetLink host;
        std::string why;
        ASSERT_TRUE(host.listen(test_port(1), "1.3", 4242, 1, &why)) << why;
        RawClient big(test_port(1));
        ASSERT_TRUE(big.peer);
        std::vector<Packet> got;
        auto until = Clock::now() + std::chrono::seconds(2);
        while (!big.connected && Clock::now() < until) {
            host.service(1, got);
            big.service(1);
        }
        ASSERT_TRUE(big.connected);
        std::vector<uint8_t> bytes(size, 0x5A);
        enet_peer_send(big.peer, 0, enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
        until = Clock::now() + std::chrono::seconds(3);
        while (!big.dropped && Clock::now() < until) {
            host.service(1, got);
            big.service(1);
        }
        EXPECT_TRUE(big.dropped) << size << " bytes";
        EXPECT_EQ(host.oversized, 1) << size << " bytes";
        EXPECT_TRUE(got.empty());
        // The slot is free again: a real guest gets in.
        NetLink guest;
        ASSERT_TRUE(guest.join("127.0.0.1", test_port(1), "1.3", 1, &why)) << why;
        service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
        EXPECT_TRUE(host.ready());
    }
}

TEST(HostilePeer, APeerThatNeverSaysHelloIsDroppedAfterTwoSeconds) {
    NetLink host;
    std::string why;
    ASSERT_TRUE(host.listen(test_port(2), "1.3", 4242, 1, &why)) << why;
    RawClient mute(test_port(2));
    std::vector<Packet> got;
    auto start = Clock::now();
    while (!mute.dropped && seconds_since(start) < 4.5) {
        host.service(1, got);
        mute.service(1);
    }
    EXPECT_TRUE(mute.connected);
    EXPECT_TRUE(mute.dropped);
    double took = seconds_since(start);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.0);
}

TEST(HostilePeer, TheRealGuestGetsInWhileFourSquattersCycle) {
    NetLink host;
    std::string why;
    ASSERT_TRUE(host.listen(test_port(0), "1.3", 4242, 1, &why)) << why;
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(sock, 0);
    std::mt19937 rng(22);
    std::vector<Packet> got;
    // The squatters take every slot, and new ones keep coming, several a second.
    auto squat = [&] { send_connect_request(sock, test_port(0), uint32_t(rng())); };
    for (int i = 0; i < 4; ++i) squat();
    auto until = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < until) host.service(1, got);
    NetLink guest;
    ASSERT_TRUE(guest.join("127.0.0.1", test_port(0), "1.3", 1, &why)) << why;
    auto start = Clock::now(), next_squat = start;
    while (!(host.ready() && guest.ready()) && seconds_since(start) < 6) {
        if (Clock::now() >= next_squat) {
            squat();
            next_squat += std::chrono::milliseconds(250);
        }
        host.service(1, got);
        guest.service(1, got);
    }
    double took = seconds_since(start);
    close(sock);
    EXPECT_TRUE(host.ready() && guest.ready()) << "the guest is not in after " << took << " s";
    EXPECT_LT(took, 3.0);
}

}  // namespace
