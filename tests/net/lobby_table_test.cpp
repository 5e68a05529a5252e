// The meeting server's code table and its messages, with a clock of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "net/lobby_server.h"

namespace {

constexpr int64_t kMinute = 60 * 1000;

LobbyAddress at(uint32_t ip, uint16_t port) { return {ip, port}; }

TEST(LobbyTable, CodesAreSixCharactersWithoutLookAlikes) {
    LobbyTable table(1);
    std::set<std::string> seen;
    for (uint32_t i = 0; i < 2000; ++i) {
        LobbyTable::Answer a = table.host(at(0x0a000000u + i * 256, 7171), at(0xc0a80002u, 7171), 0);
        ASSERT_EQ(a.refusal, LobbyRefusal::none);
        const std::string& code = a.entry.code;
        ASSERT_EQ(code.size(), 6u);
        for (char c : code) {
            EXPECT_TRUE((c >= '2' && c <= '9') || (c >= 'A' && c <= 'Z')) << code;
            EXPECT_EQ(std::strchr("01OIL", c), nullptr) << "look-alike in " << code;
        }
        EXPECT_TRUE(seen.insert(code).second) << "code given twice: " << code;
    }
    EXPECT_EQ(table.waiting(), 2000u);
    EXPECT_EQ(std::string(LOBBY_ALPHABET).find_first_of("01OIL"), std::string::npos);
}

TEST(LobbyTable, TypedCodesAreForgiving) {
    EXPECT_EQ(normal_code("abc-def"), "ABCDEF");
    EXPECT_EQ(normal_code(" 23 45 67 "), "234567");
    EXPECT_EQ(normal_code("ABCDE"), "");
    EXPECT_EQ(normal_code("ABCDEFG"), "");
    EXPECT_EQ(normal_code("ABCDE0"), "") << "0 is no code character";
    EXPECT_EQ(normal_code("ABCDEO"), "");
    EXPECT_EQ(normal_code(std::string("ABC\0EF", 6)), "");
    for (uint32_t n : {0u, 1u, 12345678u, 887503680u}) EXPECT_EQ(code_number(code_text(n)), n);
}

TEST(LobbyTable, AHostAskingAgainKeepsItsCode) {
    LobbyTable table(2);
    LobbyTable::Answer first = table.host(at(0x01020304, 5000), at(0xc0a80002u, 7171), 0);
    LobbyTable::Answer again = table.host(at(0x01020304, 5000), at(0xc0a80002u, 7171), 1000);
    EXPECT_EQ(first.entry.code, again.entry.code);
    LobbyTable::Answer other = table.host(at(0x01020304, 5001), at(0xc0a80003u, 7171), 1000);
    EXPECT_NE(first.entry.code, other.entry.code);
    EXPECT_EQ(table.waiting(), 2u);
}

TEST(LobbyTable, AGuestHearsBothAddressesOfTheHost) {
    LobbyTable table(3);
    std::string code = table.host(at(0x01020304, 5000), at(0xc0a80002u, 7171), 0).entry.code;
    LobbyTable::Answer a = table.join(code, 10);
    ASSERT_EQ(a.refusal, LobbyRefusal::none);
    EXPECT_EQ(a.entry.host_public, at(0x01020304, 5000));
    EXPECT_EQ(a.entry.host_local, at(0xc0a80002u, 7171));
    // Typed in small letters with a dash, it is the same code.
    std::string typed = code.substr(0, 3) + "-" + code.substr(3);
    for (char& c : typed) c = char(std::tolower(c));
    EXPECT_EQ(table.join(typed, 20).refusal, LobbyRefusal::none);
}

TEST(LobbyTable, ACodeExpiresTenMinutesAfterItsHostLastAskedForIt) {
    LobbyTable table(4);
    LobbyAddress host = at(0x01020304, 5000);
    std::string code = table.host(host, {}, 0).entry.code;
    // The host asking again starts its ten minutes afresh; guests trying it do not.
    EXPECT_EQ(table.join(code, 9 * kMinute).refusal, LobbyRefusal::none);
    EXPECT_EQ(table.host(host, {}, 9 * kMinute).entry.code, code);
    EXPECT_EQ(table.join(code, 18 * kMinute).refusal, LobbyRefusal::none);
    EXPECT_EQ(table.join(code, 19 * kMinute - 1).refusal, LobbyRefusal::none);
    EXPECT_EQ(table.join(code, 19 * kMinute).refusal, LobbyRefusal::expired) << "the guests' joins kept the code alive";
    EXPECT_EQ(table.waiting(), 0u);
    // Later it is still "expired", not "unknown", and a sweep ends unused codes alike.
    EXPECT_EQ(table.join(code, 40 * kMinute).refusal, LobbyRefusal::expired);
    std::string second = table.host(at(0x01020305, 5000), {}, 40 * kMinute).entry.code;
    table.sweep(49 * kMinute);
    EXPECT_EQ(table.waiting(), 1u);
    table.sweep(50 * kMinute);
    EXPECT_EQ(table.waiting(), 0u);
    EXPECT_EQ(table.join(second, 50 * kMinute).refusal, LobbyRefusal::expired);
    // A code never given is unknown.
    std::string never = second == "222222" ? "333333" : "222222";
    EXPECT_EQ(table.join(never, 50 * kMinute).refusal, LobbyRefusal::unknown);
}

TEST(LobbyTable, ACodeIsReleasedWhenItsHostLeavesAndOnlyThen) {
    LobbyTable table(5);
    LobbyAddress host = at(0x01020304, 5000);
    std::string code = table.host(host, {}, 0).entry.code;
    EXPECT_FALSE(table.leave(code, at(0x01020304, 5001), 10)) << "a stranger ended the code";
    EXPECT_FALSE(table.leave(code, at(0x09090909, 5000), 10));
    EXPECT_EQ(table.join(code, 20).refusal, LobbyRefusal::none);
    EXPECT_TRUE(table.leave(code, host, 30));
    EXPECT_EQ(table.waiting(), 0u);
    EXPECT_EQ(table.join(code, 40).refusal, LobbyRefusal::expired);
    // The host asking again gets a new code, never the one just ended.
    std::string next = table.host(host, {}, 50).entry.code;
    EXPECT_NE(next, code);
}

TEST(LobbyTable, RequestsPerSourceAddressAreLimited) {
    LobbyTable table(6);
    int allowed = 0;
    for (int i = 0; i < 100; ++i) allowed += table.allow(0x01020304, 0);
    EXPECT_EQ(allowed, 20) << "the burst";
    EXPECT_TRUE(table.allow(0x05060708, 0)) << "another address is not held back";
    // Ten a second after the burst.
    allowed = 0;
    for (int ms = 1; ms <= 1000; ++ms) allowed += table.allow(0x01020304, ms);
    EXPECT_EQ(allowed, 10);
    // After a rest the burst is back.
    allowed = 0;
    for (int i = 0; i < 100; ++i) allowed += table.allow(0x01020304, 10000);
    EXPECT_EQ(allowed, 20);
}

TEST(LobbyTable, OneAddressCannotHoldEveryCode) {
    LobbyLimits limits;
    limits.most_codes_per_address = 4;
    limits.most_codes = 6;
    LobbyTable table(7, limits);
    for (uint16_t port = 1; port <= 4; ++port)
        EXPECT_EQ(table.host(at(0x01020304, port), {}, 0).refusal, LobbyRefusal::none);
    EXPECT_EQ(table.host(at(0x01020304, 5), {}, 0).refusal, LobbyRefusal::busy);
    EXPECT_EQ(table.host(at(0x05060708, 1), {}, 0).refusal, LobbyRefusal::none);
    EXPECT_EQ(table.host(at(0x05060709, 1), {}, 0).refusal, LobbyRefusal::none);
    EXPECT_EQ(table.host(at(0x0506070a, 1), {}, 0).refusal, LobbyRefusal::full);
}

std::vector<uint8_t> request(LobbyMessage::Kind kind, const std::string& code = "", uint32_t nonce = 9,
                             uint64_t cookie = 0) {
    LobbyMessage m;
    m.kind = kind;
    m.code = code;
    m.nonce = nonce;
    m.local = at(0xc0a80002u, 7171);
    m.cookie = cookie;
    return encode_lobby(m);
}

// The cookie the server gives `from` for a request without one.
uint64_t cookie_for(LobbyServer& server, const LobbyAddress& from, int64_t now_ms) {
    std::vector<LobbyDatagram> out;
    std::vector<uint8_t> ask = request(LobbyMessage::Kind::host);
    server.handle(ask.data(), ask.size(), from, now_ms, out);
    LobbyMessage m;
    if (out.size() != 1 || !decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &m) || m.kind != LobbyMessage::Kind::cookie)
        return 0;
    return m.cookie;
}

