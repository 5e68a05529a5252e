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
#include <cstdint>
#include <vector>

#include "net/lobby_table.h"

struct LobbyDatagram {
    LobbyAddress to;
    std::vector<uint8_t> bytes;
};

// A cookie's time slot; a cookie is good in the slot it was made in and the next.
constexpr int64_t LOBBY_COOKIE_SLOT_MS = 30000;

class LobbyServer {
public:
    // The cookies' key is drawn from the system's random source, never from `seed`.
    explicit LobbyServer(uint64_t seed, LobbyLimits limits = {});

    // Appends the answers to a datagram from `from` to `out`.
    void handle(const uint8_t* data, size_t size, const LobbyAddress& from, int64_t now_ms,
                std::vector<LobbyDatagram>& out);
    void sweep(int64_t now_ms) { table_.sweep(now_ms); }
    const LobbyTable& table() const { return table_; }

    long malformed = 0, limited = 0, hosted = 0, joined = 0, refused = 0, cookies = 0;

private:
    uint64_t cookie(const LobbyAddress& a, int64_t slot) const;
    bool cookie_ok(uint64_t c, const LobbyAddress& a, int64_t now_ms) const;

    LobbyTable table_;
    uint8_t key_[16];
};
