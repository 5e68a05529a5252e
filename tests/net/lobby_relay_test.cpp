// The relay the meeting server hands both players of a code: the TURN scheme's
// short-lived credentials (checked against HMAC-SHA1 values computed elsewhere), their
// expiry, the answers that carry them (never larger than their requests, never carrying
// the secret), an older game's unpadded requests, and the players' side of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "net/lobby_client.h"
#include "net/lobby_server.h"
#include "net/turn_credentials.h"

namespace {

const std::string kSecret = "relay-secret-of-the-test";
constexpr int64_t kUnixNow = 1765400000;
const LobbyAddress kRelay{0x0ac80001u, 3478};
const LobbyAddress kHost{0x01020304u, 4000}, kGuest{0x05060708u, 6000};
const LobbyAddress kLobby{0x0ac80009u, 7170};

LobbyServer relay_server() {
    LobbyServer server(8);
    LobbyRelay relay;
    relay.address = kRelay;
    relay.secret = kSecret;
    relay.unix_time = [] { return kUnixNow; };
    server.set_relay(relay);
    return server;
}

std::vector<uint8_t> request(LobbyMessage::Kind kind, bool asks_relay, const std::string& code = "", uint64_t cookie = 0) {
    LobbyMessage m;
    m.kind = kind;
    m.code = code;
    m.nonce = 9;
    m.local = {0xc0a80002u, 7171};
    m.cookie = cookie;
    m.asks_relay = asks_relay;
    return encode_lobby(m);
}

// Every answer to one request, each checked to be no larger than it and free of the secret.
std::vector<LobbyMessage> ask(LobbyServer& server, const std::vector<uint8_t>& req, const LobbyAddress& from) {
    std::vector<LobbyDatagram> out;
    server.handle(req.data(), req.size(), from, 1000, out);
    std::vector<LobbyMessage> answers;
    for (const LobbyDatagram& d : out) {
        EXPECT_LE(d.bytes.size(), req.size()) << "an answer larger than its request";
        EXPECT_EQ(std::search(d.bytes.begin(), d.bytes.end(), kSecret.begin(), kSecret.end()), d.bytes.end())
            << "the relay's secret went out";
        LobbyMessage m;
        EXPECT_TRUE(decode_lobby(d.bytes.data(), d.bytes.size(), &m));
        answers.push_back(m);
    }
    return answers;
}

// A host's code and a guest's meeting, asked as a player asks (cookie first).
struct Asked {
    LobbyMessage code, meet;
    size_t host_request = 0, join_request = 0;
};
Asked host_and_join(LobbyServer& server, bool asks_relay) {
    Asked a;
    auto c = ask(server, request(LobbyMessage::Kind::host, asks_relay), kHost);
    EXPECT_EQ(c.size(), 1u);
    std::vector<uint8_t> host = request(LobbyMessage::Kind::host, asks_relay, "", c.at(0).cookie);
    a.host_request = host.size();
    auto code = ask(server, host, kHost);
    EXPECT_EQ(code.size(), 1u);
    a.code = code.at(0);
    EXPECT_EQ(a.code.kind, LobbyMessage::Kind::code);
    auto g = ask(server, request(LobbyMessage::Kind::join, asks_relay, a.code.code), kGuest);
    std::vector<uint8_t> join = request(LobbyMessage::Kind::join, asks_relay, a.code.code, g.at(0).cookie);
    a.join_request = join.size();
    auto meet = ask(server, join, kGuest);
    EXPECT_EQ(meet.size(), 2u);
    a.meet = meet.at(0);
    EXPECT_EQ(a.meet.kind, LobbyMessage::Kind::meet);
    return a;
}

TEST(TurnCredentials, AKnownHmacSha1ComesOutInBase64) {
    // RFC 2202's second HMAC-SHA1 case, effcdf6ae5eb2fa2d27416d5f184df9c259a7c79.
    EXPECT_EQ(turn_password("Jefe", "what do ya want for nothing?"), "7/zfauXrL6LSdBbV8YTfnCWafHk=");
    // As `openssl dgst -sha1 -hmac relay-secret-of-the-test -binary | base64` gives it.
    TurnCredentials c = turn_credentials(kSecret, kUnixNow, "K7QX2M.guest");
    EXPECT_EQ(c.user, "1765400000:K7QX2M.guest");
    EXPECT_EQ(c.password, "37UZ3gpM4dvzOwMTuvnaV8syUc0=");
}

TEST(TurnCredentials, TheUserNameCarriesItsExpiry) {
    EXPECT_EQ(turn_expiry(turn_credentials(kSecret, 1765421600, "ABCDEF.host").user), 1765421600);
    EXPECT_EQ(turn_expiry("whirlbat"), -1);
    EXPECT_EQ(turn_expiry(":ABCDEF"), -1);
    EXPECT_EQ(turn_expiry("17654x:ABCDEF"), -1);
}

TEST(LobbyRelay, BothPlayersGetTheRelayWithCredentialsOfTheirOwnThatExpire) {
    LobbyServer server = relay_server();
    Asked a = host_and_join(server, true);
    EXPECT_EQ(a.host_request, LOBBY_RELAY_REQUEST_SIZE);
    for (const LobbyMessage* m : {&a.code, &a.meet}) {
        EXPECT_EQ(m->relay.address, kRelay);
        EXPECT_EQ(turn_expiry(m->relay.user), kUnixNow + LOBBY_RELAY_LIFE_S);
        // What the relay computes from the user name and the secret it shares.
        EXPECT_EQ(m->relay.password, turn_password(kSecret, m->relay.user));
    }
    EXPECT_EQ(a.code.relay.user, std::to_string(kUnixNow + LOBBY_RELAY_LIFE_S) + ":" + a.code.code + ".host");
    EXPECT_EQ(a.meet.relay.user, std::to_string(kUnixNow + LOBBY_RELAY_LIFE_S) + ":" + a.code.code + ".guest");
    EXPECT_GE(LOBBY_RELAY_LIFE_S, 3600) << "credentials that end before an evening's matches do";
    EXPECT_EQ(server.relays, 2);
}

TEST(LobbyRelay, AnOlderGamesUnpaddedRequestsGetTheAnswersTheyAlwaysGot) {
    LobbyServer server = relay_server();
    Asked a = host_and_join(server, false);
    EXPECT_EQ(a.host_request, LOBBY_REQUEST_SIZE);
    EXPECT_EQ(a.join_request, LOBBY_REQUEST_SIZE);
    EXPECT_TRUE(a.code.relay.empty());
    EXPECT_TRUE(a.meet.relay.empty());
    EXPECT_EQ(server.relays, 0);
    // The meeting as the first version's decoder read it: nonce and four addresses, no more.
    LobbyMessage meet = a.meet;
    EXPECT_EQ(encode_lobby(meet).size(), 6u + 4 + 4 * 6);
}

TEST(LobbyRelay, AServerWithoutARelayOffersNone) {
    LobbyServer server(8);
    Asked a = host_and_join(server, true);
    EXPECT_TRUE(a.code.relay.empty());
    EXPECT_TRUE(a.meet.relay.empty());
}

TEST(LobbyRelay, RelayFieldsAreRangeChecked) {
    LobbyMessage m;
    m.kind = LobbyMessage::Kind::meet;
    m.host_public = kHost;
    m.relay = {kRelay, "1765400000:ABCDEF.guest", "37UZ3gpM4dvzOwMTuvnaV8syUc0="};
    std::vector<uint8_t> bytes = encode_lobby(m);
    LobbyMessage back;
    ASSERT_TRUE(decode_lobby(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(back.relay, m.relay);
    // A space in a credential, a cut one, one byte too many: refused whole.
    std::vector<uint8_t> spaced = bytes;
    spaced[bytes.size() - 3] = ' ';
    EXPECT_FALSE(decode_lobby(spaced.data(), spaced.size(), &back));
    EXPECT_FALSE(decode_lobby(bytes.data(), bytes.size() - 1, &back));
    std::vector<uint8_t> longer = bytes;
    longer.push_back('x');
    EXPECT_FALSE(decode_lobby(longer.data(), longer.size(), &back));
    // A request of another size than the two is no request.
    std::vector<uint8_t> odd = request(LobbyMessage::Kind::join, true, "ABCDEF");
    odd.resize(64);
    EXPECT_FALSE(decode_lobby(odd.data(), odd.size(), &back));
    // Only a host's or a guest's request asks for the relay.
    LobbyMessage leave;
    leave.kind = LobbyMessage::Kind::leave;
    leave.code = "ABCDEF";
    leave.asks_relay = true;
    EXPECT_EQ(encode_lobby(leave).size(), LOBBY_REQUEST_SIZE);
}

// The players' side, behind routers that let no punch through, with a server the test
// delivers to at once; `older` drops every padded request, as a meeting server from
// before the relay does.
struct Players {
    LobbyServer server = relay_server();
    bool older = false;
    std::deque<std::pair<LobbyAddress, LobbyDatagram>> queue;  // from, datagram
    LobbyClient::Clock::time_point now = LobbyClient::Clock::time_point() + std::chrono::hours(1);
    LobbyClient host{kLobby, {0xc0a80102u, 7171}, sender(kHost), 1};
    LobbyClient guest{kLobby, {0xc0a80202u, 40000}, sender(kGuest), 2};

    LobbyClient::Send sender(LobbyAddress from) {
        return [this, from](const LobbyAddress& to, const std::vector<uint8_t>& b) { queue.push_back({from, {to, b}}); };
    }
    void run(std::chrono::milliseconds time) {
        for (auto until = now + time; now < until; now += std::chrono::milliseconds(10)) {
            host.update(now);
            guest.update(now);
            while (!queue.empty()) {
                auto [from, d] = queue.front();
                queue.pop_front();
                if (d.to == kLobby) {
                    if (older && d.bytes.size() != LOBBY_REQUEST_SIZE) continue;
                    std::vector<LobbyDatagram> out;
                    server.handle(d.bytes.data(), d.bytes.size(), from, 1000, out);
                    for (auto& o : out) queue.push_back({kLobby, o});
                } else if (from == kLobby && (d.to == kHost || d.to == kGuest)) {
                    // Symmetric routers: only the meeting server's answers come through.
                    (d.to == kHost ? host : guest).receive(d.bytes.data(), d.bytes.size(), from, now);
                }
            }
        }
    }
};

TEST(LobbyRelay, BothPlayersHearTheRelayAndTheGuestPunchesLongerForIt) {
    Players p;
    p.host.host(p.now);
    p.run(std::chrono::milliseconds(300));
    ASSERT_EQ(p.host.phase(), LobbyClient::Phase::waiting);
    EXPECT_EQ(p.host.relay().address, kRelay);
    EXPECT_EQ(p.host.relay().user.substr(p.host.relay().user.find(':') + 1), p.host.code() + ".host");
    // The two routers let no punch through: the guest keeps punching while the relay is
    // tried, instead of giving up after LOBBY_PUNCH_MS.
    p.guest.join(p.host.code(), p.now);
    p.run(std::chrono::milliseconds(300));
    ASSERT_EQ(p.guest.phase(), LobbyClient::Phase::punching);
    EXPECT_EQ(p.guest.relay().address, kRelay);
    EXPECT_EQ(p.guest.relay().password, turn_password(kSecret, p.guest.relay().user));
    p.run(std::chrono::milliseconds(LOBBY_PUNCH_MS + 2000));
    EXPECT_EQ(p.guest.phase(), LobbyClient::Phase::punching) << p.guest.failure();
    p.run(std::chrono::milliseconds(LOBBY_RELAY_PUNCH_MS));
    EXPECT_EQ(p.guest.phase(), LobbyClient::Phase::failed);
}

TEST(LobbyRelay, AMeetingServerFromBeforeTheRelayStillGivesCodes) {
    Players p;
    p.older = true;
    p.host.host(p.now);
    p.run(std::chrono::milliseconds(2000));
    ASSERT_EQ(p.host.phase(), LobbyClient::Phase::waiting) << p.host.failure();
    EXPECT_TRUE(p.host.relay().empty());
    // Its refreshes, unpadded, are answered and keep the code alive.
    long hosted = p.server.hosted;
    p.run(std::chrono::milliseconds(LOBBY_REFRESH_MS * 2 + 500));
    EXPECT_EQ(p.server.hosted - hosted, 2);
    p.guest.join(p.host.code(), p.now);
    p.run(std::chrono::milliseconds(1500));
    EXPECT_EQ(p.guest.phase(), LobbyClient::Phase::punching) << p.guest.failure();
    EXPECT_TRUE(p.guest.relay().empty());
}

}  // namespace
