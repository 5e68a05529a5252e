#include "net/net_packets.h"

#include <algorithm>

#include "base/bytes.h"

namespace {

constexpr uint8_t kMagic[4] = {'W', 'B', 'A', 'T'};

// Axes travel as two bits each: 0 rest, 1 full positive, 2 full negative (3 is no axis).
uint8_t pack_axes(const NetInput& in) {
    uint8_t b = 0;
    for (int a = 0; a < 4; ++a) {
        uint8_t code = in.axis[a] > 0 ? 1 : in.axis[a] < 0 ? 2 : 0;
        b = uint8_t(b | code << (2 * a));
    }
    return b;
}

// Packets are little-endian.
constexpr ByteOrder kOrder = ByteOrder::little;

class Writer {
public:
    std::vector<uint8_t> bytes;
    void u8(uint8_t v) { out_.u8(v); }
    void u16(uint16_t v) { out_.u16(v); }
    void u32(uint32_t v) { out_.u32(v); }
    void u64(uint64_t v) { out_.u64(v); }
    void long_text(const std::string& s) {
        size_t n = std::min(s.size(), size_t(NET_MAX_PILOTS));
        u8(uint8_t(n));
        out_.bytes(s.data(), n);
    }
    void input(const NetInput& in) {
        u8(pack_axes(in));
        u16(in.buttons);
        u8(uint8_t(in.command));
    }
    void text(const std::string& s) {
        size_t n = s.size() < size_t(NET_MAX_VERSION) ? s.size() : size_t(NET_MAX_VERSION);
        u8(uint8_t(n));
        out_.bytes(s.data(), n);
    }

private:
    ByteWriter<kOrder> out_{bytes};
};

// Reads fields in order; the first field that is missing or out of range makes the
// whole packet bad.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : in_(data, size) {}
    std::string why;

    bool fail(const char* what) {
        if (why.empty()) why = what;
        return in_.fail();
    }
    bool u8(uint8_t* v, const char* what) { return in_.u8(*v) || fail(what); }
    bool u16(uint16_t* v, const char* what) { return in_.u16(*v) || fail(what); }
    bool u32(uint32_t* v, const char* what) { return in_.u32(*v) || fail(what); }
    bool u64(uint64_t* v, const char* what) { return in_.u64(*v) || fail(what); }
    bool frame(uint32_t* v, const char* what) {
        return u32(v, what) && (*v <= NET_MAX_FRAME || fail(what));
    }
    // A version: 1 to 16 printable characters.
    bool text(std::string* s, const char* what) {
        uint8_t n;
        if (!u8(&n, what) || n == 0 || n > NET_MAX_VERSION || !in_.bytes(*s, n)) return fail(what);
        // Words as the screens write them (UTF-8, "Computer · hard"), no control bytes.
        for (unsigned char c : *s) {
            if (c < 0x20 || c == 0x7f) return fail(what);
        }
        return true;
    }
    // Who flies: up to NET_MAX_PILOTS printable characters.
    bool long_text(std::string* s, const char* what) {
        uint8_t n;
        if (!u8(&n, what) || n > NET_MAX_PILOTS || !in_.bytes(*s, n)) return fail(what);
        // Words as the screens write them (UTF-8, "Computer · hard"), no control bytes.
        for (unsigned char c : *s) {
            if (c < 0x20 || c == 0x7f) return fail(what);
        }
        return true;
    }
    bool delay(int* v) {
        uint8_t d;
        if (!u8(&d, "delay") || d > NET_MAX_DELAY) return fail("delay");
        *v = d;
        return true;
    }
    bool input(NetInput* in) {
        uint8_t axes, command;
        if (!u8(&axes, "axes") || !u16(&in->buttons, "buttons") || !u8(&command, "command")) return false;
        for (int a = 0; a < 4; ++a) {
            int code = axes >> (2 * a) & 3;
            if (code == 3) return fail("axes");
            in->axis[a] = int8_t(code == 1 ? 1 : code == 2 ? -1 : 0);
        }
        if (command >= NET_COMMANDS) return fail("command");
        in->command = NetCommand(command);
        return true;
    }
    bool done() { return in_.at_end() || fail("bytes after the end"); }

private:
    ByteReader<kOrder> in_;
};

bool decode_inputs(Reader& r, Packet* p) {
    uint8_t runs;
    if (!r.frame(&p->frame, "frame") || !r.frame(&p->ack, "ack") || !r.frame(&p->first, "first frame")) return false;
    if (p->first == 0) return r.fail("first frame");
    if (!r.u8(&runs, "runs") || runs == 0 || runs > NET_MAX_RUNS) return r.fail("runs");
    p->inputs.clear();
    for (int i = 0; i < runs; ++i) {
        NetInput in;
        uint8_t length;
        if (!r.input(&in) || !r.u8(&length, "run length")) return false;
        if (length == 0 || p->inputs.size() + length > size_t(NET_MAX_INPUTS)) return r.fail("run length");
        p->inputs.insert(p->inputs.end(), length, in);
    }
    if (p->first + uint32_t(p->inputs.size()) - 1 > NET_MAX_FRAME) return r.fail("last frame");
    return true;
}