TEST(LobbyServer, AnswersAHostAndTellsItWhoIsComing) {
    LobbyServer server(8);
    std::vector<LobbyDatagram> out;
    // Without a cookie, the cookie alone, smaller than the request.
    std::vector<uint8_t> ask = request(LobbyMessage::Kind::host);
    server.handle(ask.data(), ask.size(), at(0x01020304, 4000), 0, out);
    ASSERT_EQ(out.size(), 1u);
    LobbyMessage cookie;
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &cookie));
    ASSERT_EQ(cookie.kind, LobbyMessage::Kind::cookie);
    EXPECT_EQ(cookie.nonce, 9u);
    EXPECT_LT(out[0].bytes.size(), ask.size());
    EXPECT_EQ(server.table().waiting(), 0u);
    out.clear();
    ask = request(LobbyMessage::Kind::host, "", 9, cookie.cookie);
    server.handle(ask.data(), ask.size(), at(0x01020304, 4000), 0, out);
    ASSERT_EQ(out.size(), 1u);
    LobbyMessage code;
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &code));
    EXPECT_EQ(code.kind, LobbyMessage::Kind::code);
    EXPECT_EQ(code.nonce, 9u);
    EXPECT_EQ(code.mine_public, at(0x01020304, 4000));
    out.clear();
    std::vector<uint8_t> join =
        request(LobbyMessage::Kind::join, code.code, 77, cookie_for(server, at(0x05060708, 6000), 5));
    server.handle(join.data(), join.size(), at(0x05060708, 6000), 5, out);
    ASSERT_EQ(out.size(), 2u);
    LobbyMessage meet, coming;
    ASSERT_TRUE(decode_lobby(out[0].bytes.data(), out[0].bytes.size(), &meet));
    ASSERT_TRUE(decode_lobby(out[1].bytes.data(), out[1].bytes.size(), &coming));
    EXPECT_EQ(out[0].to, at(0x05060708, 6000));
    EXPECT_EQ(meet.kind, LobbyMessage::Kind::meet);
    EXPECT_EQ(meet.nonce, 77u);
    EXPECT_EQ(meet.host_public, at(0x01020304, 4000));
    EXPECT_EQ(meet.host_local, at(0xc0a80002u, 7171));
    EXPECT_EQ(meet.mine_public, at(0x05060708, 6000));
    EXPECT_EQ(out[1].to, at(0x01020304, 4000));
    EXPECT_EQ(coming.kind, LobbyMessage::Kind::coming);
    EXPECT_EQ(coming.guest_public, at(0x05060708, 6000));
    // No answer is larger than its request.
    for (const LobbyDatagram& d : out) EXPECT_LE(d.bytes.size(), join.size());
}

