// The wire format of online play: every packet comes back as it was sent, and anything
// that is not a packet the game could have sent (cut short, too long, a value out of its
// range, random damage) is refused whole.
#include <gtest/gtest.h>

#include <random>

#include "net/net_packets.h"

namespace {

NetInput input(int x, int y, int z, int r, uint16_t buttons, NetCommand c = NetCommand::none) {
    NetInput in;
    in.axis[0] = int8_t(x);
    in.axis[1] = int8_t(y);
    in.axis[2] = int8_t(z);
    in.axis[3] = int8_t(r);
    in.buttons = buttons;
    in.command = c;
    return in;
}

std::vector<Packet> samples() {
    std::vector<Packet> out;
    Packet hello;
    hello.kind = Packet::Kind::hello;
    hello.version = "1.3";
    hello.rules = 0x0123456789abcdefull;
    hello.round_trip = 87;
    hello.auto_delay = true;
    hello.session = 0xdeadbeef;
    hello.delay = 2;
    out.push_back(hello);
    Packet welcome;
    welcome.kind = Packet::Kind::welcome;
    welcome.version = "1.3";
    welcome.seed = -123456789;
    welcome.rules = 0xfedcba9876543210ull;
    welcome.session = 77;
    welcome.delay = 4;
    out.push_back(welcome);
    Packet refuse;
    refuse.kind = Packet::Kind::refuse;
    refuse.refuse = RefuseReason::busy;
    refuse.version = "1.3";
    refuse.rules = 0x8000000000000001ull;
    out.push_back(refuse);
    Packet inputs;
    inputs.kind = Packet::Kind::inputs;
    inputs.frame = 5000;
    inputs.ack = 4996;
    inputs.first = 4990;
    for (int i = 0; i < 12; ++i) inputs.inputs.push_back(input(i % 3 - 1, 1, -1, 0, uint16_t(i < 6 ? 1 : 0x8001)));
    inputs.inputs.push_back(input(0, 0, 0, 0, 0, NetCommand::pause));
    out.push_back(inputs);
    Packet hash;
    hash.kind = Packet::Kind::hash;
    hash.frame = 900;
    hash.hash = 0xfedcba9876543210ull;
    out.push_back(hash);
    Packet hashes;
    hashes.kind = Packet::Kind::hashes;
    hashes.frame = 90;
    for (int i = 0; i < 30; ++i) hashes.hashes.push_back(0x1000000000000001ull * uint64_t(i + 1));
    out.push_back(hashes);
    Packet bye;
    bye.kind = Packet::Kind::bye;
    bye.bye = ByeReason::desync;
    out.push_back(bye);
    Packet watch;
    watch.kind = Packet::Kind::watch;
    watch.version = "1.3";
    watch.rules = 0x0123456789abcdefull;
    watch.session = 77;
    watch.first = 3001;
    out.push_back(watch);
    // The pilots as the title names them, a middle dot and all.
    Packet watching;
    watching.kind = Packet::Kind::watching;
    watching.version = "1.3";
    watching.rules = 0x0123456789abcdefull;
    watching.seed = 21;
    watching.pilots = "Blue: Computer \u00b7 normal (host); Red: the guest";
    watching.session = 77;
    watching.frame = 3000;
    out.push_back(watching);
    Packet feed;
    feed.kind = Packet::Kind::feed;
    feed.first = 59;
    feed.played = {{NetInput{}, NetInput{}}, {NetInput{}, NetInput{}}};
    feed.frame_hashes = {{60u, 0xfeedull}};
    out.push_back(feed);
    return out;
}

bool decodes(const std::vector<uint8_t>& bytes, Packet* p = nullptr) {
    Packet scratch;
    return decode_packet(bytes.data(), bytes.size(), p ? p : &scratch);
}

// What any accepted packet must hold, whatever bytes it came from.
void expect_in_range(const Packet& p) {
    EXPECT_LE(p.delay, NET_MAX_DELAY);
    EXPECT_GE(p.delay, 0);
    EXPECT_LE(p.version.size(), size_t(NET_MAX_VERSION));
    EXPECT_LE(p.frame, NET_MAX_FRAME);
    EXPECT_LE(p.ack, NET_MAX_FRAME);
    EXPECT_LE(p.inputs.size(), size_t(NET_MAX_INPUTS));
    if (p.kind == Packet::Kind::inputs) {
        EXPECT_GE(p.first, 1u);
        EXPECT_FALSE(p.inputs.empty());
    }
    for (const NetInput& in : p.inputs) {
        for (int8_t a : in.axis) EXPECT_TRUE(a >= -1 && a <= 1);
        EXPECT_LT(int(in.command), NET_COMMANDS);
    }
}

TEST(NetPackets, EveryKindComesBackAsSent) {
    for (const Packet& sent : samples()) {
        std::vector<uint8_t> bytes = encode_packet(sent);
        Packet got;
        ASSERT_TRUE(decodes(bytes, &got)) << int(sent.kind);
        EXPECT_EQ(got.kind, sent.kind);
        EXPECT_EQ(got.version, sent.version);
        EXPECT_EQ(got.delay, sent.delay);
        EXPECT_EQ(got.seed, sent.seed);
        EXPECT_EQ(got.refuse, sent.refuse);
        EXPECT_EQ(got.frame, sent.frame);
        EXPECT_EQ(got.ack, sent.ack);
        EXPECT_EQ(got.first, sent.first);
        EXPECT_EQ(got.inputs, sent.inputs);
        EXPECT_EQ(got.hash, sent.hash);
        EXPECT_EQ(got.bye, sent.bye);
        EXPECT_EQ(got.rules, sent.rules);
        EXPECT_EQ(got.round_trip, sent.round_trip);
        EXPECT_EQ(got.auto_delay, sent.auto_delay);
        EXPECT_EQ(got.hashes, sent.hashes);
        EXPECT_EQ(got.session, sent.session);
        EXPECT_EQ(got.pilots, sent.pilots);
        EXPECT_EQ(got.played, sent.played);
        EXPECT_EQ(got.frame_hashes, sent.frame_hashes);
    }
}

TEST(NetPackets, HeldInputsTravelAsRunsAndStayWithinTheLimits) {
    Packet p;
    p.kind = Packet::Kind::inputs;
    p.first = 1;
    p.inputs.assign(100, input(1, 0, 0, -1, 1));
    // A hundred frames of one stick position: one run of five bytes after the header.
    EXPECT_EQ(encode_packet(p).size(), 1u + 12 + 1 + 5);
    // More frames than a packet holds: the first ones go, the rest come in a later one.
    p.inputs.assign(NET_MAX_INPUTS + 50, input(0, 0, 0, 0, 0));
    Packet got;
    ASSERT_TRUE(decodes(encode_packet(p), &got));
    EXPECT_EQ(got.inputs.size(), size_t(NET_MAX_INPUTS));
    p.inputs.clear();
    for (int i = 0; i < 60; ++i) p.inputs.push_back(input(0, 0, 0, 0, uint16_t(i)));
    ASSERT_TRUE(decodes(encode_packet(p), &got));
    EXPECT_EQ(got.inputs.size(), size_t(NET_MAX_RUNS));
}

TEST(NetPackets, EveryCutAndEveryExtraByteIsRefused) {
    for (const Packet& sent : samples()) {
        std::vector<uint8_t> bytes = encode_packet(sent);
        for (size_t n = 0; n < bytes.size(); ++n)
            EXPECT_FALSE(decodes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)))) << int(sent.kind) << " " << n;
        bytes.push_back(0);
        EXPECT_FALSE(decodes(bytes)) << int(sent.kind);
    }
}

