// Watchers at the host's link, on 127.0.0.1: a watcher hears the match fed to it, from
// the frame it asked for; a watcher that sends inputs or anything else into the match is
// dropped and the match goes on; a host that takes no watchers says so; and a guest of
// another protocol, the first one or one yet to come, hears a refusal it can read.
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>

#include "net/net_link.h"
#include "session/net/rules_fingerprint.h"
#include "session/net/watch_hub.h"

namespace {

using Clock = std::chrono::steady_clock;

const uint64_t kRules = rules_fingerprint();

int test_port(int n) { return 45000 + int(getpid() % 6000) * 3 + n; }

void service_until(std::initializer_list<NetLink*> links, const std::function<bool()>& done,
                   std::vector<Packet>* heard = nullptr, int ms = 3000) {
    std::vector<Packet> got;
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < until) {
        for (NetLink* l : links) {
            got.clear();
            l->service(1, got);
            if (heard && l == *(links.end() - 1)) heard->insert(heard->end(), got.begin(), got.end());
        }
    }
}

std::pair<NetInput, NetInput> frame_of(long f) {
    NetInput blue, red;
    blue.axis[0] = int8_t(f % 3 - 1);
    red.buttons = uint16_t(f % 2);
    return {blue, red};
}

TEST(Watchers, AWatcherHearsTheConfirmedFramesFromTheOneItAskedFor) {
    NetLink host{kRules}, guest{kRules}, watcher{kRules};
    std::string why;
    ASSERT_TRUE(host.listen(test_port(0), "1.3", 77, 1, &why)) << why;
    ASSERT_TRUE(guest.join("127.0.0.1", test_port(0), "1.3", 1, &why)) << why;
    service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
    ASSERT_TRUE(host.ready());
    WatchHub hub(host, 77);
    hub.set_pilots("Blue: Keys (host); Red: the guest");
    for (long f = 1; f <= 300; ++f) hub.confirmed(frame_of(f), f % 30 == 0 ? std::optional<uint64_t>(uint64_t(f) * 7) : std::nullopt);
    watcher.watch_from(101);
    ASSERT_TRUE(watcher.join("127.0.0.1", test_port(0), "1.3", 1, &why)) << why;
    std::vector<Packet> heard;
    service_until({&guest, &host, &watcher}, [&] {
        hub.service();
        return watcher.ready() && !heard.empty() && heard.back().first + heard.back().played.size() == 301;
    }, &heard);
    ASSERT_TRUE(watcher.ready()) << watcher.message();
    EXPECT_EQ(watcher.watching().seed, 77);
    EXPECT_EQ(watcher.watching().pilots, "Blue: Keys (host); Red: the guest");
    EXPECT_EQ(hub.watching(), 1);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front().first, 101u) << "the feed began elsewhere than the frame asked for";
    long next = 101;
    int hashes = 0;
    for (const Packet& p : heard) {
        ASSERT_EQ(p.kind, Packet::Kind::feed);
        ASSERT_EQ(long(p.first), next);
        for (size_t i = 0; i < p.played.size(); ++i) EXPECT_EQ(p.played[i], frame_of(next + long(i)));
        for (const auto& [f, h] : p.frame_hashes) {
            EXPECT_EQ(f % 30, 0u);
            EXPECT_EQ(h, uint64_t(f) * 7);
            ++hashes;
        }
        next += long(p.played.size());
    }
    EXPECT_EQ(next, 301);
    EXPECT_EQ(hashes, 7);  // frames 120 ... 300
    EXPECT_TRUE(guest.ready()) << "a watcher disturbed the guest";
}

TEST(Watchers, AWatcherThatSendsIntoTheMatchIsDroppedAndTheMatchGoesOn) {
    NetLink host{kRules}, guest{kRules}, watcher{kRules};
    std::string why;
    ASSERT_TRUE(host.listen(test_port(1), "1.3", 5, 1, &why)) << why;
    ASSERT_TRUE(guest.join("127.0.0.1", test_port(1), "1.3", 1, &why)) << why;
    service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
    WatchHub hub(host, 5);
    watcher.watch_from(1);
    ASSERT_TRUE(watcher.join("127.0.0.1", test_port(1), "1.3", 1, &why)) << why;
    service_until({&guest, &host, &watcher}, [&] {
        hub.service();
        return watcher.ready();
    });
    ASSERT_TRUE(watcher.ready());
    // Inputs as a player would send them, a bye, a hash: none reaches the match.
    std::vector<Packet> at_host;
    for (int i = 0; i < 40; ++i) {
        Packet p;
        p.kind = i % 3 == 0 ? Packet::Kind::bye : i % 3 == 1 ? Packet::Kind::inputs : Packet::Kind::hash;
        p.frame = p.first = uint32_t(i + 1);
        p.inputs.resize(1);
        watcher.send(p, true);
        watcher.flush();
        std::vector<Packet> got;
        host.service(2, got);
        at_host.insert(at_host.end(), got.begin(), got.end());
        guest.service(1, got);
    }
    service_until({&guest, &host, &watcher}, [&] {
        hub.service();
        return hub.watching() == 0;
    });
    EXPECT_EQ(hub.watching(), 0) << "a watcher that kept sending was not dropped";
    EXPECT_TRUE(at_host.empty()) << "the match heard a watcher";
    EXPECT_TRUE(host.ready());
    EXPECT_TRUE(guest.ready()) << "the match did not go on";
    EXPECT_GT(host.foreign, 0);
}

