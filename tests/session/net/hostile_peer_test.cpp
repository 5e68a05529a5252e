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

}  // namespace
