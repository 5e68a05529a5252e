// The meeting service against those who mean it harm, with a clock of the test's own:
// forged guests that would make a host punch whoever they name, forged sources that
// would fill the code table or the rate table, guests that would keep a vanished host's
// code alive, and strangers that would take a relay's signalling.
#include <gtest/gtest.h>

#include <map>

#include "net/lobby_client.h"
#include "net/lobby_server.h"

namespace {

using Clock = LobbyClient::Clock;
using namespace std::chrono_literals;

const LobbyAddress kServer{0x0ac80001u, 7170};
const LobbyAddress kHostPublic{0x0ac80002u, 7171};
const LobbyAddress kHostLocal{0xc0a80102u, 7171};
const LobbyNetwork kHostLan{0xc0a80100u, 0xffffff00u};

std::vector<uint8_t> bytes_of(const LobbyMessage& m) { return encode_lobby(m); }

// A waiting host with its code, and every datagram it sends after, by address.
struct Host {
    std::map<uint64_t, long> sent;
    long total = 0;
    Clock::time_point now = Clock::time_point() + 1h;
    LobbyClient client{kServer, kHostLocal, [this](const LobbyAddress& to, const std::vector<uint8_t>&) {
                           ++sent[uint64_t(to.ip) << 16 | to.port];
                           ++total;
                       },
                       1};
    std::string code;

