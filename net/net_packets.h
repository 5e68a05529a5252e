#pragma once
// The messages of online play as bytes on the wire, and back. Every packet starts with
// its kind; every field is read with its range checked, and a packet that is short,
// long, of an unknown kind or holds a value the game could not have sent is refused
// whole (decode_packet returns false), never half-trusted.
//
//   hello    guest -> host   protocol, game version, rules fingerprint, the round trip
//                            the guest measured, whether it leaves the delay to the
//                            round trip, the session it comes back to, its input delay
//   welcome  host -> guest   protocol, game version, rules fingerprint, seed, session,
//                            the input delay both use
//   refuse   host -> guest   why, the host's game version and rules fingerprint
//   inputs   both ways       the sender's frame, the last frame it has of the other
//                            side's inputs, and its own inputs from a frame on, in runs
//   hash     both ways       the state hash after a frame
//   hashes   both ways       after hashes that differ: the state hash after every
//                            frame of the block that ends at `frame`
//   bye      both ways       the sender leaves
//   watch    watcher -> host  as the hello's first fields, then the session watched and
//                            the first frame wanted: a watcher sends nothing else
//   watching host -> watcher  the host's version and rules, the seed, who flies, the
//                            session, the frames confirmed so far
//   feed     host -> watcher  both players' confirmed inputs of the frames from `first`,
//                            and the state hashes of those frames that have one
//
// The hello's (and a watch's) first fields, its kind, the magic, the protocol and the
// version, are fixed for good: a build of any protocol can read them, and a hello of
// another protocol is answered in a form that protocol reads.
//   secret   host -> guest   after the welcome, over the connection just made: the key
//                            that proves the guest when it comes back over a new one
//   challenge host -> guest  a hello that names the session, over a new connection:
//                            random bytes for the guest to prove itself with
//   proof    guest -> host   HMAC-SHA-256 of the challenge under the session's secret
//                            (net_proof)
#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t NET_PROTOCOL = 2;
constexpr int NET_DEFAULT_PORT = 7171;
constexpr int NET_MAX_DELAY = 4;
constexpr int NET_MAX_VERSION = 16;   // characters of a version string
constexpr int NET_MAX_RUNS = 32;      // runs of inputs in one packet
constexpr int NET_MAX_INPUTS = 120;   // frames of inputs in one packet
constexpr uint32_t NET_MAX_FRAME = 0x7fffffffu;
constexpr int NET_MAX_HASHES = 60;    // frames of hashes in one packet
constexpr int NET_MAX_FED = 120;      // frames in one feed packet
constexpr int NET_MAX_PILOTS = 160;   // characters of the watching packet's pilots
constexpr int NET_TOKEN_BYTES = 32;   // a secret, a challenge or a proof

// A player's commands, shared with the other machine as part of its input.
enum class NetCommand : uint8_t {
    none = 0,
    start = 1,     // the title's "Start Game"
    pause = 2,
    resume = 3,
    to_title = 4,  // the pause menu's "Quit to title"
};
constexpr int NET_COMMANDS = 5;

// One frame of one player's input as it travels: the sticks at an end or at rest (the
// rules see nothing else), the buttons held, and a command.
struct NetInput {
    int8_t axis[4] = {0, 0, 0, 0};  // -1, 0 or +1
    uint16_t buttons = 0;
    NetCommand command = NetCommand::none;

    bool operator==(const NetInput&) const = default;
};

enum class RefuseReason : uint8_t { version = 1, protocol = 2, busy = 3, rules = 4, watchers = 5 };
enum class ByeReason : uint8_t { quit = 1, desync = 2 };

struct Packet {
    enum class Kind : uint8_t {
        hello = 1, welcome = 2, refuse = 3, inputs = 4, hash = 5, bye = 6, hashes = 7, secret = 8, challenge = 9, proof = 10,
        watch = 11, watching = 12, feed = 13
    };
    Kind kind = Kind::inputs;

    // hello, welcome, refuse
    uint16_t protocol = NET_PROTOCOL;
    std::string version;
    int delay = 1;
    int32_t seed = 0;
    // hello, welcome, refuse: a hash of what the sender's rules make of a fixed game
    uint64_t rules = 0;
    // hello: the round trip the guest measured while connecting (ms), and whether the
    // delay is to be chosen from the round trip rather than `delay`
    uint16_t round_trip = 0;
    bool auto_delay = false;
    // hello, welcome: the session the guest comes back to after a drop (0: a new one),
    // and the one the host gives
    uint32_t session = 0;
    RefuseReason refuse = RefuseReason::version;
    // inputs: the sender's frame now; the last frame of the receiver's inputs it has
    // (0 none); `inputs[i]` is the sender's input for frame first + i.
    uint32_t frame = 0;
    uint32_t ack = 0;
    uint32_t first = 0;
    std::vector<NetInput> inputs;
    // hash: the state hash after `frame`
    uint64_t hash = 0;
    // hashes: the state hash after each frame from frame - size + 1 to frame
    std::vector<uint64_t> hashes;
    ByeReason bye = ByeReason::quit;
    // secret, challenge, proof
    std::array<uint8_t, NET_TOKEN_BYTES> token{};
    // watch: the first frame the watcher wants (1: the match from its start);
    // watching: who flies each side, and how many frames both players confirmed so far
    std::string pilots;
    // feed: both players' confirmed inputs of each frame from `first`, and the state
    // hashes of the frames among them that have one (every NET_HASH_EVERY-th)
    std::vector<std::pair<NetInput, NetInput>> played;
    std::vector<std::pair<uint32_t, uint64_t>> frame_hashes;
};

std::vector<uint8_t> encode_packet(const Packet& p);
// A hello's or a watch's first fields, whatever protocol the rest follows; false if the
// bytes are no hello or watch at all.
bool read_hello_head(const uint8_t* data, size_t size, uint16_t* protocol, std::string* version);
// The refusal a guest speaking `protocol` reads: the first protocol's own layout for it,
// this one's for any other.
std::vector<uint8_t> encode_refusal_for(uint16_t protocol, RefuseReason why, const std::string& version,
                                        uint64_t rules);
// False (and *why says what was wrong) for anything but a well-formed packet.
bool decode_packet(const uint8_t* data, size_t size, Packet* out, std::string* why = nullptr);