// The fixed first fields of a hello or a watch: the magic, the protocol, the version.
bool read_head(Reader& r, Packet* p) {
    uint8_t m[4];
    bool ok = true;
    for (uint8_t& b : m) ok = ok && r.u8(&b, "magic");
    return ok && (std::equal(m, m + 4, kMagic) || r.fail("magic")) && r.u16(&p->protocol, "protocol") &&
           r.text(&p->version, "version");
}

bool decode_feed(Reader& r, Packet* p) {
    uint8_t count = 0, hashes = 0;
    if (!r.frame(&p->first, "first frame") || p->first == 0 || !r.u8(&count, "count") || count == 0 ||
        count > NET_MAX_FED || p->first + uint32_t(count) - 1 > NET_MAX_FRAME)
        return r.fail("feed");
    for (int i = 0; i < count; ++i) {
        std::pair<NetInput, NetInput> both;
        if (!r.input(&both.first) || !r.input(&both.second)) return false;
        p->played.push_back(both);
    }
    if (!r.u8(&hashes, "hashes") || hashes > count) return r.fail("hashes");
    for (int i = 0; i < hashes; ++i) {
        uint32_t frame = 0;
        uint64_t hash = 0;
        if (!r.frame(&frame, "hashed frame") || frame < p->first || frame >= p->first + count || !r.u64(&hash, "hash"))
            return r.fail("hashed frame");
        p->frame_hashes.emplace_back(frame, hash);
    }
    return true;
}

void encode_watching(Writer& w, const Packet& p) {
    w.u16(p.protocol);
    w.text(p.version);
    w.u64(p.rules);
    w.u32(uint32_t(p.seed));
    w.long_text(p.pilots);
    w.u32(p.session);
    w.u32(p.frame);
}

// Runs of equal inputs: a held stick costs one run, however long.
void encode_inputs(Writer& w, const Packet& p) {
    w.u32(p.frame);
    w.u32(p.ack);
    w.u32(p.first);
    size_t runs_at = w.bytes.size();
    w.u8(0);
    int runs = 0;
    for (size_t i = 0; i < p.inputs.size() && i < size_t(NET_MAX_INPUTS) && runs < NET_MAX_RUNS;) {
        size_t j = i + 1;
        while (j < p.inputs.size() && j < size_t(NET_MAX_INPUTS) && j - i < 255 && p.inputs[j] == p.inputs[i]) ++j;
        const NetInput& in = p.inputs[i];
        w.u8(pack_axes(in));
        w.u16(in.buttons);
        w.u8(uint8_t(in.command));
        w.u8(uint8_t(j - i));
        ++runs;
        i = j;
    }
    w.bytes[runs_at] = uint8_t(runs);
}

void encode_feed(Writer& w, const Packet& p) {
    size_t count = std::min(p.played.size(), size_t(NET_MAX_FED));
    w.u32(p.first);
    w.u8(uint8_t(count));
    for (size_t i = 0; i < count; ++i) {
        w.input(p.played[i].first);
        w.input(p.played[i].second);
    }
    w.u8(uint8_t(std::min(p.frame_hashes.size(), count)));
    for (size_t i = 0; i < p.frame_hashes.size() && i < count; ++i) {
        w.u32(p.frame_hashes[i].first);
        w.u64(p.frame_hashes[i].second);
    }
}

bool decode_hashes(Reader& r, Packet* p) {
    uint8_t count = 0;
    bool ok = r.frame(&p->frame, "frame") && r.u8(&count, "count") &&
              ((count >= 1 && count <= NET_MAX_HASHES && count <= p->frame) || r.fail("count"));
    for (int i = 0; ok && i < count; ++i) {
        uint64_t h = 0;
        ok = r.u64(&h, "hash");
        p->hashes.push_back(h);
    }
    return ok;
}

}  // namespace

std::vector<uint8_t> encode_packet(const Packet& p) {
    Writer w;
    w.u8(uint8_t(p.kind));
    switch (p.kind) {
        case Packet::Kind::hello:
            for (uint8_t m : kMagic) w.u8(m);
            w.u16(p.protocol);
            w.text(p.version);
            w.u64(p.rules);
            w.u16(p.round_trip);
            w.u8(p.auto_delay ? 1 : 0);
            w.u32(p.session);
            w.u8(uint8_t(p.delay));
            break;
        case Packet::Kind::welcome:
            w.u16(p.protocol);
            w.text(p.version);
            w.u64(p.rules);
            w.u32(uint32_t(p.seed));
            w.u32(p.session);
            w.u8(uint8_t(p.delay));
            break;
        case Packet::Kind::refuse:
            w.u8(uint8_t(p.refuse));
            w.u16(p.protocol);
            w.text(p.version);
            w.u64(p.rules);
            break;
        case Packet::Kind::inputs: encode_inputs(w, p); break;
        case Packet::Kind::hash:
            w.u32(p.frame);
            w.u64(p.hash);
            break;
        case Packet::Kind::hashes:
            w.u32(p.frame);
            w.u8(uint8_t(std::min(p.hashes.size(), size_t(NET_MAX_HASHES))));
            for (size_t i = 0; i < p.hashes.size() && i < size_t(NET_MAX_HASHES); ++i) w.u64(p.hashes[i]);
            break;
        case Packet::Kind::bye:
            w.u8(uint8_t(p.bye));
            break;
        case Packet::Kind::secret:
        case Packet::Kind::challenge:
        case Packet::Kind::proof:
            for (uint8_t b : p.token) w.u8(b);
            break;
        case Packet::Kind::watch:
            for (uint8_t m : kMagic) w.u8(m);
            w.u16(p.protocol);
            w.text(p.version);
            w.u64(p.rules);
            w.u32(p.session);
            w.u32(p.first);
            break;
        case Packet::Kind::watching: encode_watching(w, p); break;
        case Packet::Kind::feed: encode_feed(w, p); break;
    }
    return w.bytes;
}