    Host() {
        client.set_own_networks({kHostLan});
        client.host(now);
        LobbyMessage c;
        c.kind = LobbyMessage::Kind::code;
        c.nonce = 1;
        c.code = "ABC234";
        c.mine_public = kHostPublic;
        std::vector<uint8_t> b = bytes_of(c);
        client.receive(b.data(), b.size(), kServer, now);
        code = client.code();
        sent.clear();
        total = 0;
    }
    void coming(const LobbyAddress& guest_public, const LobbyAddress& guest_local) {
        LobbyMessage m;
        m.kind = LobbyMessage::Kind::coming;
        m.code = code;
        m.guest_public = guest_public;
        m.guest_local = guest_local;
        std::vector<uint8_t> b = bytes_of(m);
        client.receive(b.data(), b.size(), kServer, now);
    }
    void run(std::chrono::milliseconds time) {
        for (auto until = now + time; now < until; now += 10ms) client.update(now);
    }
    long to(const LobbyAddress& a) const {
        auto it = sent.find(uint64_t(a.ip) << 16 | a.port);
        return it == sent.end() ? 0 : it->second;
    }
};

// Forged "coming" messages as the meeting server would pass on for spoofed joins (or as
// anyone could send with the server's address): each names a victim as the guest's local
// address. Before, one made the host punch both addresses 30 times, 30,000 made 1.74 M
// datagrams.
TEST(HostileLobby, ForgedGuestsMakeTheHostPunchLittleAndNeverOffItsNetworks) {
    Host host;
    ASSERT_EQ(host.code, "ABC234");
    const LobbyAddress victim{0x0a636363u, 53};
    const LobbyAddress victim_on_lan{0xc0a80109u, 80};  // on the host's own network
    auto start = host.now;
    auto wall = std::chrono::steady_clock::now();
    for (int i = 0; i < 30000; ++i) {
        host.coming({0x0b000000u + uint32_t(i), uint16_t(1024 + i % 60000)}, i % 2 ? victim : victim_on_lan);
        if (i % 1000 == 999) host.run(100ms);
        // Bounded in time: the host's work for each guest must not grow with their number.
        ASSERT_LT(std::chrono::steady_clock::now() - wall, 20s) << "30,000 forged guests took the host over 20 s of "
                                                                   "processor time; " << host.total << " datagrams by guest " << i;
    }
    host.run(5s);
    double seconds = std::chrono::duration<double>(host.now - start).count();
    std::printf("30,000 forged guests in %.1f s of the host's time: %ld datagrams sent (%ld to the victim off its "
                "networks, %ld to the one on them)\n",
                seconds, host.total, host.to(victim), host.to(victim_on_lan));
    std::fflush(stdout);
    EXPECT_EQ(host.to(victim), 0) << "a local address off the host's networks was punched";
    EXPECT_LE(host.to(victim_on_lan), 30) << "one address was punched more than a guest's share";
    // At most 50 punches a second, however many guests are announced.
    EXPECT_LE(host.total, long(50 * (seconds + 1)));
    EXPECT_LE(host.client.guests_public().size(), 4u);
    EXPECT_LE(host.client.guests_local().size(), 4u);
}

TEST(HostileLobby, ARealGuestIsStillPunchedAtItsPublicAddress) {
    Host host;
    const LobbyAddress guest{0x0ac80003u, 40000};
    host.coming(guest, {0xc0a80202u, 40000});
    host.run(4s);
    EXPECT_GE(host.to(guest), 25);
    EXPECT_LE(host.to(guest), 30);
    EXPECT_EQ(host.to({0xc0a80202u, 40000}), 0) << "another network's local address was punched";
}

// Forged host requests (a source that never hears the answer) get nothing but a
// cookie, and nothing of them is kept. Before, 200,500 of them filled the code table,
// and every real host heard "full".
TEST(HostileLobby, ForgedHostRequestsGetNoCodeAndFillNothing) {
    LobbyServer server(1);
    std::vector<LobbyDatagram> out;
    LobbyMessage m;
    m.kind = LobbyMessage::Kind::host;
    for (uint32_t i = 0; i < 200500; ++i) {
        m.nonce = i;
        m.cookie = i % 3 ? 0 : uint64_t(i) * 0x9e3779b97f4a7c15ull;  // none, or made up
        std::vector<uint8_t> b = encode_lobby(m);
        out.clear();
        server.handle(b.data(), b.size(), {0x0b000000u + i, uint16_t(1024 + i % 50000)}, int64_t(i / 10), out);
        ASSERT_EQ(out.size(), 1u);
        ASSERT_LE(out[0].bytes.size(), b.size());
    }
    EXPECT_EQ(server.table().waiting(), 0u);
    EXPECT_EQ(server.table().sources(), 0u) << "forged sources were counted";
    EXPECT_EQ(server.hosted, 0);
    // A real host, which hears its cookie and echoes it, gets its code.
    const LobbyAddress real{0x01020304u, 7171};
    m.cookie = 0;
    std::vector<uint8_t> b = encode_lobby(m);
    out.clear();
    server.handle(b.data(), b.size(), real, 30000, out);
    LobbyMessage cookie, code;
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &cookie));
    ASSERT_EQ(cookie.kind, LobbyMessage::Kind::cookie);
    m.cookie = cookie.cookie;
    b = encode_lobby(m);
    out.clear();
    server.handle(b.data(), b.size(), real, 30001, out);
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &code));
    EXPECT_EQ(code.kind, LobbyMessage::Kind::code);
    // The cookie is the address's: from another port or address it is no good.
    out.clear();
    server.handle(b.data(), b.size(), {real.ip, 7172}, 30002, out);
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &code));
    EXPECT_EQ(code.kind, LobbyMessage::Kind::cookie);
    // Nor after its time: good in the slot it was made in and the next, no later.
    out.clear();
    server.handle(b.data(), b.size(), real, 30000 + 2 * LOBBY_COOKIE_SLOT_MS, out);
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &code));
    EXPECT_EQ(code.kind, LobbyMessage::Kind::cookie);
}

