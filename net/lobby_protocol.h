#pragma once
// The meeting service's messages as bytes, and back: a host asks for a join code, a
// guest gives the code and hears where the host is, the host hears where the guest is;
// then both knock on each other's addresses (punch) and the game's own link takes over.
// The same framing carries the local network's "who hosts here?" and its answers.
//
// Every message starts with LOBBY_MAGIC and the protocol number, then its kind. Every
// field is range-checked; anything short, long or unknown is refused whole. Requests
// are padded to LOBBY_REQUEST_SIZE, never smaller than any answer, so the server can
// never be used to send more bytes than it was sent. A host's or a guest's request
// padded to LOBBY_RELAY_REQUEST_SIZE instead makes room for a relay in its answer: the
// code or the meeting then ends with the relay's address and short-lived credentials
// for it, when the server has one (an answer to a request of the first size, as every
// earlier game sends, is as it always was). A host's or a guest's request is
// served only with a cookie the server made for the address it comes from (stateless:
// a keyed hash of the address and a time slot), so an address that cannot receive, a
// forged one, never holds a code or names itself a guest.
//
//   host     host -> server     the host's own (local) address, and the address its router
//                               forwards to it (if it mapped one), and the cookie the
//                               server last gave this address; asks for a code
//   cookie   server -> anyone   asked without a cookie it made for the sender's address
//                               lately: the cookie to ask with again
//   code     server -> host     the code, and the host's address as the server saw it;
//                               the relay and this host's credentials for it, if asked
//   join     guest -> server    the code and the guest's local address, and its cookie
//   meet     server -> guest    the host's public, local and mapped addresses, the guest's
//                               public one; the relay and this guest's credentials, if asked
//   coming   server -> host     the code, the guest's public and local addresses
//   refused  server -> anyone   why (unknown code, expired code, too many requests, full)
//   leave    host -> server     the host leaves: its code is free again
//   punch    player -> player   opens the routers' paths; answered by a punch
//   lan_ask  guest -> broadcast who hosts a game on this network?
//   lan_here host -> guest      a game, on this UDP port, with this version
//   signal   player -> server -> the other player, passed on unchanged: a part of the
//                               sender's ICE description, for the relay (ice_bridge)
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t LOBBY_MAGIC[4] = {'W', 'B', 'L', 'Y'};
constexpr uint8_t LOBBY_PROTOCOL = 1;
constexpr int LOBBY_DEFAULT_PORT = 7170;
// How often a waiting host asks for its code again, which keeps the code alive; a code
// lives at least this and the few seconds a lost refresh takes to be asked again.
constexpr int LOBBY_REFRESH_MS = 20000;
constexpr int LOBBY_SHORTEST_CODE_LIFE_MS = LOBBY_REFRESH_MS + 5000;
constexpr size_t LOBBY_REQUEST_SIZE = 40;
constexpr size_t LOBBY_RELAY_REQUEST_SIZE = 128;
constexpr size_t LOBBY_RELAY_TEXT = 40;  // the most bytes of a relay's user name or password
constexpr size_t LOBBY_MAX_MESSAGE = 256;
constexpr size_t LOBBY_SIGNAL_PART = 200;  // bytes of a description in one signal
constexpr int LOBBY_SIGNAL_PARTS = 8;
constexpr int LOBBY_CODE_LENGTH = 6;
// The characters of a code: no 0 and O, 1, I and L to mix up.
constexpr char LOBBY_ALPHABET[] = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
constexpr int LOBBY_ALPHABET_SIZE = sizeof LOBBY_ALPHABET - 1;

// An IPv4 address and UDP port, both in host byte order; 0.0.0.0:0 for none.
struct LobbyAddress {
    uint32_t ip = 0;
    uint16_t port = 0;
    bool operator==(const LobbyAddress&) const = default;
    bool empty() const { return ip == 0 && port == 0; }
};
std::string address_text(const LobbyAddress& a);

// A TURN relay and the credentials the meeting server made for one player.
struct LobbyRelayOffer {
    LobbyAddress address;  // none: the server has no relay, or the request had no room
    std::string user, password;  // printable, 1 to LOBBY_RELAY_TEXT bytes each
    bool empty() const { return address.empty(); }
    bool operator==(const LobbyRelayOffer&) const = default;
};

enum class LobbyRefusal : uint8_t { none = 0, unknown = 1, expired = 2, busy = 3, full = 4 };

struct LobbyMessage {
    enum class Kind : uint8_t {
        host = 1, code = 2, join = 3, meet = 4, coming = 5, refused = 6, leave = 7, punch = 8, lan_ask = 9, lan_here = 10,
        signal = 11, cookie = 12
    };
    Kind kind = Kind::host;
    uint32_t nonce = 0;           // a request's number, echoed by its answer
    std::string code;             // code, join, coming, leave
    LobbyAddress mine_public;     // code (the host's), meet (the guest's)
    LobbyAddress host_public, host_local, host_mapped;  // meet
    LobbyAddress guest_public, guest_local;  // coming
    LobbyAddress local;           // host, join: the sender's own address
    LobbyAddress mapped;          // host: the port its router forwards to it, if any
    uint64_t cookie = 0;          // host, join: echoed (0 none yet); cookie: to echo
    LobbyRefusal refusal = LobbyRefusal::none;
    uint16_t game_port = 0;       // lan_here
    std::string version;          // lan_here: up to 16 characters
    uint8_t part = 0, parts = 1;  // signal: which part of how many
    std::string data;             // signal: printable text and line ends, 1 to 200 bytes
    bool asks_relay = false;      // host, join: padded to LOBBY_RELAY_REQUEST_SIZE
    LobbyRelayOffer relay;        // code, meet: only in answer to a request that asks
};

std::vector<uint8_t> encode_lobby(const LobbyMessage& m);
// False for anything that is not a well-formed message.
bool decode_lobby(const uint8_t* data, size_t size, LobbyMessage* m);
// Whether a datagram claims to be one of these messages (its first bytes).
bool looks_like_lobby(const uint8_t* data, size_t size);

// A code as the player typed it ("abc-def", "ABC DEF") in its one spelling, or "" if it
// cannot be a code.
std::string normal_code(const std::string& typed);
// A code's number (0 .. 31^6-1) and back.
uint32_t code_number(const std::string& code);
std::string code_text(uint32_t number);
// The player's words for a refusal.
std::string refusal_text(LobbyRefusal r);
