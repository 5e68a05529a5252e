#include "net/lobby_protocol.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"

namespace {

// The meeting service's messages are big-endian (network order), a form fixed since
// its first version.
constexpr ByteOrder kOrder = ByteOrder::big;

class Writer {
public:
    explicit Writer(LobbyMessage::Kind k) {
        bytes.reserve(LOBBY_MAX_MESSAGE);
        out_.bytes(LOBBY_MAGIC, 4);
        out_.u8(LOBBY_PROTOCOL);
        out_.u8(uint8_t(k));
    }
    void u8(uint8_t v) { out_.u8(v); }
    void u16(uint16_t v) { out_.u16(v); }
    void u32(uint32_t v) { out_.u32(v); }
    void u64(uint64_t v) { out_.u64(v); }
    void address(const LobbyAddress& a) {
        u32(a.ip);
        u16(a.port);
    }
    void code(const std::string& c) {
        for (int i = 0; i < LOBBY_CODE_LENGTH; ++i) out_.u8(i < int(c.size()) ? uint8_t(c[size_t(i)]) : 0);
    }
    void text(const std::string& t, size_t most) {
        size_t n = std::min(t.size(), most);
        u8(uint8_t(n));
        for (size_t i = 0; i < n; ++i) u8(uint8_t(t[i]));
    }
    void relay(const LobbyRelayOffer& r) {
        if (r.empty()) return;
        address(r.address);
        text(r.user, LOBBY_RELAY_TEXT);
        text(r.password, LOBBY_RELAY_TEXT);
    }
    std::vector<uint8_t> bytes;

private:
    ByteWriter<kOrder> out_{bytes};
};

// Reads a message's fields after its magic, protocol and kind.
class Reader {
public:
    Reader(const uint8_t* d, size_t n) : d_(d), n_(n), in_(d + kHead, n - kHead) {}
    bool u8(uint8_t* v) { return in_.u8(*v); }
    bool u16(uint16_t* v) { return in_.u16(*v); }
    bool u32(uint32_t* v) { return in_.u32(*v); }
    bool u64(uint64_t* v) { return in_.u64(*v); }
    bool address(LobbyAddress* a) { return u32(&a->ip) && u16(&a->port); }
    bool code(std::string* c) { return in_.bytes(*c, LOBBY_CODE_LENGTH) && normal_code(*c) == *c; }
    // 1 to `most` printable characters after their count.
    bool text(std::string* t, size_t most) {
        uint8_t n = 0;
        if (!u8(&n) || n == 0 || n > most || !in_.bytes(*t, n)) return false;
        return std::all_of(t->begin(), t->end(), [](char c) { return c >= 0x21 && c <= 0x7e; });
    }
    // What ends an answer: nothing, or a relay and its credentials.
    bool relay_or_end(LobbyRelayOffer* r) {
        if (done()) return true;
        return address(&r->address) && r->address.ip != 0 && r->address.port != 0 && text(&r->user, LOBBY_RELAY_TEXT) &&
               text(&r->password, LOBBY_RELAY_TEXT) && done();
    }
    // The rest is padding, all zeros, up to `size` bytes in all.
    bool padded_to(size_t size) {
        if (n_ != size) return false;
        for (uint8_t b = 0; !in_.at_end();) {
            if (!in_.u8(b) || b != 0) return false;
        }
        return true;
    }
    bool done() const { return in_.at_end(); }
    size_t at() const { return size_t(in_.here() - d_); }

private:
    static constexpr size_t kHead = 6;
    const uint8_t* d_;
    size_t n_;
    ByteReader<kOrder> in_;
};

bool is_request(LobbyMessage::Kind k) {
    using K = LobbyMessage::Kind;
    return k == K::host || k == K::join || k == K::leave || k == K::punch || k == K::lan_ask;
}

bool may_ask_relay(LobbyMessage::Kind k) { return k == LobbyMessage::Kind::host || k == LobbyMessage::Kind::join; }

// The largest answer with a relay (a meeting: nonce, four addresses) fits the request
// that asks for it, so the server never sends more than it was sent.
static_assert(6 + 4 + 4 * 6 + 6 + 2 * (1 + LOBBY_RELAY_TEXT) <= LOBBY_RELAY_REQUEST_SIZE);
static_assert(LOBBY_RELAY_REQUEST_SIZE <= LOBBY_MAX_MESSAGE);

}  // namespace