TEST(Watchers, AHostThatTakesNoWatchersSaysSo) {
    NetLink host{kRules}, watcher{kRules};
    std::string why;
    ASSERT_TRUE(host.listen(test_port(2), "1.3", 5, 1, &why)) << why;
    host.allow_watchers(false);
    watcher.watch_from(1);
    ASSERT_TRUE(watcher.join("127.0.0.1", test_port(2), "1.3", 1, &why)) << why;
    service_until({&host, &watcher}, [&] { return watcher.state() == NetLink::State::closed; });
    EXPECT_EQ(watcher.message(), "the host takes no watchers now");
}

// A bare ENet client that sends one packet once connected and keeps what comes back.
struct OldGuest {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    std::vector<std::vector<uint8_t>> heard;
    explicit OldGuest(int port) {
        ENetAddress own{};
        enet_address_set_host(&own, "127.0.0.5");
        host = enet_host_create(&own, 1, 1, 0, 0);
        ENetAddress a{};
        enet_address_set_host(&a, "127.0.0.1");
        a.port = uint16_t(port);
        if (host) peer = enet_host_connect(host, &a, 1, 0);
    }
    ~OldGuest() {
        if (host) enet_host_destroy(host);
    }
    void service(const std::vector<uint8_t>& hello) {
        ENetEvent e;
        while (host && enet_host_service(host, &e, 1) > 0) {
            if (e.type == ENET_EVENT_TYPE_CONNECT) {
                ENetPacket* p = enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE);
                enet_peer_send(peer, 0, p);
            }
            if (e.type == ENET_EVENT_TYPE_RECEIVE) {
                heard.emplace_back(e.packet->data, e.packet->data + e.packet->dataLength);
                enet_packet_destroy(e.packet);
            }
        }
    }
};

// A hello of protocol `protocol`: its fixed first fields, then what that protocol says.
std::vector<uint8_t> hello_of(uint16_t protocol, const std::string& version, const std::vector<uint8_t>& rest) {
    std::vector<uint8_t> b = {1, 'W', 'B', 'A', 'T', uint8_t(protocol), uint8_t(protocol >> 8), uint8_t(version.size())};
    b.insert(b.end(), version.begin(), version.end());
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

TEST(Watchers, AGuestOfAnotherProtocolHearsARefusalItReads) {
    NetLink host{kRules};
    std::string why;
    ASSERT_TRUE(host.listen(test_port(0) + 2000, "1.3", 5, 1, &why)) << why;
    struct Case {
        uint16_t protocol;
        std::vector<uint8_t> rest;
    };
    // The first protocol's hello: the version, then the delay. A protocol to come: the
    // fixed first fields and anything after them.
    for (const Case& c : {Case{1, {1}}, Case{9, {0xde, 0xad, 0xbe, 0xef, 1, 2, 3}}}) {
        SCOPED_TRACE("protocol " + std::to_string(c.protocol));
        OldGuest old(test_port(0) + 2000);
        std::vector<uint8_t> hello = hello_of(c.protocol, c.protocol == 1 ? "1.1" : "2.0", c.rest);
        std::vector<Packet> ignored;
        auto until = Clock::now() + std::chrono::seconds(3);
        while (old.heard.empty() && Clock::now() < until) {
            host.service(1, ignored);
            old.service(hello);
        }
        ASSERT_EQ(old.heard.size(), 1u) << "the guest heard nothing";
        const std::vector<uint8_t>& refusal = old.heard[0];
        // kind, why (another protocol), the host's protocol and version...
        std::vector<uint8_t> head = {3, 2, uint8_t(NET_PROTOCOL), 0, 3, '1', '.', '3'};
        ASSERT_GE(refusal.size(), head.size());
        EXPECT_TRUE(std::equal(head.begin(), head.end(), refusal.begin()));
        // ... and nothing more for the first protocol, which read no more; the rules for one to come.
        EXPECT_EQ(refusal.size(), c.protocol == 1 ? head.size() : head.size() + 8);
        std::vector<std::string> notes = host.take_notes();
        ASSERT_EQ(notes.size(), 1u);
        std::string version = c.protocol == 1 ? "1.1" : "2.0";
        EXPECT_EQ(notes[0], "a guest with version " + version + " (protocol " + std::to_string(c.protocol) +
                                ") tried to join; this is version 1.3 (protocol " + std::to_string(NET_PROTOCOL) +
                                "): both need the same version");
    }
}

}  // namespace
