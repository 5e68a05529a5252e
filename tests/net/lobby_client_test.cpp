// A host's and a guest's side of the meeting service, wired to the server's table through
// a network of the test's own (lost datagrams, a router's view of the addresses), on a
// clock of the test's own.
#include <gtest/gtest.h>

#include <deque>

#include "net/lobby_client.h"
#include "net/lobby_server.h"
#include "net/net_reach.h"

namespace {

using Clock = LobbyClient::Clock;
using namespace std::chrono_literals;

const LobbyAddress kServer{0x0ac80001u, 7170};
const LobbyAddress kHostPublic{0x0ac80002u, 7171}, kHostLocal{0xc0a80102u, 7171};
const LobbyAddress kGuestPublic{0x0ac80003u, 40000}, kGuestLocal{0xc0a80202u, 40000};

// Two players behind routers that keep one public address each; datagrams to the
// server are answered at once unless the server is down.
struct Net {
    struct Datagram {
        LobbyAddress from, to;
        std::vector<uint8_t> bytes;
    };
    LobbyServer server{42};
    bool server_up = true;
    int drop_next_to_server = 0;
    // A port the host's router opened towards the server, which lets only the server in.
    LobbyAddress host_router_port{};
    int host_to_guest = 0;  // datagrams the host sent the guest's public address
    std::deque<Datagram> queue;
    Clock::time_point now = Clock::time_point() + 1h;

    LobbyClient::Send from(LobbyAddress public_address) {
        return [this, public_address](const LobbyAddress& to, const std::vector<uint8_t>& b) {
            queue.push_back({public_address, to, b});
        };
    }
    // Every datagram on its way, and those they bring; or only the first `most`.
    void deliver(LobbyClient& host, LobbyClient& guest, int most = -1) {
        while (!queue.empty() && most-- != 0) {
            Datagram d = queue.front();
            queue.pop_front();
            if (d.to == kServer) {
                if (!server_up || drop_next_to_server-- > 0) continue;
                std::vector<LobbyDatagram> out;
                server.handle(d.bytes.data(), d.bytes.size(), d.from,
                              std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count(), out);
                for (auto& o : out) queue.push_back({kServer, o.to, o.bytes});
            } else if (d.to == kHostPublic || (d.to == host_router_port && d.from == kServer)) {
                host.receive(d.bytes.data(), d.bytes.size(), d.from, now);
            } else if (d.to == kGuestPublic) {
                if (d.from.ip == kHostPublic.ip) ++host_to_guest;
                guest.receive(d.bytes.data(), d.bytes.size(), d.from, now);
            }
        }
    }
    void run(LobbyClient& host, LobbyClient& guest, std::chrono::milliseconds time) {
        for (auto until = now + time; now < until; now += 10ms) {
            host.update(now);
            guest.update(now);
            deliver(host, guest);
        }
    }
};

TEST(LobbyClient, AHostGetsACodeAndTheGuestFindsTheWayThroughAtItsPublicAddress) {
    Net net;
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient guest(kServer, kGuestLocal, net.from(kGuestPublic), 2);
    net.drop_next_to_server = 1;  // the first request is lost, the next one gets through
    host.host(net.now);
    net.run(host, guest, 500ms);
    ASSERT_EQ(host.phase(), LobbyClient::Phase::waiting);
    EXPECT_EQ(host.seen_as(), kHostPublic);
    ASSERT_EQ(host.code().size(), 6u);
    guest.join(host.code(), net.now);
    net.run(host, guest, 500ms);
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::met) << guest.failure();
    EXPECT_EQ(guest.target(), kHostPublic);
    EXPECT_FALSE(guest.target_is_local());
    ASSERT_EQ(host.guests_public().size(), 1u);
    EXPECT_EQ(host.guests_public()[0], kGuestPublic);
    EXPECT_EQ(host.guests_local()[0], kGuestLocal);
    // The host keeps its code alive while it waits.
    net.run(host, guest, 15min);
    EXPECT_EQ(host.phase(), LobbyClient::Phase::waiting);
    EXPECT_EQ(net.server.table().waiting(), 1u);
    host.leave();
    net.deliver(host, guest);
    EXPECT_EQ(net.server.table().waiting(), 0u);
}

// The host's router gives the server a port of its own choosing that lets nothing in;
// the port it forwards on the host's request comes only after the guest met the host.
TEST(LobbyClient, AForwardedPortThatComesAfterTheGuestMetTheHostIsStillFound) {
    const LobbyAddress seen_through_router{kHostPublic.ip, 6697};
    Net net;
    net.host_router_port = seen_through_router;
    // A new port for every other destination: the host's knocks reach the guest from a
    // port the guest was never told of.
    // Once the port is forwarded, what the host sends leaves from the forwarded port.
    bool forwarded = false;
    LobbyClient::Send to_server = net.from(seen_through_router), to_others = net.from({kHostPublic.ip, 6698}),
                      through_forward = net.from(kHostPublic);
    LobbyClient host(kServer, kHostLocal, [&](const LobbyAddress& to, const std::vector<uint8_t>& b) {
        (to == kServer ? to_server : forwarded ? through_forward : to_others)(to, b);
    }, 1);
    LobbyClient guest(kServer, kGuestLocal, net.from(kGuestPublic), 2);
    host.host(net.now);
    net.run(host, guest, 500ms);
    ASSERT_EQ(host.phase(), LobbyClient::Phase::waiting);
    guest.join(host.code(), net.now);
    net.run(host, guest, 1500ms);
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::punching) << "the router's own port let a knock in";
    // The router forwards the port at the very end of the guest's time for knocking.
    net.run(host, guest, std::chrono::milliseconds(LOBBY_PUNCH_MS - 1600));
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::punching);
    forwarded = true;
    host.set_mapped(kHostPublic, net.now);
    net.run(host, guest, 2500ms);
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::met) << guest.failure();
    EXPECT_EQ(guest.target(), kHostPublic);
    EXPECT_TRUE(guest.target_is_mapped());
}