TEST(LobbyServer, BadInputIsDroppedAndNeverAnswered) {
    LobbyServer server(9);
    std::vector<LobbyDatagram> out;
    std::vector<uint8_t> good = request(LobbyMessage::Kind::host);
    // Every cut of a good request, every single byte changed, and answers sent to it.
    for (size_t n = 0; n < good.size(); ++n) server.handle(good.data(), n, at(0x01020304, 4000), 0, out);
    EXPECT_TRUE(out.empty());
    long before = server.malformed;
    for (size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x80;
        server.handle(bad.data(), bad.size(), at(0x0a000000u + uint32_t(i), 4000), 0, out);
    }
    EXPECT_EQ(server.malformed - before, long(good.size()) - 24) << "only the nonce, the addresses and the cookie may vary";
    LobbyMessage refused;
    refused.kind = LobbyMessage::Kind::refused;
    refused.refusal = LobbyRefusal::unknown;
    out.clear();
    std::vector<uint8_t> answer = encode_lobby(refused);
    server.handle(answer.data(), answer.size(), at(0x01020304, 4000), 0, out);
    EXPECT_TRUE(out.empty());
    std::vector<uint8_t> huge(5000, 'W');
    server.handle(huge.data(), huge.size(), at(0x01020304, 4000), 0, out);
    EXPECT_TRUE(out.empty());
}

TEST(LobbyServer, AFloodFromOneAddressIsCut) {
    LobbyServer server(10);
    std::vector<LobbyDatagram> out;
    std::vector<uint8_t> join = request(LobbyMessage::Kind::join, "ABCDEF", 9, cookie_for(server, at(0x01020304, 4000), 0));
    for (int i = 0; i < 1000; ++i) server.handle(join.data(), join.size(), at(0x01020304, 4000), 0, out);
    EXPECT_EQ(out.size(), 20u);
    EXPECT_EQ(server.limited, 980);
}

}  // namespace