bool decode_packet(const uint8_t* data, size_t size, Packet* out, std::string* why) {
    Reader r(data, size);
    Packet p;
    uint8_t kind = 0;
    bool ok = r.u8(&kind, "kind");
    if (ok) {
        p.kind = Packet::Kind(kind);
        switch (p.kind) {
            case Packet::Kind::hello: {
                uint8_t automatic = 0;
                ok = read_head(r, &p) && r.u64(&p.rules, "rules") &&
                     r.u16(&p.round_trip, "round trip") && r.u8(&automatic, "automatic delay") &&
                     (automatic <= 1 || r.fail("automatic delay")) && r.u32(&p.session, "session") &&
                     r.delay(&p.delay);
                p.auto_delay = automatic == 1;
                break;
            }
            case Packet::Kind::welcome: {
                uint32_t seed = 0;
                ok = r.u16(&p.protocol, "protocol") && r.text(&p.version, "version") && r.u64(&p.rules, "rules") &&
                     r.u32(&seed, "seed") && r.u32(&p.session, "session") &&
                     r.delay(&p.delay);
                p.seed = int32_t(seed);
                break;
            }
            case Packet::Kind::refuse: {
                uint8_t reason = 0;
                ok = r.u8(&reason, "reason") && ((reason >= 1 && reason <= 5) || r.fail("reason")) &&
                     r.u16(&p.protocol, "protocol") && r.text(&p.version, "version") && r.u64(&p.rules, "rules");
                p.refuse = RefuseReason(reason);
                break;
            }
            case Packet::Kind::inputs: ok = decode_inputs(r, &p); break;
            case Packet::Kind::hash: ok = r.frame(&p.frame, "frame") && r.u64(&p.hash, "hash"); break;
            case Packet::Kind::hashes: ok = decode_hashes(r, &p); break;
            case Packet::Kind::bye: {
                uint8_t reason = 0;
                ok = r.u8(&reason, "reason") && ((reason >= 1 && reason <= 2) || r.fail("reason"));
                p.bye = ByeReason(reason);
                break;
            }
            case Packet::Kind::secret:
            case Packet::Kind::challenge:
            case Packet::Kind::proof:
                for (uint8_t& b : p.token) ok = ok && r.u8(&b, "token");
                break;
            case Packet::Kind::watch:
                ok = read_head(r, &p) && r.u64(&p.rules, "rules") && r.u32(&p.session, "session") &&
                     r.frame(&p.first, "first frame") && (p.first >= 1 || r.fail("first frame"));
                break;
            case Packet::Kind::watching: {
                uint32_t seed = 0;
                ok = r.u16(&p.protocol, "protocol") && r.text(&p.version, "version") && r.u64(&p.rules, "rules") &&
                     r.u32(&seed, "seed") && r.long_text(&p.pilots, "pilots") && r.u32(&p.session, "session") &&
                     r.frame(&p.frame, "frames");
                p.seed = int32_t(seed);
                break;
            }
            case Packet::Kind::feed: ok = decode_feed(r, &p); break;
            default: ok = r.fail("kind"); break;
        }
    }
    ok = ok && r.done();
    if (!ok) {
        if (why) *why = r.why;
        return false;
    }
    *out = std::move(p);
    return true;
}

bool read_hello_head(const uint8_t* data, size_t size, uint16_t* protocol, std::string* version) {
    Reader r(data, size);
    uint8_t kind = 0;
    Packet p;
    if (!r.u8(&kind, "kind") || (kind != uint8_t(Packet::Kind::hello) && kind != uint8_t(Packet::Kind::watch)))
        return false;
    if (!read_head(r, &p)) return false;
    *protocol = p.protocol;
    *version = p.version;
    return true;
}

std::vector<uint8_t> encode_refusal_for(uint16_t protocol, RefuseReason why, const std::string& version,
                                        uint64_t rules) {
    Packet p;
    p.kind = Packet::Kind::refuse;
    p.refuse = why;
    p.version = version;
    p.rules = rules;
    std::vector<uint8_t> bytes = encode_packet(p);
    // The first protocol's refusal ends after the version: no rules.
    if (protocol == 1) bytes.resize(bytes.size() - 8);
    return bytes;
}
