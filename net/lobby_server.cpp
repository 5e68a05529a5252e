#include "net/lobby_server.h"

#include <sodium.h>

#include <cstdlib>
#include <ctime>

#include "base/bytes.h"
#include "net/turn_credentials.h"

LobbyServer::LobbyServer(uint64_t seed, LobbyLimits limits) : table_(seed, limits) {
    static_assert(sizeof key_ == crypto_shorthash_KEYBYTES);
    if (sodium_init() < 0) std::abort();
    randombytes_buf(key_, sizeof key_);
}

// SipHash-2-4 of the address and the slot under the server's key: a forger who never
// hears the answer cannot make one, and the server keeps nothing per request.
uint64_t LobbyServer::cookie(const LobbyAddress& a, int64_t slot) const {
    std::vector<uint8_t> in;
    ByteWriter<ByteOrder::big> w(in);
    w.u32(a.ip);
    w.u16(a.port);
    w.u64(uint64_t(slot));
    uint8_t out[crypto_shorthash_BYTES];
    crypto_shorthash(out, in.data(), in.size(), key_);
    uint64_t c = 0;
    ByteReader<ByteOrder::little>(out, sizeof out).u64(c);
    return c == 0 ? 1 : c;
}

bool LobbyServer::cookie_ok(uint64_t c, const LobbyAddress& a, int64_t now_ms) const {
    int64_t slot = now_ms / LOBBY_COOKIE_SLOT_MS;
    return c != 0 && (c == cookie(a, slot) || c == cookie(a, slot - 1));
}

void LobbyServer::set_relay(LobbyRelay relay) {
    if (!relay.unix_time) relay.unix_time = [] { return int64_t(std::time(nullptr)); };
    relay_ = std::move(relay);
}

LobbyRelayOffer LobbyServer::offer(const LobbyMessage& request, const std::string& code, const char* side) {
    LobbyRelayOffer o;
    if (!request.asks_relay || relay_.address.empty()) return o;
    TurnCredentials c = turn_credentials(relay_.secret, relay_.unix_time() + LOBBY_RELAY_LIFE_S, code + "." + side);
    o.address = relay_.address;
    o.user = c.user;
    o.password = c.password;
    ++relays;
    return o;
}

void LobbyServer::handle(const uint8_t* data, size_t size, const LobbyAddress& from, int64_t now_ms,
                         std::vector<LobbyDatagram>& out) {
    using K = LobbyMessage::Kind;
    LobbyMessage m;
    if (!decode_lobby(data, size, &m) || from.port == 0) {
        ++malformed;
        return;
    }
    if (m.kind != K::host && m.kind != K::join && m.kind != K::leave && m.kind != K::signal) {
        ++malformed;
        return;
    }
    if ((m.kind == K::host || m.kind == K::join) && !cookie_ok(m.cookie, from, now_ms)) {
        ++cookies;
        LobbyMessage c;
        c.kind = K::cookie;
        c.nonce = m.nonce;
        c.cookie = cookie(from, now_ms / LOBBY_COOKIE_SLOT_MS);
        out.push_back({from, encode_lobby(c)});
        return;
    }
    if (!table_.allow(from.ip, now_ms)) {
        ++limited;
        return;
    }
    LobbyMessage reply;
    reply.nonce = m.nonce;
    if (m.kind == K::leave) {
        table_.leave(m.code, from, now_ms);
        return;
    }
    if (m.kind == K::signal) {
        // Passed on unchanged between the host and its guest, and to no one else.
        const LobbyTable::Entry* e = table_.find(m.code);
        if (!e || e->guest.empty()) return;
        if (from == e->host_public) out.push_back({e->guest, std::vector<uint8_t>(data, data + size)});
        else if (from == e->guest) out.push_back({e->host_public, std::vector<uint8_t>(data, data + size)});
        return;
    }
    LobbyTable::Answer a = m.kind == K::host ? table_.host(from, m.local, now_ms, m.mapped) : table_.join(m.code, now_ms, from);
    if (a.refusal != LobbyRefusal::none) {
        ++refused;
        reply.kind = K::refused;
        reply.refusal = a.refusal;
        out.push_back({from, encode_lobby(reply)});
        return;
    }
    if (m.kind == K::host) {
        ++hosted;
        reply.kind = K::code;
        reply.code = a.entry.code;
        reply.mine_public = from;
        reply.relay = offer(m, a.entry.code, "host");
        out.push_back({from, encode_lobby(reply)});
        return;
    }
    ++joined;
    reply.kind = K::meet;
    reply.host_public = a.entry.host_public;
    reply.host_local = a.entry.host_local;
    reply.host_mapped = a.entry.host_mapped;
    reply.mine_public = from;
    reply.relay = offer(m, a.entry.code, "guest");
    out.push_back({from, encode_lobby(reply)});
    LobbyMessage coming;
    coming.kind = K::coming;
    coming.code = a.entry.code;
    coming.guest_public = from;
    coming.guest_local = m.local;
    out.push_back({a.entry.host_public, encode_lobby(coming)});
}