std::string address_text(const LobbyAddress& a) {
    return std::to_string(a.ip >> 24) + "." + std::to_string(a.ip >> 16 & 255) + "." + std::to_string(a.ip >> 8 & 255) +
           "." + std::to_string(a.ip & 255) + ":" + std::to_string(a.port);
}

bool looks_like_lobby(const uint8_t* data, size_t size) {
    return size >= 6 && std::memcmp(data, LOBBY_MAGIC, 4) == 0;
}

std::vector<uint8_t> encode_lobby(const LobbyMessage& m) {
    using K = LobbyMessage::Kind;
    Writer w(m.kind);
    switch (m.kind) {
        // A cookie rides in what was padding: a request without one is as it always was.
        case K::host: w.u32(m.nonce); w.address(m.local); w.address(m.mapped); w.u64(m.cookie); break;
        case K::code: w.u32(m.nonce); w.code(m.code); w.address(m.mine_public); w.relay(m.relay); break;
        case K::join: w.u32(m.nonce); w.code(m.code); w.address(m.local); w.u64(m.cookie); break;
        case K::cookie: w.u32(m.nonce); w.u64(m.cookie); break;
        case K::meet:
            w.u32(m.nonce);
            w.address(m.host_public);
            w.address(m.host_local);
            w.address(m.host_mapped);
            w.address(m.mine_public);
            w.relay(m.relay);
            break;
        case K::coming:
            w.code(m.code);
            w.address(m.guest_public);
            w.address(m.guest_local);
            break;
        case K::refused: w.u32(m.nonce); w.u8(uint8_t(m.refusal)); break;
        case K::leave: w.code(m.code); break;
        case K::punch: w.u32(m.nonce); break;
        case K::lan_ask: w.u32(m.nonce); break;
        case K::lan_here: {
            w.u32(m.nonce);
            w.u16(m.game_port);
            size_t n = std::min<size_t>(m.version.size(), 16);
            w.u8(uint8_t(n));
            for (size_t i = 0; i < n; ++i) w.u8(uint8_t(m.version[i]));
            break;
        }
        case K::signal: {
            w.code(m.code);
            w.u8(m.part);
            w.u8(m.parts);
            size_t n = std::min(m.data.size(), LOBBY_SIGNAL_PART);
            w.u8(uint8_t(n));
            for (size_t i = 0; i < n; ++i) w.u8(uint8_t(m.data[i]));
            break;
        }
    }
    if (is_request(m.kind))
        w.bytes.resize(m.asks_relay && may_ask_relay(m.kind) ? LOBBY_RELAY_REQUEST_SIZE : LOBBY_REQUEST_SIZE, 0);
    return w.bytes;
}

