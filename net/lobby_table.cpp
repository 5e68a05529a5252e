#include "net/lobby_table.h"

#include <algorithm>

namespace {

constexpr uint32_t kCodes = 887503681u;  // 31^6
constexpr int64_t kIdleRateMs = 60 * 1000;

uint32_t prefix_of(uint32_t ip) { return ip >> 8; }
uint64_t prefix_key(uint32_t ip) { return uint64_t(1) << 32 | prefix_of(ip); }

void release(std::unordered_map<uint32_t, uint32_t>& held, uint32_t key) {
    auto it = held.find(key);
    if (it == held.end()) return;
    if (--it->second == 0) held.erase(it);
}

uint32_t count(const std::unordered_map<uint32_t, uint32_t>& held, uint32_t key) {
    auto it = held.find(key);
    return it == held.end() ? 0 : it->second;
}

}  // namespace

LobbyTable::LobbyTable(uint64_t seed, LobbyLimits limits) : limits_(limits), random_(seed) {}

// One token from a rate count, made (full) if it was not counted, the least lately heard
// count forgotten when the table is full.
bool LobbyTable::take(uint64_t key, double burst, double per_second, int64_t now_ms) {
    auto found = rates_.find(key);
    if (found == rates_.end()) {
        if (rates_.size() >= limits_.most_sources && !rate_order_.empty()) {
            rates_.erase(rate_order_.back().key);
            rate_order_.pop_back();
        }
        rate_order_.push_front(Rate{key, burst, now_ms});
        found = rates_.emplace(key, rate_order_.begin()).first;
    } else {
        rate_order_.splice(rate_order_.begin(), rate_order_, found->second);
        Rate& r = *found->second;
        double refill = double(std::max<int64_t>(0, now_ms - r.at_ms)) * per_second / 1000.0;
        r.tokens = std::min(burst, r.tokens + refill);
        r.at_ms = now_ms;
    }
    Rate& r = *found->second;
    if (r.tokens < 1) return false;
    r.tokens -= 1;
    return true;
}

bool LobbyTable::allow(uint32_t source_ip, int64_t now_ms) {
    // The network's count first: a network over its quota spends none of an address's.
    return take(prefix_key(source_ip), limits_.prefix_burst, limits_.prefix_per_second, now_ms) &&
           take(source_ip, limits_.burst, limits_.per_second, now_ms);
}

LobbyTable::Answer LobbyTable::host(const LobbyAddress& from, const LobbyAddress& local, int64_t now_ms,
                                    const LobbyAddress& mapped) {
    Answer a;
    auto held = by_host_.find(key(from));
    if (held != by_host_.end()) {
        Entry& e = codes_[held->second];
        if (!expired(e, now_ms)) {
            e.refreshed_ms = now_ms;
            e.host_local = local;
            e.host_mapped = mapped;
            a.entry = e;
            return a;
        }
        end(held->second, now_ms);
    }
    if (codes_.size() >= limits_.most_codes) return a.refusal = LobbyRefusal::full, a;
    if (count(held_by_address_, from.ip) >= limits_.most_codes_per_address ||
        count(held_by_prefix_, prefix_of(from.ip)) >= limits_.most_codes_per_prefix)
        return a.refusal = LobbyRefusal::busy, a;
    uint32_t number;
    // Codes are drawn at random (a guest cannot guess the next one), never one in use or
    // lately ended; the table is far from full, so this ends after a draw or two.
    do {
        number = uint32_t(random_() % kCodes);
    } while (codes_.count(number) || ended_.count(number));
    Entry& e = codes_[number];
    e.code = code_text(number);
    e.host_public = from;
    e.host_local = local;
    e.host_mapped = mapped;
    e.refreshed_ms = now_ms;
    by_host_[key(from)] = number;
    ++held_by_address_[from.ip];
    ++held_by_prefix_[prefix_of(from.ip)];
    a.entry = e;
    return a;
}

const LobbyTable::Entry* LobbyTable::find(const std::string& code) const {
    std::string normal = normal_code(code);
    if (normal.empty()) return nullptr;
    auto it = codes_.find(code_number(normal));
    return it == codes_.end() ? nullptr : &it->second;
}

LobbyTable::Answer LobbyTable::join(const std::string& code, int64_t now_ms, const LobbyAddress& guest) {
    Answer a;
    std::string normal = normal_code(code);
    if (normal.empty()) return a.refusal = LobbyRefusal::unknown, a;
    uint32_t number = code_number(normal);
    auto it = codes_.find(number);
    if (it == codes_.end()) {
        a.refusal = ended_.count(number) ? LobbyRefusal::expired : LobbyRefusal::unknown;
        return a;
    }
    if (expired(it->second, now_ms)) {
        end(number, now_ms);
        return a.refusal = LobbyRefusal::expired, a;
    }
    if (!guest.empty()) it->second.guest = guest;
    a.entry = it->second;
    return a;
}

bool LobbyTable::leave(const std::string& code, const LobbyAddress& from, int64_t now_ms) {
    std::string normal = normal_code(code);
    if (normal.empty()) return false;
    uint32_t number = code_number(normal);
    auto it = codes_.find(number);
    if (it == codes_.end() || !(it->second.host_public == from)) return false;
    end(number, now_ms);
    return true;
}

void LobbyTable::end(uint32_t number, int64_t now_ms) {
    auto it = codes_.find(number);
    if (it == codes_.end()) return;
    const LobbyAddress& host = it->second.host_public;
    by_host_.erase(key(host));
    release(held_by_address_, host.ip);
    release(held_by_prefix_, prefix_of(host.ip));
    codes_.erase(it);
    if (ended_.size() < limits_.most_remembered) ended_[number] = now_ms;
}

void LobbyTable::sweep(int64_t now_ms) {
    for (auto it = codes_.begin(); it != codes_.end();) {
        uint32_t number = it->first;
        ++it;
        if (expired(codes_[number], now_ms)) end(number, now_ms);
    }
    std::erase_if(ended_, [&](const auto& e) { return now_ms - e.second >= limits_.remember_expired_ms; });
    while (!rate_order_.empty() && now_ms - rate_order_.back().at_ms >= kIdleRateMs) {
        rates_.erase(rate_order_.back().key);
        rate_order_.pop_back();
    }
}
