#include "net/lobby_table.h"

#include <algorithm>

namespace {

constexpr uint32_t kCodes = 887503681u;  // 31^6
constexpr int64_t kIdleBucketMs = 60 * 1000;

}  // namespace

LobbyTable::LobbyTable(uint64_t seed, LobbyLimits limits) : limits_(limits), random_(seed) {}

bool LobbyTable::allow(uint32_t source_ip, int64_t now_ms) {
    auto [it, fresh] = buckets_.try_emplace(source_ip);
    Bucket& b = it->second;
    if (fresh) {
        b.tokens = limits_.burst;
    } else {
        double refill = double(std::max<int64_t>(0, now_ms - b.at_ms)) * limits_.per_second / 1000.0;
        b.tokens = std::min(limits_.burst, b.tokens + refill);
    }
    b.at_ms = now_ms;
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

LobbyTable::Answer LobbyTable::host(const LobbyAddress& from, const LobbyAddress& local, int64_t now_ms,
                                    const LobbyAddress& mapped) {
    Answer a;
    auto held = by_host_.find(key(from));
    if (held != by_host_.end()) {
        Entry& e = codes_[held->second];
        if (!expired(e, now_ms)) {
            e.last_use_ms = now_ms;
            e.host_local = local;
            e.host_mapped = mapped;
            a.entry = e;
            return a;
        }
        end(held->second, now_ms);
    }
    Bucket& b = buckets_[from.ip];
    if (codes_.size() >= limits_.most_codes) return a.refusal = LobbyRefusal::full, a;
    if (b.codes >= limits_.most_codes_per_address) return a.refusal = LobbyRefusal::busy, a;
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
    e.last_use_ms = now_ms;
    by_host_[key(from)] = number;
    ++b.codes;
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
    it->second.last_use_ms = now_ms;
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
    by_host_.erase(key(it->second.host_public));
    auto b = buckets_.find(it->second.host_public.ip);
    if (b != buckets_.end() && b->second.codes > 0) --b->second.codes;
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
    std::erase_if(buckets_, [&](const auto& b) { return b.second.codes == 0 && now_ms - b.second.at_ms >= kIdleBucketMs; });
}
