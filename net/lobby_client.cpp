#include "net/lobby_client.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;
constexpr auto kAskAgain = 250ms;
constexpr auto kRefresh = std::chrono::milliseconds(LOBBY_REFRESH_MS);
constexpr auto kJoinAgain = 1s;
// Silence this long from the meeting server, and every other request goes unpadded.
constexpr auto kMaybeOlderServer = 1s;
constexpr auto kPunchEvery = 100ms;
constexpr auto kHostPunches = 3s;
// The most punches a host answers a second, and sends a second: a stranger cannot make
// it a loudspeaker.
constexpr int kAnswersPerSecond = 50;
constexpr int kPunchesPerSecond = 50;
// A host punches the latest few guests, each so many times at most.
constexpr size_t kMostGuests = 4;
constexpr int kPunchesPerGuest = 30;
// A punch's answer carries its nonce with this bit set, and is not answered again.
constexpr uint32_t kAnswerBit = 0x80000000u;

}  // namespace

LobbyClient::LobbyClient(LobbyAddress server, LobbyAddress local, Send send, uint32_t seed)
    : server_(server), local_(local), send_(std::move(send)), nonce_(seed & ~kAnswerBit) {}

void LobbyClient::fail(const std::string& why) {
    phase_ = Phase::failed;
    failure_ = why;
}

void LobbyClient::host(Clock::time_point now) {
    hosting_ = true;
    phase_ = Phase::asking;
    last_answer_ = now;
    ask(now);
}

void LobbyClient::join(const std::string& code, Clock::time_point now) {
    hosting_ = false;
    code_ = code;
    phase_ = Phase::asking;
    last_answer_ = now;
    ask(now);
}

void LobbyClient::set_mapped(const LobbyAddress& mapped, Clock::time_point now) {
    mapped_ = mapped;
    if (phase_ == Phase::waiting) ask(now);
}

void LobbyClient::ask(Clock::time_point now) {
    LobbyMessage m;
    m.kind = hosting_ ? LobbyMessage::Kind::host : LobbyMessage::Kind::join;
    m.nonce = nonce_;
    m.code = code_;
    m.local = local_;
    m.cookie = cookie_;
    m.asks_relay = pad_ && !(phase_ == Phase::asking && now - last_answer_ >= kMaybeOlderServer && ++asked_count_ % 2 == 0);
    last_padded_ = m.asks_relay;
    if (hosting_) m.mapped = asked_with_mapped_ = mapped_;
    send(server_, m);
    asked_ = now;
    answered_ = false;
}

void LobbyClient::leave() {
    if (!hosting_ || code_.empty()) return;
    LobbyMessage m;
    m.kind = LobbyMessage::Kind::leave;
    m.code = code_;
    for (int i = 0; i < 2; ++i) send(server_, m);
    code_.clear();
    phase_ = Phase::idle;
}

bool LobbyClient::send_signal(const std::string& text) {
    if (text.empty() || text.size() > LOBBY_SIGNAL_PART * LOBBY_SIGNAL_PARTS) return false;
    size_t parts = (text.size() + LOBBY_SIGNAL_PART - 1) / LOBBY_SIGNAL_PART;
    LobbyMessage m;
    m.kind = LobbyMessage::Kind::signal;
    m.code = code_;
    m.parts = uint8_t(parts);
    for (size_t i = 0; i < parts; ++i) {
        m.part = uint8_t(i);
        m.data = text.substr(i * LOBBY_SIGNAL_PART, LOBBY_SIGNAL_PART);
        send(server_, m);
    }
    return true;
}

bool LobbyClient::own_network(const LobbyAddress& a) const {
    return std::any_of(networks_.begin(), networks_.end(), [&](const LobbyNetwork& n) { return n.holds(a.ip); });
}