TEST(NetPackets, ValuesOutOfRangeAreRefused) {
    std::vector<Packet> all = samples();
    const std::vector<uint8_t> hello = encode_packet(all[0]), inputs = encode_packet(all[3]);
    auto changed = [](std::vector<uint8_t> b, size_t at, uint8_t v) {
        b[at] = v;
        return b;
    };
    std::string why;
    EXPECT_FALSE(decodes({0}));
    EXPECT_FALSE(decodes({7}));
    EXPECT_FALSE(decodes(changed(hello, 1, 'X')));               // magic
    EXPECT_FALSE(decodes(changed(hello, 7, 0)));                 // empty version
    EXPECT_FALSE(decodes(changed(hello, 7, 17)));                // version too long
    EXPECT_FALSE(decodes(changed(hello, 8, 0x07)));              // unprintable version
    EXPECT_FALSE(decodes(changed(hello, hello.size() - 1, 5)));  // delay above 4
    EXPECT_FALSE(decodes(changed(hello, hello.size() - 6, 2)));  // automatic delay neither yes nor no
    // inputs: kind, frame(4), ack(4), first(4), runs(1), then axes, buttons(2), command, length
    EXPECT_FALSE(decodes(changed(inputs, 4, 0x80)));   // frame past the limit
    EXPECT_FALSE(decodes(changed(changed(changed(changed(inputs, 9, 0), 10, 0), 11, 0), 12, 0)));  // frame 0 first
    EXPECT_FALSE(decodes(changed(inputs, 13, 0)));     // no runs
    EXPECT_FALSE(decodes(changed(inputs, 13, 33)));    // too many runs
    EXPECT_FALSE(decodes(changed(inputs, 14, 0x03)));  // an axis code that means nothing
    EXPECT_FALSE(decodes(changed(inputs, 17, 5)));     // an unknown command
    EXPECT_FALSE(decodes(changed(inputs, 18, 0)));     // an empty run
    EXPECT_FALSE(decodes(changed(inputs, 18, 121)));   // more frames than a packet holds
    Packet p;
    p.kind = Packet::Kind::inputs;
    p.first = NET_MAX_FRAME;
    p.inputs.assign(2, NetInput{});
    EXPECT_FALSE(decode_packet(encode_packet(p).data(), encode_packet(p).size(), &p, &why));
    EXPECT_EQ(why, "last frame");
    const std::vector<uint8_t> refuse = encode_packet(all[2]), bye = encode_packet(all[6]);
    EXPECT_FALSE(decodes(changed(refuse, 1, 9)));
    EXPECT_FALSE(decodes(changed(bye, 1, 0)));
    // hashes: kind, frame(4), count, then the hashes
    const std::vector<uint8_t> hashes = encode_packet(all[5]);
    EXPECT_FALSE(decodes(changed(hashes, 5, 0)));   // none
    EXPECT_FALSE(decodes(changed(hashes, 5, 61)));  // more than a packet holds
    Packet early = all[5];
    early.frame = 20;  // 30 hashes of 20 frames
    EXPECT_FALSE(decodes(encode_packet(early)));
}