bool decode_lobby(const uint8_t* data, size_t size, LobbyMessage* out) {
    using K = LobbyMessage::Kind;
    if (!looks_like_lobby(data, size) || size > LOBBY_MAX_MESSAGE || data[4] != LOBBY_PROTOCOL) return false;
    if (data[5] < uint8_t(K::host) || data[5] > uint8_t(K::cookie)) return false;
    LobbyMessage m;
    m.kind = K(data[5]);
    Reader r(data, size);
    bool ok = false;
    switch (m.kind) {
        case K::host: ok = r.u32(&m.nonce) && r.address(&m.local) && r.address(&m.mapped) && r.u64(&m.cookie); break;
        case K::code:
            ok = r.u32(&m.nonce) && r.code(&m.code) && r.address(&m.mine_public) && r.relay_or_end(&m.relay);
            break;
        case K::join: ok = r.u32(&m.nonce) && r.code(&m.code) && r.address(&m.local) && r.u64(&m.cookie); break;
        case K::cookie: ok = r.u32(&m.nonce) && r.u64(&m.cookie) && m.cookie != 0 && r.done(); break;
        case K::meet:
            ok = r.u32(&m.nonce) && r.address(&m.host_public) && r.address(&m.host_local) &&
                 r.address(&m.host_mapped) && r.address(&m.mine_public) && r.relay_or_end(&m.relay);
            break;
        case K::coming: ok = r.code(&m.code) && r.address(&m.guest_public) && r.address(&m.guest_local) && r.done(); break;
        case K::refused: {
            uint8_t why = 0;
            ok = r.u32(&m.nonce) && r.u8(&why) && why >= 1 && why <= 4 && r.done();
            m.refusal = LobbyRefusal(why);
            break;
        }
        case K::leave: ok = r.code(&m.code); break;
        case K::punch: ok = r.u32(&m.nonce); break;
        case K::lan_ask: ok = r.u32(&m.nonce); break;
        case K::lan_here: {
            uint8_t n = 0;
            ok = r.u32(&m.nonce) && r.u16(&m.game_port) && m.game_port != 0 && r.u8(&n) && n <= 16 &&
                 r.at() + n == size;
            for (size_t i = 0; ok && i < n; ++i) {
                char c = char(data[r.at() + i]);
                if (c < 0x20 || c > 0x7e) ok = false;
                m.version.push_back(c);
            }
            break;
        }
        case K::signal: {
            uint8_t n = 0;
            ok = r.code(&m.code) && r.u8(&m.part) && r.u8(&m.parts) && m.parts >= 1 && m.parts <= LOBBY_SIGNAL_PARTS &&
                 m.part < m.parts && r.u8(&n) && n >= 1 && n <= LOBBY_SIGNAL_PART && r.at() + n == size;
            for (size_t i = 0; ok && i < n; ++i) {
                char c = char(data[r.at() + i]);
                if ((c < 0x20 || c > 0x7e) && c != '\n' && c != '\r') ok = false;
                m.data.push_back(c);
            }
            break;
        }
    }
    if (ok && is_request(m.kind)) {
        m.asks_relay = may_ask_relay(m.kind) && size == LOBBY_RELAY_REQUEST_SIZE;
        ok = r.padded_to(m.asks_relay ? LOBBY_RELAY_REQUEST_SIZE : LOBBY_REQUEST_SIZE);
    }
    if (!ok) return false;
    *out = std::move(m);
    return true;
}

std::string normal_code(const std::string& typed) {
    std::string code;
    for (char c : typed) {
        if (c == ' ' || c == '-') continue;
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c == 0 || !std::strchr(LOBBY_ALPHABET, c)) return "";
        code.push_back(c);
        if (code.size() > size_t(LOBBY_CODE_LENGTH)) return "";
    }
    return code.size() == size_t(LOBBY_CODE_LENGTH) ? code : "";
}

uint32_t code_number(const std::string& code) {
    uint32_t n = 0;
    for (char c : code) n = n * LOBBY_ALPHABET_SIZE + uint32_t(std::strchr(LOBBY_ALPHABET, c) - LOBBY_ALPHABET);
    return n;
}

std::string code_text(uint32_t number) {
    std::string code(LOBBY_CODE_LENGTH, ' ');
    for (int i = LOBBY_CODE_LENGTH - 1; i >= 0; --i) {
        code[size_t(i)] = LOBBY_ALPHABET[number % LOBBY_ALPHABET_SIZE];
        number /= LOBBY_ALPHABET_SIZE;
    }
    return code;
}

std::string refusal_text(LobbyRefusal r) {
    switch (r) {
        case LobbyRefusal::unknown: return "no game has that code: check it with the host";
        case LobbyRefusal::expired: return "that code has expired: ask the host for a new one";
        case LobbyRefusal::busy: return "the meeting server asks this machine to slow down: try again in a minute";
        case LobbyRefusal::full: return "the meeting server is full: try again later";
        case LobbyRefusal::none: break;
    }
    return "";
}