void LobbyClient::punch_all(Clock::time_point now) {
    LobbyMessage m;
    m.kind = LobbyMessage::Kind::punch;
    m.nonce = nonce_;
    std::erase_if(punches_, [now](const Punch& p) { return now > p.until || p.left == 0; });
    if (now - punch_second_ >= 1s) {
        punch_second_ = now;
        punches_this_second_ = 0;
    }
    for (Punch& p : punches_) {
        if (hosting_ && punches_this_second_ >= kPunchesPerSecond) break;
        send(p.to, m);
        ++punches_this_second_;
        if (p.left > 0) --p.left;
    }
    punched_ = now;
}

// Host: a guest is coming. Its public address is where the meeting server heard it
// from; its local address is only its word, punched only on a network of this machine's.
void LobbyClient::on_coming(const LobbyMessage& m, Clock::time_point now) {
    if (!hosting_ || m.code != code_ || m.guest_public.empty()) return;
    if (!(m.guest_public == signal_guest_)) {
        // A new guest: the relay's description to take is its own, not an earlier one's.
        signal_guest_ = m.guest_public;
        signal_parts_.clear();
        remote_signal_.clear();
    }
    for (int local = 0; local < 2; ++local) {
        const LobbyAddress& a = local ? m.guest_local : m.guest_public;
        if (a.empty()) continue;
        auto& known = local ? guests_local_ : guests_public_;
        std::erase(known, a);
        known.push_back(a);
        if (known.size() > kMostGuests) known.erase(known.begin());
        if (local && !own_network(a)) continue;
        // With a forwarded port the guest comes in through it; a knock out through the
        // host's router would only give the guest's address a mapping of the router's
        // own, which a symmetric router then holds against the forwarded way in.
        if (!local && !mapped_.empty()) continue;
        auto p = std::find_if(punches_.begin(), punches_.end(), [&](const Punch& x) { return x.to == a; });
        if (p == punches_.end()) punches_.push_back({a, now + kHostPunches, kPunchesPerGuest});
        else p->until = now + kHostPunches;
    }
    while (punches_.size() > 2 * kMostGuests) punches_.erase(punches_.begin());
    punch_all(now);
}

void LobbyClient::on_signal(const LobbyMessage& m) {
    if (m.code != code_ || !remote_signal_.empty()) return;
    if (signal_parts_.size() != m.parts) signal_parts_.assign(m.parts, "");
    signal_parts_[m.part] = m.data;
    if (std::all_of(signal_parts_.begin(), signal_parts_.end(), [](const std::string& p) { return !p.empty(); })) {
        for (const std::string& p : signal_parts_) remote_signal_ += p;
    }
}

void LobbyClient::update(Clock::time_point now) {
    switch (phase_) {
        case Phase::asking:
            if (now - last_answer_ > std::chrono::milliseconds(LOBBY_ANSWER_MS)) {
                fail("the meeting server at " + address_text(server_) + " does not answer");
            } else if (now - asked_ >= kAskAgain) {
                ask(now);
            }
            break;
        case Phase::waiting:
            // A refresh lost on the way is asked again, so the code does not run out.
            if (now - asked_ >= kRefresh || (!answered_ && now - asked_ >= kAskAgain)) ask(now);
            break;
        case Phase::punching:
            if (now > met_by_) {
                fail("no way through to the host at " + address_text(host_public_) + " (its router or this one lets nothing in)");
                break;
            }
            if (now - asked_ >= kJoinAgain) ask(now);
            break;
        default: break;
    }
    if (!punches_.empty() && now - punched_ >= kPunchEvery) punch_all(now);
}