// Damage of every kind to packets the game sends: flipped bits, bytes changed, cut,
// doubled or inserted. Nothing may crash, and whatever is accepted is in range.
TEST(NetPackets, MutatedPacketsAreRefusedOrInRange) {
    std::mt19937 rng(7);
    auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };
    std::vector<Packet> all = samples();
    int refused = 0, accepted = 0;
    for (int round = 0; round < 200000; ++round) {
        std::vector<uint8_t> b = encode_packet(all[pick(all.size())]);
        int edits = 1 + int(pick(4));
        for (int e = 0; e < edits; ++e) {
            switch (pick(5)) {
                case 0: b[pick(b.size())] ^= uint8_t(1u << pick(8)); break;
                case 1: b[pick(b.size())] = uint8_t(pick(256)); break;
                case 2: b.resize(pick(b.size()) + 1); break;
                case 3: b.insert(b.begin() + long(pick(b.size())), uint8_t(pick(256))); break;
                case 4: b.insert(b.end(), b.begin(), b.begin() + long(pick(b.size()))); break;
            }
        }
        Packet p;
        if (!decodes(b, &p)) {
            ++refused;
            continue;
        }
        ++accepted;
        expect_in_range(p);
        // An accepted packet is a packet: it encodes to bytes that decode the same.
        Packet again;
        ASSERT_TRUE(decodes(encode_packet(p), &again));
        EXPECT_EQ(again.inputs, p.inputs);
    }
    EXPECT_GT(refused, 100000);
    EXPECT_GT(accepted, 1000);
}

}  // namespace
