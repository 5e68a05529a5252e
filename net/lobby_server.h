#pragma once
// The meeting server's answers: a datagram in, the datagrams to send out. The program
// (lobby/main.cpp) owns the socket and the clock; this holds the codes.
//
// Only requests are answered, and only within the source address's rate limit; an
// answer is never larger than the request (requests are padded), so a forged source
// address gains an attacker nothing. A signal is passed on unchanged, only between a
// code's host and the guest who last gave it. Anything malformed is counted and dropped.
#include <cstdint>
#include <vector>

#include "net/lobby_table.h"

struct LobbyDatagram {
    LobbyAddress to;
    std::vector<uint8_t> bytes;
};

class LobbyServer {
public:
    explicit LobbyServer(uint64_t seed, LobbyLimits limits = {}) : table_(seed, limits) {}

    // Appends the answers to a datagram from `from` to `out`.
    void handle(const uint8_t* data, size_t size, const LobbyAddress& from, int64_t now_ms,
                std::vector<LobbyDatagram>& out);
    void sweep(int64_t now_ms) { table_.sweep(now_ms); }
    const LobbyTable& table() const { return table_; }

    long malformed = 0, limited = 0, hosted = 0, joined = 0, refused = 0;

private:
    LobbyTable table_;
};