// Sources that can receive (so hold cookies) are still bounded: the rate table keeps a
// capped number, the least lately heard out, and one /24 network holds few codes.
TEST(HostileLobby, TheRateTableIsCappedAndANetworkHoldsFewCodes) {
    LobbyLimits limits;
    limits.most_sources = 1000;
    LobbyTable table(2, limits);
    for (uint32_t i = 0; i < 800000; ++i) table.allow(0x0b000000u + i * 7, int64_t(i / 100));
    EXPECT_LE(table.sources(), 1000u);
    // A source heard lately is not forgotten for the flood: its burst is spent.
    LobbyTable table2(3, limits);
    int allowed = 0;
    for (int i = 0; i < 30; ++i) allowed += table2.allow(0x01020304u, 0);
    for (uint32_t i = 0; i < 400; ++i) table2.allow(0x0c000000u + i * 256, 1);
    allowed += table2.allow(0x01020304u, 2);
    EXPECT_EQ(allowed, 20);
    // A network's hosts together hold at most 128 codes.
    LobbyTable table3(4);
    int given = 0;
    for (uint32_t i = 0; i < 250; ++i) given += table3.host({0x0d000000u + i, 7171}, {}, 0).refusal == LobbyRefusal::none;
    EXPECT_EQ(given, 128);
    EXPECT_EQ(table3.host({0x0d000100u, 7171}, {}, 0).refusal, LobbyRefusal::none) << "the next network was held back";
}

// A vanished host's code ends its life after the host's last refresh, however often it
// is tried; and after that a join is told "expired" and no word goes to the vanished
// address. Before, every join kept the code alive and sent "coming" to nobody.
TEST(HostileLobby, GuestsTryingAVanishedHostsCodeDoNotKeepItAlive) {
    LobbyLimits limits;
    limits.code_life_ms = LOBBY_SHORTEST_CODE_LIFE_MS;
    LobbyServer server(5, limits);
    const LobbyAddress host{0x01020304u, 7171}, guest{0x05060708u, 40000};
    auto ask = [&](LobbyMessage m, const LobbyAddress& from, int64_t now, std::vector<LobbyDatagram>* out) {
        std::vector<uint8_t> b = encode_lobby(m);
        out->clear();
        server.handle(b.data(), b.size(), from, now, *out);
        LobbyMessage a;
        if (out->size() == 1 && decode_lobby((*out)[0].bytes.data(), (*out)[0].bytes.size(), &a) &&
            a.kind == LobbyMessage::Kind::cookie) {
            m.cookie = a.cookie;
            b = encode_lobby(m);
            out->clear();
            server.handle(b.data(), b.size(), from, now, *out);
        }
    };
    std::vector<LobbyDatagram> out;
    LobbyMessage h;
    h.kind = LobbyMessage::Kind::host;
    ask(h, host, 0, &out);
    LobbyMessage code;
    ASSERT_EQ(out.size(), 1u);
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &code));
    ASSERT_EQ(code.kind, LobbyMessage::Kind::code);
    LobbyMessage j;
    j.kind = LobbyMessage::Kind::join;
    j.code = code.code;
    long comings = 0;
    for (int64_t t = 1000; t < 3 * LOBBY_SHORTEST_CODE_LIFE_MS; t += 1000) {
        ask(j, guest, t, &out);
        for (const LobbyDatagram& d : out) comings += d.to == host;
        if (t >= LOBBY_SHORTEST_CODE_LIFE_MS) {
            LobbyMessage a;
            ASSERT_FALSE(out.empty());
            ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &a));
            ASSERT_EQ(a.kind, LobbyMessage::Kind::refused) << "the code still lives at " << t << " ms";
            EXPECT_EQ(a.refusal, LobbyRefusal::expired);
        }
    }
    EXPECT_EQ(comings, LOBBY_SHORTEST_CODE_LIFE_MS / 1000 - 1) << "word went to the vanished host after its code ended";
    // The code lives at least the hosts' refresh and its retries.
    EXPECT_GE(LOBBY_SHORTEST_CODE_LIFE_MS, LOBBY_REFRESH_MS + 3000);
}

// ---- the relay's signalling through the meeting server ----

