#pragma once
// The meeting server's answers: a datagram in, the datagrams to send out. The program
// (lobby/main.cpp) owns the socket and the clock; this holds the codes.
//
// Only requests are answered, and only within the source address's rate limit; an
// answer is never larger than the request (requests are padded), so a forged source
// address gains an attacker nothing. A host's or a guest's request must echo a cookie
// made for its address: without one it hears only the cookie, and nothing of it is
// kept, so forged addresses neither get codes nor reach a host as guests nor fill the
// rate table. A signal is passed on unchanged, only between a code's host and the guest
// who last gave it. Anything malformed is counted and dropped.
//
// Given a relay (set_relay), a code's host and its guests whose requests have room for
// it hear the relay's address and credentials of their own for it (turn_credentials:
// the relay checks them with the secret it shares with this server), good for
// LOBBY_RELAY_LIFE_S from the answer; the secret itself is never sent.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/lobby_table.h"

struct LobbyDatagram {
    LobbyAddress to;
    std::vector<uint8_t> bytes;
};

// A cookie's time slot; a cookie is good in the slot it was made in and the next.
constexpr int64_t LOBBY_COOKIE_SLOT_MS = 30000;
// How long a relay's credentials are good for after the answer that gave them: long
// enough for an evening of matches over one link (the relay refuses to renew an
// allocation whose credentials have expired), short enough that a leaked one soon ends.
constexpr int64_t LOBBY_RELAY_LIFE_S = 6 * 3600;

struct LobbyRelay {
    LobbyAddress address;  // the relay's IPv4 address and UDP port
    std::string secret;    // the secret it shares with this server (coturn's static-auth-secret)
    // The Unix time in seconds that expiries count from; the system's unless set.
    std::function<int64_t()> unix_time;
};

class LobbyServer {
public:
    // The cookies' key is drawn from the system's random source, never from `seed`.
    explicit LobbyServer(uint64_t seed, LobbyLimits limits = {});

    // Appends the answers to a datagram from `from` to `out`.
    void handle(const uint8_t* data, size_t size, const LobbyAddress& from, int64_t now_ms,
                std::vector<LobbyDatagram>& out);
    void sweep(int64_t now_ms) { table_.sweep(now_ms); }
    // Hands players this relay from now on (an empty address: none).
    void set_relay(LobbyRelay relay);
    const LobbyTable& table() const { return table_; }

    long malformed = 0, limited = 0, hosted = 0, joined = 0, refused = 0, cookies = 0, relays = 0;

private:
    // The relay and credentials for one player of a code ("host" or "guest"), if the
    // request has room for them.
    LobbyRelayOffer offer(const LobbyMessage& request, const std::string& code, const char* side);
    LobbyRelay relay_;
    uint64_t cookie(const LobbyAddress& a, int64_t slot) const;
    bool cookie_ok(uint64_t c, const LobbyAddress& a, int64_t now_ms) const;

    LobbyTable table_;
    uint8_t key_[16];
};