// A host whose router forwards its port sends its guests nothing of its own accord: the
// guest comes in through the forwarded port.
TEST(LobbyClient, AHostWithAForwardedPortDoesNotKnockAtItsGuests) {
    Net net;
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    // A guest that speaks to the server only (it knocks at nobody, so nothing is answered).
    LobbyClient::Send to_server = net.from(kGuestPublic);
    LobbyClient guest(kServer, kGuestLocal, [&](const LobbyAddress& to, const std::vector<uint8_t>& b) {
        if (to == kServer) to_server(to, b);
    }, 2);
    host.set_mapped(kHostPublic, net.now);
    host.host(net.now);
    net.run(host, guest, 500ms);
    ASSERT_EQ(host.phase(), LobbyClient::Phase::waiting);
    guest.join(host.code(), net.now);
    net.run(host, guest, 3000ms);
    ASSERT_EQ(host.guests_public().size(), 1u) << "the host did not hear of its guest";
    EXPECT_EQ(net.host_to_guest, 0);
}

// The router forwards the port while the host's first request is still on its way: the
// meeting server hears of it at once, so a guest who has the code hears of it too.
TEST(LobbyClient, AForwardedPortThatComesBeforeTheCodeIsToldWithIt) {
    Net net;
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient guest(kServer, kGuestLocal, net.from(kGuestPublic), 2);
    host.host(net.now);
    // The first request, the server's cookie, the request again with it: on its way.
    net.deliver(host, guest, 2);
    ASSERT_EQ(host.phase(), LobbyClient::Phase::asking);
    host.set_mapped(kHostPublic, net.now);
    net.deliver(host, guest);
    ASSERT_EQ(host.phase(), LobbyClient::Phase::waiting);
    const LobbyTable::Entry* entry = net.server.table().find(host.code());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->host_mapped, kHostPublic);
}

TEST(LobbyClient, AServerThatIsDownFailsInThreeSecondsWithOneLine) {
    Net net;
    net.server_up = false;
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient guest(kServer, kGuestLocal, net.from(kGuestPublic), 2);
    guest.join("ABC234", net.now);
    net.run(host, guest, 2900ms);
    EXPECT_EQ(guest.phase(), LobbyClient::Phase::asking);
    net.run(host, guest, 200ms);
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::failed);
    EXPECT_EQ(guest.failure(), "the meeting server at 10.200.0.1:7170 does not answer");
}

TEST(LobbyClient, AWrongCodeIsRefused) {
    Net net;
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient guest(kServer, kGuestLocal, net.from(kGuestPublic), 2);
    guest.join("ABC234", net.now);
    net.run(host, guest, 100ms);
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::failed);
    EXPECT_EQ(guest.failure(), "no game has that code: check it with the host");
}

TEST(LobbyClient, AHostThatNeverAnswersLeavesTheGuestWithOneLine) {
    Net net;
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient guest(kServer, kGuestLocal, net.from(kGuestPublic), 2);
    host.host(net.now);
    net.run(host, guest, 100ms);
    std::string code = host.code();
    // The host's machine is gone without a word: its code still stands at the server.
    LobbyClient gone(kServer, kHostLocal, [](const LobbyAddress&, const std::vector<uint8_t>&) {}, 3);
    guest.join(code, net.now);
    net.run(gone, guest, std::chrono::milliseconds(LOBBY_PUNCH_MS + 500));
    ASSERT_EQ(guest.phase(), LobbyClient::Phase::failed);
    EXPECT_NE(guest.failure().find("no way through to the host at 10.200.0.2:7171"), std::string::npos) << guest.failure();
}

TEST(LobbyClient, PunchesAreAnsweredButAnswersAreNot) {
    Net net;
    std::vector<std::pair<LobbyAddress, std::vector<uint8_t>>> sent;
    LobbyClient host(kServer, kHostLocal, [&](const LobbyAddress& to, const std::vector<uint8_t>& b) { sent.push_back({to, b}); }, 1);
    LobbyMessage punch;
    punch.kind = LobbyMessage::Kind::punch;
    punch.nonce = 5;
    std::vector<uint8_t> b = encode_lobby(punch);
    host.receive(b.data(), b.size(), kGuestPublic, net.now);
    ASSERT_EQ(sent.size(), 1u);
    LobbyMessage answer;
    ASSERT_TRUE(decode_lobby(sent[0].second.data(), sent[0].second.size(), &answer));
    EXPECT_EQ(sent[0].first, kGuestPublic);
    host.receive(sent[0].second.data(), sent[0].second.size(), kGuestPublic, net.now);
    EXPECT_EQ(sent.size(), 1u) << "an answer was answered";
    // A stranger's stream of punches gets at most 50 answers a second.
    for (int i = 0; i < 1000; ++i) host.receive(b.data(), b.size(), kGuestPublic, net.now);
    EXPECT_EQ(sent.size(), 50u);
}

TEST(LobbyClient, JoinTextIsACodeOnlyWithoutDotsOrColons) {
    EXPECT_TRUE(is_join_code("ABC234"));
    EXPECT_TRUE(is_join_code("abc-234"));
    EXPECT_FALSE(is_join_code("ABC234:7171"));
    EXPECT_FALSE(is_join_code("10.0.0.1"));
    EXPECT_FALSE(is_join_code("localhost"));
    EXPECT_FALSE(is_join_code("ABC230"));
}

}  // namespace