struct SignalNet {
    struct Datagram {
        LobbyAddress from, to;
        std::vector<uint8_t> bytes;
    };
    LobbyServer server{7};
    std::vector<Datagram> queue;
    std::map<uint64_t, LobbyClient*> at;
    Clock::time_point now = Clock::time_point() + 1h;
    LobbyClient::Send from(LobbyAddress a) {
        return [this, a](const LobbyAddress& to, const std::vector<uint8_t>& b) { queue.push_back({a, to, b}); };
    }
    void deliver() {
        while (!queue.empty()) {
            Datagram d = queue.front();
            queue.erase(queue.begin());
            if (d.to == kServer) {
                std::vector<LobbyDatagram> out;
                server.handle(d.bytes.data(), d.bytes.size(), d.from,
                              std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count(), out);
                for (auto& o : out) queue.push_back({kServer, o.to, o.bytes});
            } else if (auto it = at.find(uint64_t(d.to.ip) << 16 | d.to.port); it != at.end()) {
                it->second->receive(d.bytes.data(), d.bytes.size(), d.from, now);
            }
        }
    }
    void add(const LobbyAddress& a, LobbyClient& c) { at[uint64_t(a.ip) << 16 | a.port] = &c; }
    void run(std::chrono::milliseconds time) {
        for (auto until = now + time; now < until; now += 10ms) {
            for (auto& [k, c] : at) c->update(now);
            deliver();
        }
    }
};

// A stranger who has the code joins first and sends a description; the real guest joins
// after it. Before, the stranger's description stood, and the real guest's relay path
// could never be made.
TEST(HostileLobby, AStrangersDescriptionDoesNotStandForTheGuestsThatJoinsAfterIt) {
    SignalNet net;
    const LobbyAddress stranger_at{0x0ac80009u, 5000}, guest_at{0x0ac80003u, 40000};
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient stranger(kServer, {}, net.from(stranger_at), 2);
    LobbyClient guest(kServer, {}, net.from(guest_at), 3);
    net.add(kHostPublic, host);
    net.add(stranger_at, stranger);
    net.add(guest_at, guest);
    host.host(net.now);
    net.run(300ms);
    ASSERT_EQ(host.code().size(), 6u);
    stranger.join(host.code(), net.now);
    net.run(300ms);
    ASSERT_TRUE(stranger.phase() == LobbyClient::Phase::punching || stranger.phase() == LobbyClient::Phase::met);
    stranger.send_signal(std::string(300, 's'));
    net.run(100ms);
    ASSERT_EQ(host.remote_signal(), std::string(300, 's'));
    guest.join(host.code(), net.now);
    net.run(300ms);
    ASSERT_TRUE(guest.phase() == LobbyClient::Phase::punching || guest.phase() == LobbyClient::Phase::met);
    guest.send_signal(std::string(500, 'g'));
    net.run(100ms);
    EXPECT_EQ(host.remote_signal(), std::string(500, 'g')) << "the host kept the stranger's description";
}

// A description longer than the signals carry is refused whole, and the sender hears so;
// before, it was cut at 1,600 bytes without a word, and the host took the cut one.
TEST(HostileLobby, AnOversizedDescriptionIsRefusedNotCut) {
    SignalNet net;
    const LobbyAddress guest_at{0x0ac80003u, 40000};
    LobbyClient host(kServer, kHostLocal, net.from(kHostPublic), 1);
    LobbyClient guest(kServer, {}, net.from(guest_at), 3);
    net.add(kHostPublic, host);
    net.add(guest_at, guest);
    host.host(net.now);
    net.run(300ms);
    guest.join(host.code(), net.now);
    net.run(300ms);
    size_t most = LOBBY_SIGNAL_PART * LOBBY_SIGNAL_PARTS;
    size_t before = net.queue.size();
    EXPECT_FALSE(guest.send_signal(std::string(most + 100, 'x')));
    EXPECT_EQ(net.queue.size(), before) << "parts of an oversized description were sent";
    net.run(100ms);
    EXPECT_EQ(host.remote_signal(), "") << "the host took a cut description";
    EXPECT_TRUE(guest.send_signal(std::string(most, 'y')));
    net.run(100ms);
    EXPECT_EQ(host.remote_signal(), std::string(most, 'y'));
}

}  // namespace