// The guest's answer from the server: where the host is, to be knocked at.
void LobbyClient::on_meet(const LobbyMessage& m, Clock::time_point now) {
    if (phase_ == Phase::punching) return on_late_mapping(m, now);
    if (phase_ != Phase::asking) return;
    last_answer_ = now;
    answered_ = true;
    host_public_ = m.host_public;
    host_local_ = m.host_local;
    host_mapped_ = m.host_mapped;
    seen_as_ = m.mine_public;
    relay_ = m.relay;
    phase_ = Phase::punching;
    met_by_ = now + std::chrono::milliseconds(relay_.empty() ? punch_ms_ : std::max(punch_ms_, LOBBY_RELAY_PUNCH_MS));
    if (!host_mapped_.empty()) punches_.push_back({host_mapped_, met_by_});
    // Behind the same router, the host's own address comes first; it is punched only on
    // a network of this machine's.
    if (!host_local_.empty() && own_network(host_local_) && host_public_.ip == seen_as_.ip)
        punches_.push_back({host_local_, met_by_});
    punches_.push_back({host_public_, met_by_});
    if (!host_local_.empty() && own_network(host_local_) && host_public_.ip != seen_as_.ip)
        punches_.push_back({host_local_, met_by_});
    punch_all(now);
}

// A host whose router forwarded its port only after this guest met it: the answer to
// the guest's next join names the forwarded port, which then has a knocking time of its own.
void LobbyClient::on_late_mapping(const LobbyMessage& m, Clock::time_point now) {
    if (!host_mapped_.empty() || m.host_mapped.empty() || !(m.host_public == host_public_)) return;
    host_mapped_ = m.host_mapped;
    met_by_ = std::max(met_by_, now + std::chrono::milliseconds(punch_ms_));
    punches_.insert(punches_.begin(), {host_mapped_, met_by_});
    punch_all(now);
}

bool LobbyClient::receive(const uint8_t* data, size_t size, const LobbyAddress& from, Clock::time_point now) {
    using K = LobbyMessage::Kind;
    LobbyMessage m;
    if (!decode_lobby(data, size, &m)) return false;
    if (m.kind == K::punch) {
        if (!(m.nonce & kAnswerBit)) {
            if (now - second_ >= std::chrono::seconds(1)) {
                second_ = now;
                answers_this_second_ = 0;
            }
            if (answers_this_second_++ < kAnswersPerSecond) {
                LobbyMessage answer;
                answer.kind = K::punch;
                answer.nonce = m.nonce | kAnswerBit;
                send(from, answer);
            }
        }
        // A guest's first punch back from one of the host's addresses shows the way.
        if (!hosting_ && phase_ == Phase::punching &&
            (from == host_public_ || from == host_local_ || (from == host_mapped_ && !host_mapped_.empty()))) {
            target_ = from;
            phase_ = Phase::met;
            punches_.clear();
        }
        return true;
    }
    if (!(from == server_)) return false;
    // An answer after an unpadded request, when the padded ones went unanswered: a
    // server from before the relay, asked unpadded from now on.
    if (!last_padded_ && m.nonce == nonce_ && (m.kind == K::cookie || m.kind == K::code || m.kind == K::meet))
        pad_ = false;
    switch (m.kind) {
        case K::cookie:
            if (m.nonce != nonce_ || phase_ == Phase::failed || phase_ == Phase::idle) return true;
            last_answer_ = now;
            // Asked again at once with a new cookie; the same one again waits its turn.
            if (m.cookie != cookie_) {
                cookie_ = m.cookie;
                ask(now);
            }
            return true;
        case K::code:
            if (!hosting_ || m.nonce != nonce_ || phase_ == Phase::failed) return true;
            last_answer_ = now;
            answered_ = true;
            code_ = m.code;
            seen_as_ = m.mine_public;
            // A forwarded port that came while the code was on its way is told at once,
            // not with the refresh 20 s later: a guest with the code must hear of it.
            if (!(asked_with_mapped_ == mapped_)) ask(now);
            relay_ = m.relay;
            if (phase_ == Phase::asking) phase_ = Phase::waiting;
            return true;
        case K::coming:
            on_coming(m, now);
            return true;
        case K::meet:
            if (!hosting_ && m.nonce == nonce_) on_meet(m, now);
            return true;
        case K::signal:
            on_signal(m);
            return true;
        case K::refused:
            if (m.nonce != nonce_ || phase_ != Phase::asking) return true;
            fail(refusal_text(m.refusal));
            return true;
        default: return true;
    }
}
