#pragma once
// The meeting server's memory: the codes waiting for a guest, each with where its host
// is, and how many requests each source address has made lately. Pure: the time comes
// in as milliseconds from the caller, so expiry and the rate limit can be tested with a
// clock of the test's own.
//
// A code lives LobbyLimits::code_life_ms after its host last asked for it (guests'
// joins do not keep it alive: a vanished host's code ends however often it is tried),
// and ends at once when its host leaves. An ended code is remembered for a while so that
// a guest hears "expired" rather than "no such code".
//
// Requests are limited per source address and per /24 network, and so are the codes
// one address or one network may hold; the rate counts are kept for at most
// LobbyLimits::most_sources addresses and networks, the least lately heard forgotten
// first, so no stream of new sources grows the table without bound.
#include <cstdint>
#include <list>
#include <random>
#include <string>
#include <unordered_map>

#include "net/lobby_protocol.h"

struct LobbyLimits {
    int64_t code_life_ms = 10 * 60 * 1000;
    int64_t remember_expired_ms = 60 * 60 * 1000;
    size_t most_codes = 200000;          // waiting codes in all
    size_t most_codes_per_address = 32;  // waiting codes of one source address
    size_t most_codes_per_prefix = 128;  // waiting codes of one /24 network
    size_t most_remembered = 200000;     // expired codes remembered
    size_t most_sources = 65536;         // addresses and networks whose rate is counted
    // Requests per source address: a burst of `burst`, then `per_second`; per /24
    // network, `prefix_burst` then `prefix_per_second`.
    double burst = 20, per_second = 10;
    double prefix_burst = 100, prefix_per_second = 50;
};

class LobbyTable {
public:
    explicit LobbyTable(uint64_t seed, LobbyLimits limits = {});

    struct Entry {
        std::string code;
        LobbyAddress host_public, host_local, host_mapped;
        LobbyAddress guest;  // the last guest who gave the code, as the server saw it
        int64_t refreshed_ms = 0;  // when the host last asked for it
    };
    struct Answer {
        LobbyRefusal refusal = LobbyRefusal::none;
        Entry entry;  // the code's, when not refused
    };

    // A request from this source address may go ahead (and counts against its limit
    // and its network's).
    bool allow(uint32_t source_ip, int64_t now_ms);
    // A host asks for a code: a new one, or the one it already holds (asked again, with
    // its addresses as they are now, which keeps it alive).
    Answer host(const LobbyAddress& from, const LobbyAddress& local, int64_t now_ms, const LobbyAddress& mapped = {});
    // A guest gives a code: the host's addresses, or why not.
    Answer join(const std::string& code, int64_t now_ms, const LobbyAddress& guest = {});
    // The code's entry while it lives, or none.
    const Entry* find(const std::string& code) const;
    // The host leaves: its code ends. Only the address that holds the code can end it.
    bool leave(const std::string& code, const LobbyAddress& from, int64_t now_ms);
    // Forgets what has expired and rate counts long idle.
    void sweep(int64_t now_ms);

    size_t waiting() const { return codes_.size(); }
    size_t remembered() const { return ended_.size(); }
    // Addresses and networks whose requests are counted now.
    size_t sources() const { return rates_.size(); }

private:
    struct Rate {
        uint64_t key = 0;  // an address, or a /24 network (above 32 bits)
        double tokens = 0;
        int64_t at_ms = 0;
    };
    static uint64_t key(const LobbyAddress& a) { return uint64_t(a.ip) << 16 | a.port; }
    bool take(uint64_t key, double burst, double per_second, int64_t now_ms);
    void end(uint32_t number, int64_t now_ms);
    bool expired(const Entry& e, int64_t now_ms) const { return now_ms - e.refreshed_ms >= limits_.code_life_ms; }

    LobbyLimits limits_;
    std::mt19937_64 random_;
    std::unordered_map<uint32_t, Entry> codes_;       // by code number
    std::unordered_map<uint64_t, uint32_t> by_host_;  // host's public address -> code number
    std::unordered_map<uint32_t, int64_t> ended_;     // code number -> when it ended
    // Codes held, by source address and by /24 network (no entry for none).
    std::unordered_map<uint32_t, uint32_t> held_by_address_, held_by_prefix_;
    // Rate counts, the most lately heard first.
    std::list<Rate> rate_order_;
    std::unordered_map<uint64_t, std::list<Rate>::iterator> rates_;
};
